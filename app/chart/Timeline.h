#pragma once
// What a window onto a recorded session shows and where its cursor stands, without the window:
// the view (zoomed and panned, always inside the session and never narrower than kMinSpanMs), a
// scroll bar's place for it, the cursor on a record, and playback moving the cursor at the
// recorded pace times a speed. The window forwards the user's actions here and shows what it is
// told has changed. Plain C++.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/chart/Layout.h"

namespace chart {

// The records' times, in order and never going back (milliseconds since 1970-01-01 UTC).
class RecordTimes {
public:
    virtual ~RecordTimes() = default;
    virtual size_t Count() const = 0;
    virtual int64_t TimeMs(size_t index) const = 0;
    // The first record at or after timeMs (Count() when none).
    virtual size_t LowerBound(int64_t timeMs) const = 0;
    // The record nearest timeMs, the earlier on a tie.
    virtual size_t Nearest(int64_t timeMs) const = 0;
};

class Timeline {
public:
    static constexpr int64_t kMinSpanMs = 100;  // the deepest zoom: a tenth of a second across
    static constexpr int kSpeeds[] = {1, 2, 5, 10};
    static constexpr int64_t kScrollSteps = 1'000'000;  // a scroll bar counts at most this many steps
    static constexpr double kFollowMargin = 0.1;  // a cursor leaving the view brings it along, this share behind

    // Told after each change, once the model is consistent again.
    std::function<void()> OnViewChanged;
    std::function<void()> OnCursorChanged;
    std::function<void()> OnPlayingChanged;

    // The records (may be null: none); shows them whole, without a cursor, not playing.
    void SetRecords(const RecordTimes* records);

    TimeView Whole() const;
    const TimeView& View() const { return FView; }
    void SetView(TimeView view);  // clamped into the session
    void ShowWhole() { SetView(Whole()); }
    // factor > 1 zooms in. The time at aroundMs stays where it is; without one, the cursor's if
    // it is in view, else the middle.
    void ZoomBy(double factor, std::optional<int64_t> aroundMs = std::nullopt);
    void ShowRange(int64_t fromMs, int64_t toMs);
    void PanBy(int64_t deltaMs);

    // A scroll bar for the view: its range 0..maximum, page and single steps, and value.
    struct Scroll {
        int maximum = 0, page = 1, single = 1, value = 0;
    };
    Scroll ScrollPosition() const;
    void ScrollTo(int value);

    std::optional<size_t> Cursor() const { return FCursor; }
    void SetCursor(size_t index);
    void StepCursor(int64_t records);
    void SetCursorNearTime(int64_t timeMs);

    bool Playing() const { return FPlaying; }
    // Starts from the cursor (from the start again when at the end); false when there is nothing to play.
    bool SetPlaying(bool playing);
    int Speed() const { return FSpeed; }
    bool SetSpeed(int speed);  // one of kSpeeds; anything else is refused
    // Moves playback on as if elapsedMs of wall-clock time had passed; stops at the last record.
    void AdvancePlayback(int64_t elapsedMs);

private:
    size_t Count() const { return FRecords != nullptr ? FRecords->Count() : 0; }
    void MoveCursor(size_t index);
    static void Tell(const std::function<void()>& f) {
        if (f) f();
    }

    const RecordTimes* FRecords = nullptr;
    TimeView FView{0, kMinSpanMs};
    std::optional<size_t> FCursor;
    bool FPlaying = false;
    int FSpeed = 1;
    int64_t FPlayTimeMs = 0;
};

} // namespace chart
