#pragma once
// The session file's columns: the one table that says which there are, what each is called in
// the header row, whether a file must have it, how a record's value is written into it and how
// it is read back. It makes the header row, every row the writer writes and the one row parser
// every reader uses, so all of them accept exactly the same rows. Readers find columns by their
// header names, so a later version may add or move columns and files written by this one keep
// opening. Plain C++.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/Csv.h"
#include "app/record/Record.h"

namespace record {

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

// What a parser fills in beyond the values every reader needs: the unit's name and the bytes
// cost a copy, so only those who use them ask for them. Every row is checked in full either way.
enum class Texts : uint8_t { Skip, Read };

struct ColumnInfo {
    Column column;
    std::string_view name;     // in the header row
    bool required;             // a file without it is not read as a session
    std::string_view meaning;  // one line, for the manual and the help
    // Appends the record's field (CSV-quoted where needed).
    void (*write)(std::string& out, const Record& r);
    // Reads the field's content into r (r.kind is already known); false when it does not fit.
    // The reason a person is given is "<name> '<content>' is not <expects>".
    bool (*parse)(std::string_view value, Record& r, Texts texts);
    std::string_view expects;  // for the reason; may depend on the kind, see ExpectedText
};
// Every column, in file order (Columns()[c].column == c).
const std::array<ColumnInfo, kColumnCount>& Columns();
inline std::string_view ColumnName(Column c) { return Columns()[static_cast<size_t>(c)].name; }

// The header row, with its line end: the column names in file order.
const std::string& HeaderRow();
// One row for the record, with its line end.
void AppendRow(std::string& out, const Record& r);

// Where each column is in a file, found from its header row.
struct ColumnPositions {
    std::array<int, kColumnCount> index{};  // the field's position, or -1 when the file has none
    int fieldCount = 0;                     // fields in the header, unknown columns included
    bool Has(Column c) const { return index[static_cast<size_t>(c)] >= 0; }
    int operator[](Column c) const { return index[static_cast<size_t>(c)]; }
    // The columns where this version writes them.
    static const ColumnPositions& Written();
};
// Reads a header row's fields. Unknown names are passed over; for a name given twice the first
// counts. Fails with the name of the first required column missing, as "missing column 'car'".
struct HeaderReading {
    std::optional<ColumnPositions> positions;
    std::string error;
};
HeaderReading FindColumns(const std::vector<std::string>& headerFields);
// A header row's text (no line end; a carriage return and a leading byte-order mark allowed).
HeaderReading ReadHeaderRow(std::string_view line);

// No session row is longer (the writer's longest is a few hundred bytes); a longer one is not
// read, which bounds what one bad row costs.
constexpr size_t kMaxRowBytes = 64 * 1024;

// The one row parser. Keeps its scratch space between rows; one thread at a time.
class RowParser {
public:
    explicit RowParser(const ColumnPositions& columns = ColumnPositions::Written());
    const ColumnPositions& Positions() const { return FColumns; }

    // Reads one row (its text without the line end; a carriage return before it allowed) into r.
    // False when the row is not a readable session row; then `why` (may be null) says why.
    bool Parse(std::string_view row, Record& r, Texts texts = Texts::Skip, std::string* why = nullptr);

private:
    ColumnPositions FColumns;
    std::vector<RawField> FFields;
    std::string FScratch;
};

// Rows are cut off the text of a file by one rule, so that every reader sees the same rows: a row
// ends at the first line end outside a quoted field. A row whose quoted field runs over a line end
// but which cannot be read (a stray quote), or which would grow beyond kMaxRowBytes, is instead
// its first line alone, so that a damaged row costs that line and not the rows after it.
struct RowCut {
    enum class Status : uint8_t {
        Row,         // a readable row, parsed into the record
        Unreadable,  // a row that cannot be read (`why` says why when asked)
        Blank,       // an empty line, which holds no row
        NeedMore,    // the text ends before the row does: call again with more
    };
    Status status = Status::NeedMore;
    std::string_view text;  // the row, without its line end
    size_t next = 0;        // where the next row starts, from `text`'s start
};
// Takes the next row off [begin, end). atEnd: no more text follows (a last row without its line
// end is then Unreadable: still being written, or cut short).
RowCut CutRow(const char* begin, const char* end, bool atEnd, RowParser& parser, Record& r, Texts texts = Texts::Skip,
              std::string* why = nullptr);

} // namespace record
