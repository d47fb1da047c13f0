#pragma once
// The session file's format: one CSV row per record, UTF-8, a header row first. Plain C++ so the
// writer thread, the replay tool and the tests share it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/DateTime.h"

namespace recording {

// The session file's columns: the one place that says which there are, what each is called in
// the header row and what it holds. The writer writes them in this order; readers find them by
// their header names (see FindColumns), so a later version may add or move columns and files
// written by this one keep opening.
enum Column : int {
    kTimeColumn,
    kRecordColumn,
    kKindColumn,
    kCarColumn,
    kLastLbColumn,
    kLastLbTextColumn,
    kDrivePwmColumn,
    kBrakePwmColumn,
    kLaneChangeColumn,
    kUnitIdColumn,
    kUnitNameColumn,
    kBytesHexColumn,
    kColumnCount
};

struct ColumnInfo {
    Column column;
    std::string_view name;     // in the header row
    bool required;             // a file without it is not read as a session
    std::string_view meaning;  // one line, for the manual and the help
};
// Every column, in file order (Columns()[c].column == c).
const std::array<ColumnInfo, kColumnCount>& Columns();
inline std::string_view ColumnName(Column c) { return Columns()[static_cast<size_t>(c)].name; }

// The header row, with its line end: the column names in file order.
const std::string& HeaderRow();

// Where each column is in a file, found from its header row (the fields of the first line).
struct ColumnPositions {
    std::array<int, kColumnCount> index{};  // the field's position, or -1 when the file has none
    int fieldCount = 0;                     // fields in the header, unknown columns included
    bool Has(Column c) const { return index[static_cast<size_t>(c)] >= 0; }
    int operator[](Column c) const { return index[static_cast<size_t>(c)]; }
};
// Reads a header row's fields. Unknown names are passed over; for a name given twice the first
// counts. Fails with the name of the first required column missing, as "missing column 'car'".
struct HeaderReading {
    std::optional<ColumnPositions> positions;
    std::string error;
};
HeaderReading FindColumns(const std::vector<std::string>& headerFields);

// The unit as last named by a name record.
struct UnitIdentity {
    bool known = false;
    uint8_t id = 0;
    std::string nameUtf8;
};

// A record as the session file keeps it.
struct RecordRow {
    enum class Kind : uint8_t { Status, Name };
    Kind kind = Kind::Status;
    toolkit::TDateTime time = 0.0;  // local
    uint64_t number = 0;            // within the session, from 1
    uint8_t car = 0;
    uint8_t lastLb = 0;
    uint8_t drivePwm = 0;
    uint8_t brakePwm = 0;
    bool laneChange = false;
    std::string bytes;     // the record, unescaped, without its line end
    std::string nameUtf8;  // name records: the name as the window shows it
};

// The unit's two columns ("5,SIM-UNIT"; empty when no name record has been seen), made once
// per name record rather than once per row.
std::string UnitFields(const UnitIdentity& unit);
// Appends one row, with its line end. utcOffsetMinutes is the local time's offset from UTC.
void AppendRow(std::string& out, const RecordRow& row, std::string_view unitFields, int utcOffsetMinutes);

// "2026-12-07T09:43:51.123+01:00": the local time t with milliseconds and its UTC offset.
std::string IsoLocalTime(toolkit::TDateTime t, int utcOffsetMinutes);
// The inverse, as milliseconds since 1970-01-01 UTC; nothing for a malformed text.
std::optional<int64_t> ParseIsoTime(std::string_view text);

// A broken-down local date-time from a date-time value, milliseconds rounded.
struct CivilTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
CivilTime ToCivil(toolkit::TDateTime t);
// Days from 1 January 1970 to this date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int year, int month, int day);

// One field, quoted when it holds a separator, a quote or edge spaces.
void AppendCsvField(std::string& out, std::string_view text);
// Text from the unit made safe for one field: control characters (C0, DEL, C1) and invalid
// UTF-8 become U+FFFD, so no row can be broken, and a leading character that a spreadsheet
// would take for a formula is preceded by an apostrophe. The bytes column keeps the original.
std::string SafeFieldText(std::string_view utf8);

// "53 00 07": two hex digits per byte, spaces between, so that no spreadsheet and no CSV reader
// takes the bytes for a number.
std::string HexEncode(std::string_view bytes);
// Pairs of hex digits, each pair optionally followed by one space; nothing for any other text.
std::optional<std::string> HexDecode(std::string_view hex);

// Splits one CSV line (no line end) into fields; nothing when a quoted field is not closed.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line);

} // namespace recording
