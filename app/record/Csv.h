#pragma once
// The comma-separated text of the session file: fields quoted as spreadsheets write and read
// them (a quoted field may hold commas, doubled quotes and line breaks), and the texts that go
// into fields. Plain C++.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace record {

// One field, quoted when it holds a separator, a quote, a line break or edge spaces.
void AppendCsvField(std::string& out, std::string_view text);

// Text from the unit made safe for one field: control characters (C0, DEL, C1) and invalid
// UTF-8 become U+FFFD, so no row can be broken, and a leading character that a spreadsheet would
// take for a formula is preceded by an apostrophe. The bytes column keeps the original.
std::string SafeFieldText(std::string_view utf8);
// The inverse of the apostrophe guard: the text the unit sent.
std::string_view WithoutFormulaGuard(std::string_view field);

// "53 00 07": two hex digits per byte, spaces between, so that no spreadsheet and no CSV reader
// takes the bytes for a number.
std::string HexEncode(std::string_view bytes);
// Pairs of hex digits, each pair optionally followed by one space; false for any other text.
// out may be null to check only.
bool HexDecode(std::string_view hex, std::string* out);

// The field ends in a row's text (row without its line end): each field's raw text, quotes
// included. False when a quoted field is not closed or is followed by anything but a separator.
// A quote inside an unquoted field is taken as text.
struct RawField {
    std::string_view text;  // as written, quotes included
    bool quoted = false;
};
bool SplitRow(std::string_view row, std::vector<RawField>& fields);
// The same for a row known to hold no quote, where every comma ends a field: nearly every row the
// writer writes, split eight bytes at a time. Writes at most `capacity` fields and returns how
// many the row has.
size_t SplitUnquotedRow(std::string_view row, RawField* fields, size_t capacity);
// A quoted field's content: quotes removed and doubled quotes undone (into scratch, only when needed).
std::string_view QuotedFieldValue(const RawField& field, std::string& scratch);
// A field's content. Inline: nearly every field is unquoted, and this runs for every field read.
inline std::string_view FieldValue(const RawField& field, std::string& scratch) {
    return field.quoted ? QuotedFieldValue(field, scratch) : field.text;
}
// Every field's content, for a header row; nothing when the row cannot be split.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view row);

// Where the row that starts at `begin` ends: the line end that is not inside a quoted field.
// Returns the position of that '\n', or nullptr when the text up to `end` does not finish the
// row. A row needs no quote scan at all unless it holds a quote, which the writer's rows rarely do.
const char* FindRowEnd(const char* begin, const char* end);

} // namespace record
