#pragma once
// What the throttle plot draws: for each car seen, the drive and brake PWM of its status records
// over the last minute, and the view onto them (how many seconds, paused or live). Plain C++, so
// it can be tested and fed without a window.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/chart/Picture.h"
#include "app/plot/RingBuffer.h"

namespace plot {

struct Sample {
    uint32_t TimeMs = 0;  // milliseconds on the model's clock, modulo 2^32 (spans are compared, never absolute times)
    uint8_t Drive = 0;
    uint8_t Brake = 0;
    uint8_t LastLb = 0;
    bool LaneChange = false;
};

class PlotModel {
public:
    static constexpr int64_t kHistoryMs = 60000;
    // The most records a 500000 baud 8N2 line can carry in the history (nine bytes a record);
    // the line cannot deliver more, so this bounds memory also for a peer that floods.
    static constexpr size_t kMaxSamples = 45454 / 9 * (kHistoryMs / 1000);
    static constexpr int kWindowChoices[] = {5, 10, 30, 60};
    static constexpr int kDefaultWindowSeconds = 10;

    explicit PlotModel(size_t maxSamples = kMaxSamples);

    // A status record as shown, at timeMs on a clock that does not go back (earlier times are
    // taken as the latest one).
    void Add(int64_t timeMs, uint8_t car, uint8_t drive, uint8_t brake, uint8_t lastLb, bool laneChange);

    // Changes with every record and every change of the view.
    uint64_t Revision() const { return FRevision; }
    size_t SampleCount() const { return FLive.total; }

    // The view. Paused, it shows what was there when it paused while records go on arriving.
    void SetWindowSeconds(int seconds);  // one of kWindowChoices; anything else is ignored
    int WindowSeconds() const { return FWindowSeconds; }
    void SetPaused(bool paused);
    bool Paused() const { return FFrozen.has_value(); }

    // What the view shows: the cars in the order first seen, the latest record of each, and the
    // curves of the last WindowSeconds before the view's latest record, over widthPx pixels.
    const std::vector<uint8_t>& Cars() const { return Shown().order; }
    std::optional<Sample> Latest(uint8_t car) const;
    // The car's records of the view cut into widthPx pixel columns, the latest at the right edge:
    // out gets widthPx entries.
    void Columns(uint8_t car, int widthPx, std::vector<chart::Column>& out) const;
    // Every record the view holds of car, oldest first, and the view's latest time (the times
    // are on the model's wrapping clock: compare them with that one).
    template <class Fn>
    void ForEachSample(uint8_t car, Fn&& fn) const {
        const Traces& t = Shown();
        if (t.slot[car] < 0) return;
        const RingBuffer<Sample>& ring = t.rings[static_cast<size_t>(t.slot[car])];
        for (size_t i = 0; i < ring.Size(); ++i) fn(ring[i]);
    }
    uint32_t LatestMs() const { return Shown().latestMs; }

private:
    struct Traces {
        std::vector<uint8_t> order;
        std::array<int16_t, 256> slot;  // index into rings, -1: not seen
        std::vector<RingBuffer<Sample>> rings;
        size_t total = 0;
        uint32_t latestMs = 0;
        bool any = false;
    };
    const Traces& Shown() const { return FFrozen ? *FFrozen : FLive; }
    void DropOldest();
    void DropExpired();

    size_t FMaxSamples;
    Traces FLive;
    std::optional<Traces> FFrozen;
    int64_t FLatestInputMs = 0;
    uint32_t FNextSweepMs = 0;
    int FWindowSeconds = kDefaultWindowSeconds;
    uint64_t FRevision = 0;
};

} // namespace plot
