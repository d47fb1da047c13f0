#include "StepGuide.h"

#include <algorithm>
#include <cstdio>

namespace check {

namespace {
std::string Seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}
} // namespace

std::string_view StepInstruction(Step step) {
    switch (step) {
    case Step::Released: return "Let go of the trigger and leave it released.";
    case Step::SlowPull: return "Squeeze the trigger slowly to full (over at least 2 s), then hold it there for 1 s.";
    case Step::SlowRelease: return "Let go slowly (over at least 2 s) until the trigger is released.";
    case Step::LaneChange: return "Press the lane-change button five times.";
    case Step::Finished: break;
    }
    return "Done.";
}

StepGuide::StepGuide(uint8_t car, const Thresholds& thresholds, const StepTimes& times)
    : FCar(car), FTimes(times), FCheck(car, thresholds) {}

void StepGuide::Begin(Step step, int64_t ms) {
    FStep = step;
    FProgress = 0;
    FStepStartMs = ms;
    FLongestStillMs = 0;
    FLowestSeen = 255;
    FHighestSeen = 0;
    FMoving = false;
    FLastAttempt.clear();
    FPressesAtStart = FCheck.Presses();
}

void StepGuide::RepeatStep(int64_t nowMs) { Begin(FStep, nowMs); }
void StepGuide::Restart(int64_t nowMs) { Begin(Step::Released, nowMs); }

std::string StepGuide::Expected() const {
    switch (FStep) {
    case Step::Released: return "the trigger released and still for " + Seconds(FTimes.releasedMs);
    case Step::SlowPull:
        return "a squeeze to full over at least " + Seconds(FTimes.pullMinMs) + ", held there for " +
               Seconds(FTimes.holdFullMs);
    case Step::SlowRelease: return "a let-go from full to released over at least " + Seconds(FTimes.releaseMinMs);
    case Step::LaneChange: return std::to_string(kPressesWanted) + " presses of the lane-change button";
    case Step::Finished: break;
    }
    return {};
}

std::optional<StepReport> StepGuide::Finish(bool done, std::string seen) {
    StepReport report{FStep, done, Expected(), std::move(seen)};
    return report;
}

void StepGuide::TrackStill(const Sample& s) {
    if (FStillLevel < 0 || std::abs(int{s.drive} - FStillLevel) > FTimes.stillBand / 2) {
        FStillLevel = s.drive;
        FStillSinceMs = s.ms;
    }
    FLowestSeen = std::min<int>(FLowestSeen, s.drive);
    FHighestSeen = std::max<int>(FHighestSeen, s.drive);
}

std::optional<StepReport> StepGuide::Add(const Sample& s) {
    if (s.car != FCar) return std::nullopt;
    FCheck.Add(s);
    if (!FStarted) {
        FStarted = true;
        Begin(Step::Released, s.ms);
    }
    TrackStill(s);
    const int64_t still = s.ms - FStillSinceMs;
    FLongestStillMs = std::max(FLongestStillMs, still);
    std::optional<StepReport> report;
    switch (FStep) {
    case Step::Released: report = StepReleased(s); break;
    case Step::SlowPull: report = StepPull(s); break;
    case Step::SlowRelease: report = StepRelease(s); break;
    case Step::LaneChange: report = StepPresses(s); break;
    case Step::Finished: return std::nullopt;
    }
    if (report) {
        if (report->done) Begin(static_cast<Step>(static_cast<int>(FStep) + 1), s.ms);
        return report;
    }
    if (s.ms - FStepStartMs > FTimes.timeoutMs) {
        std::string seen = FLastAttempt;
        if (seen.empty()) {
            seen = "the drive between " + std::to_string(FLowestSeen) + " and " + std::to_string(FHighestSeen) +
                   ", still for " + Seconds(FLongestStillMs) + " at most";
        }
        report = Finish(false, seen);
        Begin(FStep, s.ms);
    }
    return report;
}

std::optional<StepReport> StepGuide::StepReleased(const Sample& s) {
    const int64_t still = s.ms - FStillSinceMs;
    const bool low = FStillLevel <= FTimes.lowDrive;
    FProgress = low ? std::min(1.0, static_cast<double>(still) / static_cast<double>(FTimes.releasedMs)) : 0;
    if (low && still >= FTimes.releasedMs) {
        FRestLevel = FStillLevel;
        return Finish(true, "released for " + Seconds(still) + " at drive " + std::to_string(s.drive));
    }
    return std::nullopt;
}

std::optional<StepReport> StepGuide::StepPull(const Sample& s) {
    const bool atRest = s.drive <= FRestLevel + FTimes.stillBand;
    if (!FMoving) {
        if (atRest) {
            FMoveStartMs = s.ms;
            return std::nullopt;
        }
        FMoving = true;  // from the last record at rest
    }
    if (atRest) {  // back before holding full: this try is over
        FMoving = false;
        FProgress = 0;
        FLastAttempt = "let go again after " + Seconds(s.ms - FMoveStartMs) + " without holding full";
        return std::nullopt;
    }
    const int64_t still = s.ms - FStillSinceMs;
    const bool high = FStillLevel > FRestLevel + 4 * FTimes.stillBand;
    const int64_t pulling = (high ? FStillSinceMs : s.ms) - FMoveStartMs;
    FProgress = 2.0 / 3 * std::min(1.0, static_cast<double>(pulling) / static_cast<double>(FTimes.pullMinMs));
    if (high) FProgress += 1.0 / 3 * std::min(1.0, static_cast<double>(still) / static_cast<double>(FTimes.holdFullMs));
    if (!high || still < FTimes.holdFullMs) return std::nullopt;
    const std::string attempt = "squeezed to " + std::to_string(FStillLevel) + " in " + Seconds(pulling) +
                                ", held for " + Seconds(still);
    if (pulling < FTimes.pullMinMs) {
        // Too quick: report it, and let the person let go and try again.
        FLastAttempt = attempt;
        FMoving = false;
        FProgress = 0;
        FMoveStartMs = s.ms;
        StepReport report{FStep, false, Expected(), attempt + " (too quick)"};
        FStillSinceMs = s.ms;
        return report;
    }
    FFullLevel = FStillLevel;
    return Finish(true, attempt);
}

std::optional<StepReport> StepGuide::StepRelease(const Sample& s) {
    const bool atFull = s.drive + FTimes.stillBand >= FFullLevel;
    const bool atRest = s.drive <= FRestLevel + FTimes.stillBand;
    if (atFull) {
        FMoving = false;
        FMoveStartMs = s.ms;  // the let-go starts from the last record at full
        FProgress = 0;
        return std::nullopt;
    }
    if (!FMoving && !atRest) FMoving = true;
    if (!FMoving) return std::nullopt;
    const int64_t letting = s.ms - FMoveStartMs;
    FProgress = std::min(1.0, static_cast<double>(letting) / static_cast<double>(FTimes.releaseMinMs));
    if (!atRest) return std::nullopt;
    FMoving = false;
    const std::string attempt = "let go from full in " + Seconds(letting);
    if (letting < FTimes.releaseMinMs) {
        FLastAttempt = attempt;
        FProgress = 0;
        return StepReport{FStep, false, Expected(), attempt + " (too quick: squeeze to full and let go again)"};
    }
    return Finish(true, attempt);
}

std::optional<StepReport> StepGuide::StepPresses(const Sample&) {
    const int presses = FCheck.Presses() - FPressesAtStart;
    FProgress = std::min(1.0, static_cast<double>(presses) / kPressesWanted);
    FLastAttempt = std::to_string(presses) + " press" + (presses == 1 ? "" : "es");
    if (presses >= kPressesWanted) return Finish(true, FLastAttempt);
    return std::nullopt;
}

} // namespace check
