#pragma once
// The throttle check's record of checks (checks.csv: "time,unit," then the columns of --check)
// read for a workbook: told from a session file by its header, its rows in the columns of its
// first header (a later program may add columns: a later header's new ones are put after them).
// The file holds one row per check a person made, so it is read whole. Plain C++.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/Time.h"

namespace workbook {

// The file's first line is the header of a record of checks. Only a regular file is looked at.
bool IsChecksFile(const std::filesystem::path& path);
bool IsChecksHeader(const std::vector<std::string>& names);

struct ChecksTable {
    std::vector<std::string> columns;            // the first header's, then any a later header adds
    std::vector<std::vector<std::string>> rows;  // each as long as columns, "" where a row has none
    uint64_t skippedRows = 0;                    // rows with more or fewer fields than their header
};

// The checks in the file, oldest first; only car's when car is set. False with the reason
// (naming the file) when it cannot be read or is not a record of checks.
bool ReadChecksFile(const std::filesystem::path& path, std::optional<int> car, ChecksTable& out, std::string& error);

// A check's time as kept: "2026-12-07T09:43:51+01:00", also with milliseconds, or with "Z" for
// UTC; hasOffset is false for a time without either (its offset is then not known).
bool ParseCheckTime(std::string_view text, record::Instant& out, bool& hasOffset);

// A figure written as a plain decimal ("-12", "41.5"): true, with its value.
bool PlainNumber(std::string_view text, double& value);

} // namespace workbook
