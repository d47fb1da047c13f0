#pragma once
// A session file's rows read again whole, for the session window's table: the records around
// the cursor, with every column the file has. Plain C++.
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/recording/SessionCsv.h"
#include "app/session/SessionScan.h"

namespace session {

struct FullRow {
    ScannedRow values;                // as parsed (fileOffset and length set)
    std::vector<std::string> fields;  // every field of the row, in the file's order
    recording::ColumnPositions columns;
    // The field of a column, empty when the file has no such column.
    const std::string& Field(recording::Column c) const;
};

// Keeps the file open; one thread at a time.
class SessionRows {
public:
    // Opens the file and reads its header; Ok() tells whether that worked.
    explicit SessionRows(const std::filesystem::path& path);
    bool Ok() const { return FColumns.has_value(); }
    const std::string& Error() const { return FError; }

    // The row that starts at fileOffset (from RecordValues::fileOffset); nothing when it cannot be
    // read (the file changed since it was loaded).
    std::optional<FullRow> Read(uint64_t fileOffset);

private:
    std::ifstream FIn;
    std::optional<recording::ColumnPositions> FColumns;
    std::string FError;
};

// The capture table's six columns for a row, as the live table shows them: Car, Time
// (h:mm:ss.zzz, the record's local time, with timeSeparator), Last LB, Drive PWM, Brake PWM,
// Lane Change ("Yes"/"No"). A name row has only its time.
std::array<std::string, 6> CaptureTableCells(const ScannedRow& row, const std::string& timeSeparator);

} // namespace session
