#pragma once
// torvane-capture --check FILE [--car N]: the throttle check over a recorded session, without a
// window or a display. The records go through the same detectors as live ones; the released
// periods, sweeps and presses are found wherever they are in the file. Plain C++.
#include <filesystem>
#include <optional>
#include <string>

#include "app/check/Thresholds.h"

namespace check {

struct CheckCommandOptions {
    std::optional<int> car;  // only this car; all cars with status records otherwise
    Thresholds thresholds;
};

// Fills out with the CSV (header, one row per car in car order) and returns 0; for a file it
// cannot read, or a car it does not hold, fills err with the reason (one line, naming the file)
// and returns 1. Rows that could not be read are counted on err, the CSV unchanged.
int RunCheckCommand(const std::filesystem::path& path, const CheckCommandOptions& options, std::string& out,
                    std::string& err);

} // namespace check
