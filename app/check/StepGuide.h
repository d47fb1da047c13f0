#pragma once
// The guided steps of a check, followed from one car's records as they arrive: trigger released,
// slow pull to full and hold, slow release, five lane-change presses. Each record may move the
// guide on; a window shows Current() and reports each StepReport. A step not done in time says
// what was expected and what was seen, and starts again. The records also feed the car's check,
// so the verdict at the end is the one the same records give offline. Plain C++.
#include <cstdint>
#include <optional>
#include <string>

#include "app/check/CarCheck.h"

namespace check {

enum class Step { Released, SlowPull, SlowRelease, LaneChange, Finished };
std::string_view StepInstruction(Step step);

struct StepTimes {
    int64_t releasedMs = 2000;    // trigger released this long
    int64_t pullMinMs = 2000;     // the squeeze to full takes at least this
    int64_t holdFullMs = 1000;    // then held at full
    int64_t releaseMinMs = 2000;  // the let-go takes at least this
    int64_t timeoutMs = 20000;    // a step not done within this is reported and starts again
    int stillBand = 10;           // the drive within this counts as held still (loose: following a person, not judging)
    int lowDrive = 64;            // released: the drive at or below this
};

struct StepReport {
    Step step = Step::Released;
    bool done = false;
    std::string expected;
    std::string seen;
};

class StepGuide {
public:
    StepGuide(uint8_t car, const Thresholds& thresholds = {}, const StepTimes& times = {});

    // Takes one record of any car (others are passed over). Returns a report when a step was
    // done or timed out with this record.
    std::optional<StepReport> Add(const Sample& s);

    Step Current() const { return FStep; }
    double Progress() const { return FProgress; }  // 0 to 1 through the current step
    // Starts the current step again (a person asking to repeat it), or the whole check.
    void RepeatStep(int64_t nowMs);
    void Restart(int64_t nowMs);

    const CarCheck& Check() const { return FCheck; }
    uint8_t CarNumber() const { return FCar; }

private:
    void Begin(Step step, int64_t ms);
    std::optional<StepReport> Finish(bool done, std::string seen);
    void TrackStill(const Sample& s);
    std::optional<StepReport> StepReleased(const Sample& s);
    std::optional<StepReport> StepPull(const Sample& s);
    std::optional<StepReport> StepRelease(const Sample& s);
    std::optional<StepReport> StepPresses(const Sample& s);
    std::string Expected() const;

    uint8_t FCar;
    StepTimes FTimes;
    CarCheck FCheck;
    Step FStep = Step::Released;
    double FProgress = 0;
    int64_t FStepStartMs = 0;
    bool FStarted = false;

    // The drive held still: since when, around which level.
    int64_t FStillSinceMs = 0;
    int FStillLevel = -1;
    int64_t FLongestStillMs = 0;  // within the step, for what was seen
    int FLowestSeen = 255;
    int FHighestSeen = 0;

    int FRestLevel = 0;          // as the released step saw it
    int FFullLevel = 0;          // as the pull step's hold saw it
    bool FMoving = false;        // pull: off rest; release: off full
    int64_t FMoveStartMs = 0;
    std::string FLastAttempt;    // what the last try of this step looked like
    int FPressesAtStart = 0;
};

} // namespace check
