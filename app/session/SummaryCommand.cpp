#include "SummaryCommand.h"

#include <string>

#include "app/session/SessionScan.h"
#include "app/chart/Summary.h"

namespace session {

int RunSummaryCommand(const std::filesystem::path& path, std::FILE* out, std::FILE* err) {
    chart::SummaryAccumulator summary;
    const ScanResult scan = ScanSessionFile(path, [&](const ScannedRow& row) {
        if (row.kind == RowKind::Status) summary.Add(row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange);
    });
    if (scan.status != ScanStatus::Done) {
        std::fprintf(err, "torvane-capture: %s\n", scan.error.c_str());
        return 1;
    }
    const std::string csv = chart::SummaryCsv(summary.Result());
    if (std::fwrite(csv.data(), 1, csv.size(), out) != csv.size() || std::fflush(out) != 0) {
        std::fprintf(err, "torvane-capture: the summary could not be written to standard output\n");
        return 1;
    }
    if (scan.skippedRows > 0) {
        std::fprintf(err, "torvane-capture: %s: %llu row%s could not be read and %s left out%s\n",
                     PathText(path).c_str(), static_cast<unsigned long long>(scan.skippedRows),
                     scan.skippedRows == 1 ? "" : "s", scan.skippedRows == 1 ? "was" : "were",
                     scan.unterminatedTail ? " (the last row is cut short: is the file still being written?)" : "");
    }
    return 0;
}

} // namespace session
