#pragma once
// A session file as a spreadsheet workbook, for people who read sessions in a spreadsheet
// program: sheet "Records" (one row per readable record, continued on "Records 2", ... past a
// sheet's last row), sheet "Summary" (the per-car figures of --summary) and sheet "Charts" (one
// line chart per car, drive and brake over a reduced set of points). Rows are streamed to the
// file as they are read, so memory stays flat however long the session. The workbook is written
// beside its destination under another name and renamed into place only once complete. Plain C++.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace workbook {

// The most data rows a sheet takes: its rows less the header.
constexpr uint64_t kRowsPerSheet = 1'048'575;

struct ExportOptions {
    uint64_t rowsPerSheet = kRowsPerSheet;  // smaller only in tests
    // Only records whose time (on the scanner's clock, UTC ms) lies in [fromMs, toMs]; whole when unset.
    std::optional<int64_t> fromMs, toMs;
    // Asked between blocks of rows; true stops the export (nothing is left at the destination).
    std::function<bool()> cancelled;
};

struct ExportResult {
    enum class Status { Done, Cancelled, Failed } status = Status::Failed;
    std::string error;           // Failed: why, for a person, naming the file
    uint64_t records = 0;        // rows written to the Records sheets
    uint64_t skippedRows = 0;    // rows of the session file that could not be read
    int recordSheets = 0;
};

// False in a build without the workbook library; then every export fails saying so.
bool WorkbookSupported();

ExportResult ExportSessionWorkbook(const std::filesystem::path& session, const std::filesystem::path& destination,
                                   const ExportOptions& options = {});

// torvane-capture --export-xlsx FILE OUT: a session, or the throttle check's checks.csv (told by its
// header, as a Checks sheet). 0, or 1 with the reason appended to err (one line). Skipped rows
// are reported on err as --summary reports them.
int RunExportCommand(const std::filesystem::path& source, const std::filesystem::path& destination, std::string& err);

} // namespace workbook
