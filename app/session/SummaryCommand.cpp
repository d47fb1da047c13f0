#include "SummaryCommand.h"

#include <string>

#include "app/session/SessionScan.h"
#include "app/chart/Summary.h"

namespace session {

int RunSummaryCommand(const std::filesystem::path& path, std::string& out, std::string& err) {
    chart::SummaryAccumulator summary;
    const ScanResult scan = ScanSessionFile(path, [&](const ScannedRow& row) {
        if (row.kind == RowKind::Status) summary.Add(row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange);
    });
    if (scan.status != ScanStatus::Done) {
        err += "torvane-capture: " + scan.error + "\n";
        return 1;
    }
    out += chart::SummaryCsv(summary.Result());
    if (scan.skippedRows > 0) {
        err += "torvane-capture: " + PathText(path) + ": " + std::to_string(scan.skippedRows) +
               (scan.skippedRows == 1 ? " row could not be read and was left out" : " rows could not be read and were left out") +
               (scan.unterminatedTail ? " (the last row is cut short: is the file still being written?)" : "") + "\n";
    }
    return 0;
}

} // namespace session
