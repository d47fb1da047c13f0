#include "CheckCommand.h"

#include <optional>
#include <vector>

#include "app/check/ThrottleCheck.h"
#include "app/session/SessionScan.h"

namespace check {


int RunCheckCommand(const std::filesystem::path& path, const CheckCommandOptions& options, std::string& out,
                    std::string& err) {
    ThrottleCheck all(options.thresholds);
    const std::optional<int> onlyCar = options.car;
    // The scanner parses on two threads and hands the rows over in order on this one, where the
    // check judges them as they come.
    const session::ScanResult scan = session::ScanSessionFile(path, [&](const session::ScannedRow& row) {
        if (row.kind != session::RowKind::Status || (onlyCar && row.car != *onlyCar)) return;
        all.Add({row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange});
    });
    if (scan.status != session::ScanStatus::Done) {
        err += "torvane-capture: " + scan.error + "\n";
        return 1;
    }
    const std::vector<CarResult> results = all.Results();
    if (options.car && results.empty()) {
        err += "torvane-capture: " + session::PathText(path) + ": car " + std::to_string(*options.car) +
               " has no status records\n";
        return 1;
    }
    out += CheckCsvHeader();
    for (const CarResult& r : results) out += CheckCsvRow(r);
    if (scan.skippedRows > 0) {
        err += "torvane-capture: " + session::PathText(path) + ": " + std::to_string(scan.skippedRows) +
               (scan.skippedRows == 1 ? " row could not be read and was" : " rows could not be read and were") +
               " left out" +
               (scan.unterminatedTail ? " (the last row is cut short: is the file still being written?)" : "") + "\n";
    }
    return 0;
}

} // namespace check
