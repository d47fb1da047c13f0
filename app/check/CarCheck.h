#pragma once
// One car's throttle, judged from its status records as they come, in any order of the steps:
// the rest level (the lowest drive held for a while), the highest drive held, each sweep (a rise
// off rest to near the top, or the fall back to rest) with the size of its steps and its moves
// against its direction, and the lane-change presses. Memory stays bounded however long it runs:
// sliding windows of at most 256 entries, a fixed number of sweeps kept. Plain C++.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/Thresholds.h"

namespace check {

// What the check needs of a status record.
struct Sample {
    int64_t ms = 0;  // UTC milliseconds
    uint8_t car = 0;
    uint8_t drive = 0;
    uint8_t brake = 0;
    bool laneChange = false;
};

// A car that sends nothing for longer than this has dropped out: what was under way (a window, a
// sweep) starts again.
constexpr int64_t kDropoutMs = 1000;
// Within this of the rest level the trigger counts as released.
constexpr int kRestBand = 2;
// Sweeps kept for the verdict; beyond this the oldest that can no longer count go first.
constexpr size_t kMaxSweepsKept = 64;

struct Sweep {
    bool rising = true;
    int64_t startMs = 0;
    int64_t durationMs = 0;
    uint8_t top = 0;         // the highest drive it reached (rise) or fell from (fall)
    uint8_t startDrive = 0;  // rise: the first drive off rest
    int medianStep = 0;      // of the records where the drive moved its way
    int largestStep = 0;     // leaving rest and arriving back at it left out: that is the start point
    uint8_t largestFrom = 0;
    uint8_t largestTo = 0;
    uint32_t movesAgainst = 0;
    uint8_t brakeMax = 0;
};

// Everything measured, plain values; empty where the records did not show it.
struct CarFigures {
    uint8_t car = 0;
    uint64_t records = 0;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    double recordsPerSecond = 0;  // records over the car's own span
    std::optional<int> restDrive;
    std::optional<int> restBrake;
    std::optional<int> startDrive;  // the first drive as the trigger leaves rest (the last full rise's)
    std::optional<int> maxDrive;    // the highest drive held
    std::optional<int> fullSpread;  // highest less lowest drive while held there
    int rises = 0;                  // sweeps that count
    int falls = 0;
    std::optional<int> largestStep;  // the sweeps' largest step, where it was and that sweep's median
    std::optional<int> largestStepFrom;
    std::optional<int> largestStepTo;
    std::optional<int> medianStep;
    int movesAgainst = 0;  // the most in one sweep
    std::optional<int> sweepBrakeMax;
    int presses = 0;  // as pressed: a bounce is not a press of its own
    int bounces = 0;
    int64_t longestPressMs = 0;
};

enum class Verdict { Ok, Check, CannotJudge };
std::string_view VerdictText(Verdict v);

// Finding codes, in the order they are listed.
inline constexpr std::string_view kCreep = "creep";
inline constexpr std::string_view kShortRange = "short_range";
inline constexpr std::string_view kDeadSpot = "dead_spot";
inline constexpr std::string_view kJitter = "jitter";
inline constexpr std::string_view kBounce = "bounce";
inline constexpr std::string_view kStuck = "stuck";
inline constexpr std::string_view kTooFewRecords = "too_few_records";
// Steps the records did not show, each by name.
inline constexpr std::string_view kReleasedStep = "released";
inline constexpr std::string_view kPullStep = "slow_pull";
inline constexpr std::string_view kReleaseStep = "slow_release";
inline constexpr std::string_view kPressesStep = "lane_change";

// The presses the lane-change step asks for.
constexpr int kPressesWanted = 5;

struct CarResult {
    Verdict verdict = Verdict::CannotJudge;
    std::vector<std::string_view> findings;  // one per fault
    std::vector<std::string_view> missing;   // steps not seen
    CarFigures figures;
};

// The verdict from the figures alone: a pure function, so each threshold's border is testable.
// Too few records cannot be judged; otherwise any fault is `check`; otherwise a missing step
// leaves it `cannot_judge`.
CarResult Judge(const CarFigures& figures, const Thresholds& thresholds);

// The smallest and largest value over the last span milliseconds (the smallest only when asked:
// it costs a second ring).
class MovingExtremes {
public:
    explicit MovingExtremes(int64_t spanMs, bool withMin = true) : FSpan(spanMs), FWithMin(withMin) {}
    void Reset();
    // Inline, as it runs twice a record: a value held (the usual case) only moves the newest
    // entry's time, which is the back of both rings.
    void Add(int64_t ms, uint8_t value) {
        if (FCount++ == 0) FFirstMs = ms;
        FLastMs = ms;
        const int64_t oldest = ms - FSpan;
        // The newest entry always stays, so neither ring empties here.
        if (FWithMin) FMin.Take({ms, value}, oldest, [](uint8_t back, uint8_t v) { return back >= v; });
        FMax.Take({ms, value}, oldest, [](uint8_t back, uint8_t v) { return back <= v; });
    }
    bool Covered() const { return FCount > 0 && FLastMs - FFirstMs >= FSpan; }  // the span is all seen
    uint8_t Min() const { return FMin.Front().value; }
    uint8_t Max() const { return FMax.Front().value; }

private:
    struct Entry {
        int64_t ms;
        uint8_t value;
    };
    // Values strictly monotonic from front to back, so never more than 256.
    struct Ring {
        std::array<Entry, 256> entries{};
        unsigned head = 0;
        unsigned size = 0;
        const Entry& Front() const { return entries[head]; }
        const Entry& Back() const { return entries[(head + size - 1) & 255]; }
        void PopFront() { head = (head + 1) & 255, --size; }
        void PopBack() { --size; }
        void Push(const Entry& e) { entries[(head + size++) & 255] = e; }
        // e at the back, after the entries it outdoes; then the front entries older than oldest.
        template <typename Outdone>
        void Take(const Entry& e, int64_t oldest, Outdone outdone) {
            if (size > 0 && entries[(head + size - 1) & 255].value == e.value) {
                entries[(head + size - 1) & 255].ms = e.ms;
            } else {
                while (size > 0 && outdone(Back().value, e.value)) PopBack();
                Push(e);
            }
            while (Front().ms < oldest) PopFront();
        }
    };
    int64_t FSpan;
    bool FWithMin;
    int64_t FFirstMs = 0;
    int64_t FLastMs = 0;
    uint64_t FCount = 0;
    Ring FMin;
    Ring FMax;
};

class CarCheck {
public:
    CarCheck(uint8_t car, const Thresholds& thresholds);
    void Add(const Sample& s);

    CarFigures Figures() const;
    CarResult Result() const { return Judge(Figures(), FThresholds); }

    // For a window following the car live.
    std::optional<int> RestLevel() const { return FRest; }
    std::optional<int> MaxDrive() const { return FMaxDrive; }
    const std::vector<Sweep>& Sweeps() const { return FSweeps; }
    int Presses() const { return FPresses; }

private:
    // Step sizes of one part of a sweep: moves its way by size, the largest, moves against it.
    struct Steps {
        std::array<uint32_t, 256> bySize{};
        uint32_t moves = 0;
        int largest = 0;
        uint8_t largestFrom = 0;
        uint8_t largestTo = 0;
        uint32_t against = 0;
        uint8_t brakeMax = 0;
        void Clear();
        int Median() const;
    };
    // Steps since the rise last reached a new top: they belong to the rise only if it climbs on.
    struct PendingSteps {
        Steps steps;
        std::array<uint8_t, 256> touched{};
        unsigned touchedCount = 0;
        void Add(int size);
        void MergeInto(Steps& into);
    };

    void Restart(int64_t ms);
    void TrackWindows(const Sample& s);
    void TrackExcursion(const Sample& s);
    void TrackLaneChange(const Sample& s);
    void Count(Steps& steps, int delta, bool rising, uint8_t from, uint8_t to, bool countLargest);
    void CloseExcursion(int64_t ms);
    // The figures of a rise or a fall from its steps.
    Sweep SweepOf(const Steps& steps, bool rising, int64_t startMs, int64_t durationMs) const;
    void Keep(const Sweep& sweep);

    uint8_t FCar;
    Thresholds FThresholds;
    uint64_t FRecords = 0;
    int64_t FFirstMs = 0;
    int64_t FLastMs = 0;  // never goes back

    MovingExtremes FRestWindow;
    MovingExtremes FFullWindow;
    std::optional<int> FRest;
    std::optional<int> FRestBrake;
    std::optional<int> FMaxDrive;
    std::optional<int> FFullSpread;

    bool FHavePrevious = false;
    uint8_t FPrevDrive = 0;
    bool FPrevAtRest = false;
    bool FInExcursion = false;
    int64_t FLastRestMs = 0;
    int64_t FExcursionStartMs = 0;
    uint8_t FStartDrive = 0;
    uint8_t FTop = 0;
    int64_t FTopFirstMs = 0;  // the rise ends where it first reached its top
    int64_t FFallStartMs = 0; // the fall starts where it last was at its top
    Steps FRise;
    PendingSteps FRisePending;
    Steps FFall;
    std::vector<Sweep> FSweeps;

    bool FPrevLane = false;
    bool FEverReleased = false;
    int64_t FPressStartMs = 0;
    int64_t FReleaseMs = 0;
    int FPresses = 0;
    int FBounces = 0;
    int64_t FLongestPressMs = 0;
};

} // namespace check
