#include "CarCheck.h"

#include <algorithm>

namespace check {

std::string_view VerdictText(Verdict v) {
    switch (v) {
    case Verdict::Ok: return "ok";
    case Verdict::Check: return "check";
    case Verdict::CannotJudge: break;
    }
    return "cannot_judge";
}

namespace {
bool CountsAsSweep(const Sweep& s, const std::optional<int>& maxDrive, const Thresholds& t) {
    return maxDrive && *maxDrive > 0 && s.durationMs >= t.sweepMinMs &&
           int64_t{s.top} * 100 >= int64_t{t.sweepReachPercent} * *maxDrive;
}

bool IsDeadSpot(int largest, int median, const Thresholds& t) {
    return largest >= t.deadStepMin && int64_t{largest} >= int64_t{t.deadStepMedianFactor} * median;
}
} // namespace

CarResult Judge(const CarFigures& f, const Thresholds& t) {
    CarResult r;
    r.figures = f;
    // Fewer records than a second's worth say nothing, whatever their pace.
    if (f.recordsPerSecond < t.recordsPerSecondMin || f.records < static_cast<uint64_t>(t.recordsPerSecondMin)) {
        r.verdict = Verdict::CannotJudge;
        r.findings.push_back(kTooFewRecords);
        return r;
    }
    if (f.restDrive && *f.restDrive > t.restDriveMax) r.findings.push_back(kCreep);
    if (f.rises > 0 && f.maxDrive && *f.maxDrive < t.fullDriveMin) r.findings.push_back(kShortRange);
    if (f.largestStep && f.medianStep && IsDeadSpot(*f.largestStep, *f.medianStep, t)) r.findings.push_back(kDeadSpot);
    if (f.movesAgainst > t.movesAgainstMax || (f.fullSpread && *f.fullSpread > t.fullSpreadMax)) {
        r.findings.push_back(kJitter);
    }
    if (f.bounces > 0) r.findings.push_back(kBounce);
    if (f.longestPressMs > t.stuckMs) r.findings.push_back(kStuck);

    if (!f.restDrive) r.missing.push_back(kReleasedStep);
    if (f.rises == 0 || !f.maxDrive) r.missing.push_back(kPullStep);
    if (f.falls == 0) r.missing.push_back(kReleaseStep);
    if (f.presses < kPressesWanted) r.missing.push_back(kPressesStep);

    r.verdict = !r.findings.empty() ? Verdict::Check : !r.missing.empty() ? Verdict::CannotJudge : Verdict::Ok;
    return r;
}

void MovingExtremes::Reset() {
    FMin.size = FMax.size = 0;
    FFromMs = kFresh;
}

void CarCheck::Steps::Clear() {
    if (moves > 0) bySize.fill(0);
    moves = 0;
    largest = 0;
    largestFrom = largestTo = 0;
    against = 0;
    brakeMax = 0;
}

int CarCheck::Steps::Median() const {
    if (moves == 0) return 0;
    const uint32_t half = (moves + 1) / 2;
    uint32_t seen = 0;
    for (int size = 1; size < 256; ++size) {
        seen += bySize[static_cast<size_t>(size)];
        if (seen >= half) return size;
    }
    return 255;
}

void CarCheck::PendingSteps::Add(int size) {
    if (steps.bySize[static_cast<size_t>(size)]++ == 0) touched[touchedCount++] = static_cast<uint8_t>(size);
    ++steps.moves;
}

void CarCheck::PendingSteps::MergeInto(Steps& into) {
    for (unsigned i = 0; i < touchedCount; ++i) {
        uint32_t& n = steps.bySize[touched[i]];
        into.bySize[touched[i]] += n;
        n = 0;
    }
    touchedCount = 0;
    into.moves += steps.moves;
    if (steps.largest > into.largest) {
        into.largest = steps.largest;
        into.largestFrom = steps.largestFrom;
        into.largestTo = steps.largestTo;
    }
    into.against += steps.against;
    into.brakeMax = std::max(into.brakeMax, steps.brakeMax);
    steps.moves = 0;
    steps.largest = 0;
    steps.against = 0;
    steps.brakeMax = 0;
}

CarCheck::CarCheck(uint8_t car, const Thresholds& thresholds, bool shortcuts)
    // A repeat is only counted on the understanding that its zero step is no move against the
    // sweep; a threshold that would count it takes every record the long way.
    : FCar(car), FShortcuts(shortcuts && thresholds.moveAgainstMin > 0), FThresholds(thresholds), FRestWindow(thresholds.restHoldMs, false), FFullWindow(thresholds.fullHoldMs) {}

void CarCheck::Restart(int64_t) {
    FRestWindow.Reset();
    FFullWindow.Reset();
    FHavePrevious = false;
    FInExcursion = false;
    FRepeatKey = kNoKey;
}

void CarCheck::SetIdleDrives() {
    if (!FShortcuts) return;
    if (FRest) FRestIdleFrom = *FRest;
    if (FMaxDrive) FFullIdleBelow = *FMaxDrive + (*FFullSpread == 0 ? 1 : 0);
}

inline bool CarCheck::TrackRestWindow(const Sample& s) {
    FRestWindow.Add(s.ms, s.drive);
    if (FRestWindow.Covered() && (!FRest || FRestWindow.Max() < *FRest)) {
        FRest = FRestWindow.Max();
        FRestBrake = s.brake;
        SetIdleDrives();
        return true;
    }
    return false;
}

inline void CarCheck::TrackFullWindow(const Sample& s) {
    FFullWindow.Add(s.ms, s.drive);
    if (FFullWindow.Covered()) {
        const int low = FFullWindow.Min();
        const int spread = FFullWindow.Max() - low;
        if (!FMaxDrive || low > *FMaxDrive || (low == *FMaxDrive && spread < *FFullSpread)) {
            FMaxDrive = low;
            FFullSpread = spread;
            SetIdleDrives();
        }
    }
}

void CarCheck::Count(Steps& steps, int delta, bool rising, uint8_t from, uint8_t to, bool countLargest) {
    const int way = rising ? delta : -delta;
    if (way > 0) {
        ++steps.bySize[static_cast<size_t>(way)];
        ++steps.moves;
        if (countLargest && way > steps.largest) {
            steps.largest = way;
            steps.largestFrom = from;
            steps.largestTo = to;
        }
    } else if (-way >= FThresholds.moveAgainstMin) {
        ++steps.against;
    }
}

inline void CarCheck::TrackExcursion(const Sample& s) {
    const bool atRest = FRest && s.drive <= *FRest + kRestBand;
    if (FHavePrevious) {
        const int delta = int{s.drive} - int{FPrevDrive};
        if (!FInExcursion) {
            if (!atRest && FPrevAtRest) {
                FInExcursion = true;
                FExcursionStartMs = FLastRestMs;
                FStartDrive = FTop = s.drive;
                FTopFirstMs = FFallStartMs = s.ms;
                FRise.Clear();
                FRisePending.MergeInto(FRise);  // empties it
                FRise.Clear();
                FFall.Clear();
                FRise.brakeMax = s.brake;
            }
        } else if (atRest) {
            CloseExcursion(s.ms);  // the step back onto rest is the start point again, not a step of the sweep
        } else if (s.drive > FTop && FRisePending.steps.moves == 0 && FRisePending.steps.against == 0) {
            // Climbing straight on, the usual rise: the step joins it at once (what waiting aside
            // and joining at the new top would come to).
            FRise.bySize[static_cast<size_t>(delta)]++;
            ++FRise.moves;
            if (delta > FRise.largest) {
                FRise.largest = delta;
                FRise.largestFrom = FPrevDrive;
                FRise.largestTo = s.drive;
            }
            FRise.brakeMax = std::max({FRise.brakeMax, FRisePending.steps.brakeMax, s.brake});
            FRisePending.steps.brakeMax = 0;
            FTop = s.drive;
            FTopFirstMs = FFallStartMs = s.ms;
            FFall.Clear();
        } else {
            // Until the rise climbs higher, its steps wait aside; at a new top they join it.
            Steps& pending = FRisePending.steps;
            if (delta > 0) {
                FRisePending.Add(delta);
                if (delta > pending.largest) {
                    pending.largest = delta;
                    pending.largestFrom = FPrevDrive;
                    pending.largestTo = s.drive;
                }
            } else if (-delta >= FThresholds.moveAgainstMin) {
                ++pending.against;
            }
            pending.brakeMax = std::max(pending.brakeMax, s.brake);
            if (s.drive > FTop) {
                FRisePending.MergeInto(FRise);
                FTop = s.drive;
                FTopFirstMs = s.ms;
            }
            if (s.drive >= FTop) {
                FFallStartMs = s.ms;
                FFall.Clear();
            } else {
                Count(FFall, delta, false, FPrevDrive, s.drive, true);
                FFall.brakeMax = std::max(FFall.brakeMax, s.brake);
            }
        }
    }
    if (atRest) FLastRestMs = s.ms;
    FHavePrevious = true;
    FPrevDrive = s.drive;
    FPrevBrake = s.brake;
    FPrevAtRest = atRest;
}

void CarCheck::CloseExcursion(int64_t ms) {
    FInExcursion = false;
    Sweep rise = SweepOf(FRise, true, FExcursionStartMs, FTopFirstMs - FExcursionStartMs);
    rise.startDrive = FStartDrive;
    Keep(rise);
    Keep(SweepOf(FFall, false, FFallStartMs, ms - FFallStartMs));
}

Sweep CarCheck::SweepOf(const Steps& steps, bool rising, int64_t startMs, int64_t durationMs) const {
    Sweep sweep;
    sweep.rising = rising;
    sweep.startMs = startMs;
    sweep.durationMs = durationMs;
    sweep.top = FTop;
    sweep.medianStep = steps.Median();
    sweep.largestStep = steps.largest;
    sweep.largestFrom = steps.largestFrom;
    sweep.largestTo = steps.largestTo;
    sweep.movesAgainst = steps.against;
    sweep.brakeMax = steps.brakeMax;
    return sweep;
}

void CarCheck::Keep(const Sweep& sweep) {
    if (sweep.durationMs < FThresholds.sweepMinMs) return;  // can never count
    if (FSweeps.size() >= kMaxSweepsKept) {
        // Those below the reach of the highest drive so far never will count: the highest only grows.
        std::erase_if(FSweeps, [&](const Sweep& s) { return !CountsAsSweep(s, FMaxDrive, FThresholds); });
        if (FSweeps.size() >= kMaxSweepsKept) FSweeps.erase(FSweeps.begin());
    }
    FSweeps.push_back(sweep);
}

inline void CarCheck::TrackLaneChange(const Sample& s) {
    if (s.laneChange && !FPrevLane) {
        if (FEverReleased && s.ms - FReleaseMs <= FThresholds.bounceMs) {
            ++FBounces;  // the same press, seen twice
        } else {
            ++FPresses;
            FPressStartMs = s.ms;
        }
    } else if (!s.laneChange && FPrevLane) {
        FEverReleased = true;
        FReleaseMs = s.ms;
    }
    if (s.laneChange) FLongestPressMs = std::max(FLongestPressMs, s.ms - FPressStartMs);
    FPrevLane = s.laneChange;
}

inline void CarCheck::SetRepeatTimes(int64_t ms) {
    if (FInExcursion) {
        if (FPrevDrive >= FTop) FFallStartMs = ms;  // still at the top: the fall starts later
    } else if (FPrevAtRest) {
        FLastRestMs = ms;
    }
    if (FPrevLane) FLongestPressMs = std::max(FLongestPressMs, ms - FPressStartMs);
}

inline void CarCheck::SetRepeatKey() {
    FRepeatKey = FShortcuts && FHavePrevious ? KeyOf({0, FCar, FPrevDrive, FPrevBrake, FPrevLane}) : kNoKey;
    FQuickUntilMs = std::min(RestWindowIdle(FPrevDrive) ? INT64_MAX : FRestWindow.QuietUntil(),
                             FullWindowIdle(FPrevDrive) ? INT64_MAX : FFullWindow.QuietUntil());
}

// A window the drive leaves idle only starts again after it; the other takes it.
inline bool CarCheck::TakeRestWindow(const Sample& s) {
    if (!RestWindowIdle(s.drive)) return TrackRestWindow(s);
    FRestWindow.StartAfter(s.ms);
    return false;
}

inline void CarCheck::TakeFullWindow(const Sample& s) {
    if (FullWindowIdle(s.drive)) FFullWindow.StartAfter(s.ms);
    else TrackFullWindow(s);
}

inline void CarCheck::TrackAfterRest(const Sample& s) {
    TakeFullWindow(s);
    TrackExcursion(s);
    TrackLaneChange(s);
}

inline void CarCheck::TakeRepeat(const Sample& s) {
    if (TakeRestWindow(s)) {
        TrackAfterRest(s);  // which drives count as released has changed: the long way
        return;
    }
    TakeFullWindow(s);
    SetRepeatTimes(s.ms);
}

inline void CarCheck::TakeChanged(const Sample& s) {
    TakeRestWindow(s);
    TrackAfterRest(s);
}

// After the trackers, so that they are inlined into it.
void CarCheck::AddOther(const Sample& s) {
    CatchUp();  // what the repeats only counted left undone
    Sample at = s;
    if (FRecords == 0) {
        FFirstMs = at.ms;
    } else {
        at.ms = std::max(at.ms, FLastMs);
        if (at.ms - FLastMs > kDropoutMs) Restart(at.ms);
    }
    FLastMs = at.ms;
    ++FRecords;
    if (KeyOf(at) == FRepeatKey) TakeRepeat(at);
    else TakeChanged(at);
    SetRepeatKey();
}

CarFigures CarCheck::Figures() const {
    CarFigures f;
    f.car = FCar;
    f.records = FRecords;
    f.firstMs = FFirstMs;
    f.lastMs = FLastMs;
    if (FRecords > 1 && FLastMs > FFirstMs) {
        f.recordsPerSecond = static_cast<double>(FRecords - 1) * 1000.0 / static_cast<double>(FLastMs - FFirstMs);
    }
    f.restDrive = FRest;
    f.restBrake = FRestBrake;
    f.maxDrive = FMaxDrive;
    f.fullSpread = FFullSpread;
    const Sweep* shown = nullptr;  // the first with a dead spot, else the one with the largest step
    for (const Sweep& s : FSweeps) {
        if (!CountsAsSweep(s, FMaxDrive, FThresholds)) continue;
        if (s.rising) {
            ++f.rises;
            f.startDrive = s.startDrive;
        } else {
            ++f.falls;
        }
        f.movesAgainst = std::max(f.movesAgainst, static_cast<int>(std::min<uint32_t>(s.movesAgainst, 1u << 30)));
        f.sweepBrakeMax = std::max(f.sweepBrakeMax.value_or(0), int{s.brakeMax});
        const bool dead = IsDeadSpot(s.largestStep, s.medianStep, FThresholds);
        const bool shownDead = shown && IsDeadSpot(shown->largestStep, shown->medianStep, FThresholds);
        if (!shown || (dead && !shownDead) || (dead == shownDead && !shownDead && s.largestStep > shown->largestStep)) {
            shown = &s;
        }
    }
    if (shown) {
        f.largestStep = shown->largestStep;
        f.largestStepFrom = shown->largestFrom;
        f.largestStepTo = shown->largestTo;
        f.medianStep = shown->medianStep;
    }
    f.presses = FPresses;
    f.bounces = FBounces;
    f.longestPressMs = LongestPressMs();
    return f;
}

} // namespace check
