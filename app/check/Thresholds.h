#pragma once
// What the throttle check calls a fault, in one place. The defaults are what a bench user
// expects of a sound throttle; each can be changed in the settings file under its key.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct Thresholds {
    // creep: the drive at rest (the lowest drive held for restHoldMs) above this.
    int restDriveMax = 0;
    int64_t restHoldMs = 1000;
    // short_range: the highest drive held for fullHoldMs below this.
    int fullDriveMin = 250;
    int64_t fullHoldMs = 500;
    // A sweep: a rise from rest to at least sweepReachPercent of the highest drive, or the fall
    // back, lasting at least sweepMinMs.
    int sweepReachPercent = 90;
    int64_t sweepMinMs = 1000;
    // dead_spot: in a sweep, one step between consecutive records of at least deadStepMin and at
    // least deadStepMedianFactor times the sweep's median step.
    int deadStepMin = 20;
    int deadStepMedianFactor = 4;
    // jitter: in a sweep, more than movesAgainstMax moves of at least moveAgainstMin against its
    // direction; or, held at full, a spread above fullSpreadMax.
    int movesAgainstMax = 3;
    int moveAgainstMin = 3;
    int fullSpreadMax = 2;
    // bounce: a press released and pressed again within bounceMs; stuck: held over stuckMs.
    int64_t bounceMs = 60;
    int64_t stuckMs = 2000;
    // too_few_records: under this many records a second for the car (or fewer records in all).
    int recordsPerSecondMin = 20;
};

// One adjustable threshold: its key in the settings file and the values it may take.
struct ThresholdSetting {
    std::string_view key;
    int64_t low;
    int64_t high;
    int64_t (*get)(const Thresholds&);
    void (*set)(Thresholds&, int64_t);
};
const std::vector<ThresholdSetting>& ThresholdSettings();

// Takes `text` as the value of the threshold named `key`. A key that is not a threshold, or a
// value that is not a whole number within its range, leaves the thresholds as they were and gives
// the notice to show ("Check/StuckMs: 'abc' is not a whole number from 100 to 60000; 2000 is used").
std::optional<std::string> ApplyThresholdSetting(Thresholds& thresholds, std::string_view key, std::string_view text);

} // namespace check
