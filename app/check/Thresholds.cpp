#include "Thresholds.h"

#include <charconv>

namespace check {

namespace {
// Each row: the key, the range a value must lie in, and the member it reads and writes.
#define TORVANE_THRESHOLD(key, low, high, member)                                                       \
    ThresholdSetting {                                                                                  \
        key, low, high, [](const Thresholds& t) { return static_cast<int64_t>(t.member); },            \
            [](Thresholds& t, int64_t v) { t.member = static_cast<decltype(t.member)>(v); }             \
    }
const std::vector<ThresholdSetting> kSettings = {
    TORVANE_THRESHOLD("Check/RestDriveMax", 0, 254, restDriveMax),
    TORVANE_THRESHOLD("Check/RestHoldMs", 100, 10000, restHoldMs),
    TORVANE_THRESHOLD("Check/FullDriveMin", 1, 255, fullDriveMin),
    TORVANE_THRESHOLD("Check/FullHoldMs", 100, 10000, fullHoldMs),
    TORVANE_THRESHOLD("Check/SweepReachPercent", 50, 100, sweepReachPercent),
    TORVANE_THRESHOLD("Check/SweepMinMs", 100, 60000, sweepMinMs),
    TORVANE_THRESHOLD("Check/DeadStepMin", 2, 255, deadStepMin),
    TORVANE_THRESHOLD("Check/DeadStepMedianFactor", 1, 255, deadStepMedianFactor),
    TORVANE_THRESHOLD("Check/MovesAgainstMax", 0, 10000, movesAgainstMax),
    TORVANE_THRESHOLD("Check/MoveAgainstMin", 1, 255, moveAgainstMin),
    TORVANE_THRESHOLD("Check/FullSpreadMax", 0, 255, fullSpreadMax),
    TORVANE_THRESHOLD("Check/BounceMs", 1, 1000, bounceMs),
    TORVANE_THRESHOLD("Check/StuckMs", 100, 60000, stuckMs),
    TORVANE_THRESHOLD("Check/RecordsPerSecondMin", 1, 10000, recordsPerSecondMin),
};
#undef TORVANE_THRESHOLD
} // namespace

const std::vector<ThresholdSetting>& ThresholdSettings() { return kSettings; }

std::optional<std::string> ApplyThresholdSetting(Thresholds& thresholds, std::string_view key, std::string_view text) {
    for (const ThresholdSetting& s : kSettings) {
        if (s.key != key) continue;
        std::string_view digits = text;
        while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
        while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
        int64_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < s.low ||
            value > s.high) {
            return std::string(key) + ": '" + std::string(text) + "' is not a whole number from " +
                   std::to_string(s.low) + " to " + std::to_string(s.high) + "; " +
                   std::to_string(s.get(thresholds)) + " is used";
        }
        s.set(thresholds, value);
        return std::nullopt;
    }
    return std::string(key) + ": not a threshold of the throttle check; left alone";
}

} // namespace check
