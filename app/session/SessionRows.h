#pragma once
// A session file's rows read again whole, each from where the scanner found it: every column the
// file has, the unit's name and the bytes included. Plain C++.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/record/Columns.h"
#include "app/session/SessionScan.h"

namespace session {

struct FullRow {
    ScannedRow values;                // as parsed, texts included (fileOffset and length set)
    std::vector<std::string> fields;  // every field of the row, in the file's order
    record::ColumnPositions columns;
    // The field of a column, empty when the file has no such column.
    const std::string& Field(record::Column c) const;
};

// Keeps the file open; one thread at a time.
class SessionRows {
public:
    // Opens the file and reads its header; Ok() tells whether that worked.
    explicit SessionRows(const std::filesystem::path& path);
    bool Ok() const { return FParser.has_value(); }
    const std::string& Error() const { return FError; }

    // The row that starts at fileOffset (from ScannedRow::fileOffset); nothing when it cannot be
    // read (the file changed since it was scanned).
    std::optional<FullRow> Read(uint64_t fileOffset);

private:
    std::ifstream FIn;
    std::optional<record::RowParser> FParser;
    std::string FError;
};

} // namespace session
