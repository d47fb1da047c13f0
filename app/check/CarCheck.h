#pragma once
// One car's throttle, judged from its status records as they come, in any order of the steps:
// the rest level (the lowest drive held for a while), the highest drive held, each sweep (a rise
// off rest to near the top, or the fall back to rest) with the size of its steps and its moves
// against its direction, and the lane-change presses. Memory stays bounded however long it runs:
// sliding windows of at most 256 entries, a fixed number of sweeps kept. Plain C++.
#include <algorithm>
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
    explicit MovingExtremes(int64_t spanMs, bool withMin = true)
        : FSpan(spanMs), FWithMin(withMin), FEntries(withMin ? 2 * kRingSize : kRingSize) {}
    // Empty: the span counts from the next value.
    void Reset();
    // Empty, and the span counts from just after ms: for a caller to whom a value at ms rules out
    // every window that holds it, which then need not be kept until it has left.
    void StartAfter(int64_t ms) {
        FMin.size = FMax.size = 0;
        FFromMs = ms + 1;
    }
    // A value held only moves the newest entry's time, which is the back of both rings.
    void Add(int64_t ms, uint8_t value) {
        if (FFromMs == kFresh) FFromMs = ms;
        FLastMs = ms;
        const int64_t oldest = ms - FSpan;
        // The newest entry always stays, so neither ring empties here.
        if (FWithMin) Take(FMin, {ms, value}, oldest, [](uint8_t back, uint8_t v) { return back >= v; });
        Take(FMax, {ms, value}, oldest, [](uint8_t back, uint8_t v) { return back <= v; });
    }
    // The newest value again at ms, taken as Add would, for a caller that knows that nothing else
    // changes then (before QuietUntil).
    void Hold(int64_t ms) {
        if (FMax.size == 0) return;
        FLastMs = ms;
        At(FMax, FMax.size - 1).ms = ms;
        if (FWithMin) At(FMin, FMin.size - 1).ms = ms;
    }
    // Until when the newest value again changes nothing but its time: no entry leaves the span,
    // and it is seen whole, or not, as now.
    int64_t QuietUntil() const {
        if (FMax.size == 0) return FLastMs;  // nothing held: the next value counts
        int64_t front = At(FMax, 0).ms;
        if (FWithMin) front = std::min(front, At(FMin, 0).ms);
        const int64_t leaves = front + FSpan + 1;
        return Covered() ? leaves : std::min(leaves, FFromMs + FSpan);
    }
    // The span is all seen (and the window holds a value).
    bool Covered() const { return FMax.size > 0 && FLastMs - FFromMs >= FSpan; }
    uint8_t Min() const { return At(FMin, 0).value; }
    uint8_t Max() const { return At(FMax, 0).value; }

private:
    static constexpr unsigned kRingSize = 256;
    struct Entry {
        int64_t ms;
        uint8_t value;
    };
    // Values strictly monotonic from front to back, so never more than 256; its entries are in
    // FEntries from base on.
    struct Ring {
        unsigned base;
        unsigned head = 0;
        unsigned size = 0;
    };
    Entry& At(const Ring& r, unsigned i) { return FEntries[r.base + ((r.head + i) & (kRingSize - 1))]; }
    const Entry& At(const Ring& r, unsigned i) const { return FEntries[r.base + ((r.head + i) & (kRingSize - 1))]; }
    // e at the back, after the entries it outdoes; then the front entries older than oldest.
    template <typename Outdone>
    void Take(Ring& r, const Entry& e, int64_t oldest, Outdone outdone) {
        if (r.size > 0 && At(r, r.size - 1).value == e.value) {
            At(r, r.size - 1).ms = e.ms;
        } else {
            while (r.size > 0 && outdone(At(r, r.size - 1).value, e.value)) --r.size;
            At(r, r.size) = e;
            ++r.size;
        }
        while (At(r, 0).ms < oldest) {
            r.head = (r.head + 1) & (kRingSize - 1);
            --r.size;
        }
    }

    static constexpr int64_t kFresh = INT64_MIN;  // the span counts from the next value
    int64_t FSpan;
    bool FWithMin;
    int64_t FFromMs = kFresh;
    int64_t FLastMs = 0;
    Ring FMin{kRingSize};
    Ring FMax{0};
    // Apart from the rest, which every record touches: 4 KiB a ring.
    std::vector<Entry> FEntries;
};

class CarCheck {
public:
    // shortcuts: false takes every record the long way, to check the shortcuts against.
    CarCheck(uint8_t car, const Thresholds& thresholds, bool shortcuts = true);
    // Inline for the usual record, the same as the one before with nothing to do but count it;
    // the others go the longer ways.
    void Add(const Sample& s) {
        // A clock set back during the capture: the record counts at the time of the one before.
        const int64_t ms = s.ms > FLastMs ? s.ms : FLastMs;
        // One branch, taken or not as the drive happens to move.
        if ((ms - FLastMs <= kDropoutMs) & (KeyOf(s) == FRepeatKey) & (ms < FQuickUntilMs)) {
            ++FRecords;
            FLastMs = ms;
        } else {
            AddOther(s);
        }
    }

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
    // Most records cannot move either level: a window holding a drive at or above the rest level
    // found so far cannot find a lower one, nor one holding a drive below the highest held so far
    // a higher one (or, held there with no spread, a closer one). Such a drive only starts its
    // window again after it, so the rings are kept for the few records that may count.
    bool RestWindowIdle(uint8_t drive) const { return drive >= FRestIdleFrom; }
    bool FullWindowIdle(uint8_t drive) const { return drive < FFullIdleBelow; }
    // Where the drives that leave each window idle begin and end, as the levels move.
    void SetIdleDrives();
    // Most records repeat the one before: a trigger held, or moved slower than the records come.
    // Such a record changes no sweep, step or press (the one before already counted its drive and
    // brake), only times. Until FQuickUntilMs it is only counted: a window it leaves idle just
    // starts again after it, and in one it does not, no entry leaves and nothing but the newest
    // entry's time changes (Hold). The times it moves all become its own, so they are set once,
    // from the last repeat, when a record that is not only counted comes (CatchUp); setting them
    // again is harmless, as the record before did the same. After FQuickUntilMs a window may move
    // its level, and a repeat is taken as one (TakeRepeat).
    static uint32_t KeyOf(const Sample& s) {  // drive, brake and lane change as one value
        return uint32_t{s.drive} | uint32_t{s.brake} << 8 | uint32_t{s.laneChange} << 16;
    }
    static constexpr uint32_t kNoKey = 1u << 24;  // no record's
    bool Repeatable() const { return FRepeatKey != kNoKey; }
    void AddOther(const Sample& s);
    void TakeRepeat(const Sample& s);
    void TakeChanged(const Sample& s);  // the long way
    void SetRepeatTimes(int64_t ms);
    void CatchUp() {
        if (!Repeatable()) return;
        if (RestWindowIdle(FPrevDrive)) FRestWindow.StartAfter(FLastMs);
        else FRestWindow.Hold(FLastMs);
        if (FullWindowIdle(FPrevDrive)) FFullWindow.StartAfter(FLastMs);
        else FFullWindow.Hold(FLastMs);
        SetRepeatTimes(FLastMs);
    }
    // After a record: what a repeat of it is, and until when one is only counted.
    void SetRepeatKey();
    int64_t LongestPressMs() const {
        return Repeatable() && FPrevLane ? std::max(FLongestPressMs, FLastMs - FPressStartMs) : FLongestPressMs;
    }
    // The rest level from its window; true when it moved.
    bool TrackRestWindow(const Sample& s);
    // Each window given the record, or started again after it where it leaves it idle (the rest
    // window: true when its level moved).
    bool TakeRestWindow(const Sample& s);
    void TakeFullWindow(const Sample& s);
    // The highest drive held and its spread, from their window.
    void TrackFullWindow(const Sample& s);
    // What follows the rest level, the long way.
    void TrackAfterRest(const Sample& s);
    void TrackExcursion(const Sample& s);
    void TrackLaneChange(const Sample& s);
    void Count(Steps& steps, int delta, bool rising, uint8_t from, uint8_t to, bool countLargest);
    void CloseExcursion(int64_t ms);
    // The figures of a rise or a fall from its steps.
    Sweep SweepOf(const Steps& steps, bool rising, int64_t startMs, int64_t durationMs) const;
    void Keep(const Sweep& sweep);

    uint8_t FCar;
    bool FShortcuts;
    Thresholds FThresholds;
    uint64_t FRecords = 0;
    int64_t FFirstMs = 0;
    int64_t FLastMs = 0;  // never goes back

    // What the usual record looks at, kept together: the record before, the levels' reach.
    uint32_t FRepeatKey = kNoKey;  // none after a dropout, or without shortcuts
    int64_t FQuickUntilMs = 0;
    bool FHavePrevious = false;
    uint8_t FPrevDrive = 0;
    uint8_t FPrevBrake = 0;
    bool FPrevLane = false;
    bool FPrevAtRest = false;
    bool FInExcursion = false;
    uint8_t FTop = 0;
    int FRestIdleFrom = 256;  // none
    int FFullIdleBelow = 0;   // none
    int64_t FLastRestMs = 0;
    int64_t FFallStartMs = 0;  // the fall starts where it last was at its top
    int64_t FPressStartMs = 0;
    int64_t FLongestPressMs = 0;
    MovingExtremes FRestWindow;
    MovingExtremes FFullWindow;

    std::optional<int> FRest;
    std::optional<int> FRestBrake;
    std::optional<int> FMaxDrive;
    std::optional<int> FFullSpread;

    int64_t FExcursionStartMs = 0;
    uint8_t FStartDrive = 0;
    int64_t FTopFirstMs = 0;  // the rise ends where it first reached its top
    std::vector<Sweep> FSweeps;

    bool FEverReleased = false;
    int64_t FReleaseMs = 0;
    int FPresses = 0;
    int FBounces = 0;

    // Step sizes by the kilobyte, last.
    Steps FRise;
    PendingSteps FRisePending;
    Steps FFall;
};

} // namespace check
