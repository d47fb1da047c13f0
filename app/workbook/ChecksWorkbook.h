#pragma once
// The throttle check's record of checks (checks.csv) as a workbook: one sheet "Checks", a row per
// check in the file's columns, its time as a spreadsheet date-time in the local time it was made
// (the UTC offset beside it), the figures as numbers, the texts as text, the header row frozen
// and an autofilter. Written beside the destination and renamed into place once whole. Plain C++.
#include <filesystem>
#include <optional>

#include "app/workbook/WorkbookExport.h"

namespace workbook {

struct ChecksExportOptions {
    std::optional<int> car;  // only this car's checks; all when unset
};

// records: the checks written; skippedRows: rows of the file that could not be read. A car with
// no check in the file fails, saying so.
ExportResult ExportChecksWorkbook(const std::filesystem::path& checks, const std::filesystem::path& destination,
                                  const ChecksExportOptions& options = {});

} // namespace workbook
