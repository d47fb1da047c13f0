#include "Columns.h"

#include <cstring>

#include "app/record/TableText.h"

namespace record {

namespace {

void AppendNumber(std::string& out, uint64_t v) {
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) out += buf[--n];
}

// Decimal digits only, at most maxValue.
template <typename T>
bool ParseUnsigned(std::string_view text, uint64_t maxValue, T& out) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    if (text.size() < 20) {
        // 19 digits always fit: no overflow to watch for (the usual few digits of a row).
        for (char c : text) {
            const auto digit = static_cast<unsigned char>(c - '0');
            if (digit >= 10) return false;
            v = v * 10 + digit;
        }
    } else {
        for (char c : text) {
            const auto digit = static_cast<unsigned char>(c - '0');
            if (digit >= 10) return false;
            const uint64_t next = v * 10 + digit;
            if (next / 10 != v) return false;
            v = next;
        }
    }
    if (v > maxValue) return false;
    out = static_cast<T>(v);
    return true;
}

bool IsStatus(const Record& r) { return r.kind == Kind::Status; }

// A status record's byte-sized value; a name record leaves the field empty.
template <uint8_t Record::*Field>
void WriteStatusByte(std::string& out, const Record& r) {
    if (IsStatus(r)) AppendNumber(out, r.*Field);
}
template <uint8_t Record::*Field>
bool ParseStatusByte(std::string_view v, Record& r, Texts) {
    if (!IsStatus(r)) return v.empty();
    return ParseUnsigned(v, 255, r.*Field);
}

constexpr std::array<ColumnInfo, kColumnCount> kColumns{{
    {kTimeColumn, "time", true, "local date and time the record was handled, with milliseconds and UTC offset",
     [](std::string& out, const Record& r) { AppendIsoText(out, r.time); },
     [](std::string_view v, Record& r, Texts) { return ParseIsoText(v, r.time); }, "a time"},
    {kRecordColumn, "record", true, "the record's number within the session, from 1",
     [](std::string& out, const Record& r) { AppendNumber(out, r.number); },
     [](std::string_view v, Record& r, Texts) { return ParseUnsigned(v, UINT64_MAX, r.number); }, "a number"},
    {kKindColumn, "kind", true, "status or name",
     [](std::string& out, const Record& r) { out += IsStatus(r) ? "status" : "name"; },
     [](std::string_view v, Record& r, Texts) {
         if (v == "status") r.kind = Kind::Status;
         else if (v == "name") r.kind = Kind::Name;
         else return false;
         return true;
     },
     "status or name"},
    {kCarColumn, "car", true, "status: car number, 0 to 255", WriteStatusByte<&Record::car>,
     ParseStatusByte<&Record::car>, "a number from 0 to 255"},
    {kLastLbColumn, "last_lb", true, "status: the last-LB byte, 0 to 255", WriteStatusByte<&Record::lastLb>,
     ParseStatusByte<&Record::lastLb>, "a number from 0 to 255"},
    // Made from last_lb for a person reading the file; a reader goes by last_lb.
    {kLastLbTextColumn, "last_lb_text", false, "status: the last-LB byte as the table shows it",
     [](std::string& out, const Record& r) {
         if (IsStatus(r)) AppendLastLbText(out, r.lastLb);
     },
     [](std::string_view, Record&, Texts) { return true; }, "text"},
    {kDrivePwmColumn, "drive_pwm", true, "status: drive PWM, 0 to 255", WriteStatusByte<&Record::drivePwm>,
     ParseStatusByte<&Record::drivePwm>, "a number from 0 to 255"},
    {kBrakePwmColumn, "brake_pwm", true, "status: brake PWM, 0 to 255", WriteStatusByte<&Record::brakePwm>,
     ParseStatusByte<&Record::brakePwm>, "a number from 0 to 255"},
    {kLaneChangeColumn, "lane_change", true, "status: 1 when lane change is pressed, else 0",
     [](std::string& out, const Record& r) {
         if (IsStatus(r)) out += r.laneChange ? '1' : '0';
     },
     [](std::string_view v, Record& r, Texts) {
         if (!IsStatus(r)) return v.empty();
         if (v != "0" && v != "1") return false;
         r.laneChange = v[0] == '1';
         return true;
     },
     "a number from 0 to 1"},
    {kUnitIdColumn, "unit_id", false, "the unit's identifier as last named, empty before any name record",
     [](std::string& out, const Record& r) {
         if (r.unitId >= 0) AppendNumber(out, static_cast<uint64_t>(r.unitId));
     },
     [](std::string_view v, Record& r, Texts) {
         r.unitId = -1;
         return v.empty() || ParseUnsigned(v, 255, r.unitId);
     },
     "empty or a number from 0 to 255"},
    {kUnitNameColumn, "unit_name", false, "the unit's name as last named, empty before any name record",
     [](std::string& out, const Record& r) {
         if (r.unitId >= 0) AppendCsvField(out, SafeFieldText(r.unitName));
     },
     [](std::string_view v, Record& r, Texts texts) {
         if (texts == Texts::Read) r.unitName.assign(WithoutFormulaGuard(v));
         return true;
     },
     "text"},
    {kBytesHexColumn, "bytes_hex", false, "the whole record as received, unescaped, in hex",
     [](std::string& out, const Record& r) { out += HexEncode(r.bytes); },
     [](std::string_view v, Record& r, Texts texts) {
         return !v.empty() && HexDecode(v, texts == Texts::Read ? &r.bytes : nullptr);
     },
     "pairs of hex digits"},
}};

// A field shown in a reason: short, and without what would garble a terminal.
std::string Shown(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 24)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return text.size() > 24 ? out + "..." : out;
}

// Every column but the kind (read first) in table order, each by a direct call the compiler can
// inline rather than through the table's pointer: rows come by the million. False with the
// column that could not be read.
template <size_t I = 0, typename Value>
bool ParseColumns(const ColumnPositions& positions, const Value& value, Record& r, Texts texts, Column& failed) {
    if constexpr (I == kColumnCount) {
        return true;
    } else {
        constexpr ColumnInfo c = kColumns[I];
        if (c.column != kKindColumn && positions.Has(c.column) && !c.parse(value(c.column), r, texts)) {
            failed = c.column;
            return false;
        }
        return ParseColumns<I + 1>(positions, value, r, texts, failed);
    }
}

} // namespace

const std::array<ColumnInfo, kColumnCount>& Columns() { return kColumns; }

const std::string& HeaderRow() {
    static const std::string header = [] {
        std::string h;
        for (const ColumnInfo& c : kColumns) {
            if (!h.empty()) h += ',';
            h += c.name;
        }
        return h + '\n';
    }();
    return header;
}

void AppendRow(std::string& out, const Record& r) {
    for (const ColumnInfo& c : kColumns) {
        if (c.column != 0) out += ',';
        c.write(out, r);
    }
    out += '\n';
}

const ColumnPositions& ColumnPositions::Written() {
    static const ColumnPositions positions = [] {
        ColumnPositions p;
        for (const ColumnInfo& c : kColumns) p.index[static_cast<size_t>(c.column)] = c.column;
        p.fieldCount = kColumnCount;
        return p;
    }();
    return positions;
}

HeaderReading FindColumns(const std::vector<std::string>& headerFields) {
    ColumnPositions positions;
    positions.index.fill(-1);
    positions.fieldCount = static_cast<int>(headerFields.size());
    for (size_t f = 0; f < headerFields.size(); ++f) {
        for (const ColumnInfo& c : kColumns) {
            if (headerFields[f] == c.name && positions.index[static_cast<size_t>(c.column)] < 0) {
                positions.index[static_cast<size_t>(c.column)] = static_cast<int>(f);
            }
        }
    }
    for (const ColumnInfo& c : kColumns) {
        if (c.required && !positions.Has(c.column)) {
            return {std::nullopt, "missing column '" + std::string(c.name) + "'"};
        }
    }
    return {positions, {}};
}

HeaderReading ReadHeaderRow(std::string_view line) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto fields = SplitCsvLine(line);
    if (!fields) return {std::nullopt, "its first row is not a header row"};
    auto found = FindColumns(*fields);
    if (found.positions && found.positions->fieldCount > 1024) return {std::nullopt, "its header row has too many columns"};
    return found;
}

RowParser::RowParser(const ColumnPositions& columns) : FColumns(columns) {
    FFields.reserve(static_cast<size_t>(columns.fieldCount) + 1);
}

bool RowParser::Parse(std::string_view row, Record& r, Texts texts, std::string* why) {
    const auto refuse = [&](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (row.size() > kMaxRowBytes) return refuse("longer than " + std::to_string(kMaxRowBytes) + " bytes");
    if (std::memchr(row.data(), '\0', row.size()) != nullptr) return refuse("it holds a NUL byte");
    size_t fields = 0;
    if (std::memchr(row.data(), '"', row.size()) == nullptr) {
        FFields.resize(static_cast<size_t>(FColumns.fieldCount));
        fields = SplitUnquotedRow(row, FFields.data(), FFields.size());
    } else {
        if (!SplitRow(row, FFields)) return refuse("a quoted field is not closed");
        fields = FFields.size();
    }
    if (fields != static_cast<size_t>(FColumns.fieldCount)) {
        return refuse(std::to_string(fields) + " fields, not " + std::to_string(FColumns.fieldCount));
    }
    r.number = 0;
    r.time = {};
    r.car = r.lastLb = r.drivePwm = r.brakePwm = 0;
    r.laneChange = false;
    r.unitId = -1;
    r.unitName.clear();
    r.bytes.clear();
    // The kind first: what the other columns may hold depends on it.
    const auto value = [&](Column c) { return FieldValue(FFields[static_cast<size_t>(FColumns[c])], FScratch); };
    constexpr auto parseKind = kColumns[kKindColumn].parse;
    if (!parseKind(value(kKindColumn), r, texts)) {
        return refuse("kind '" + Shown(value(kKindColumn)) + "' is neither status nor name");
    }
    Column failed = kKindColumn;
    if (!ParseColumns(FColumns, value, r, texts, failed)) {
        const ColumnInfo& c = kColumns[static_cast<size_t>(failed)];
        const std::string_view v = value(c.column);
        const bool nameRowValue = r.kind == Kind::Name && c.column >= kCarColumn && c.column <= kLaneChangeColumn;
        return refuse(std::string(c.name) + " '" + Shown(v) + "' is not " +
                      (nameRowValue ? std::string("empty in a name row") : std::string(c.expects)));
    }
    return true;
}

RowCut CutRow(const char* begin, const char* end, bool atEnd, RowParser& parser, Record& r, Texts texts,
              std::string* why) {
    RowCut cut;
    const size_t size = static_cast<size_t>(end - begin);
    const auto* firstLineEnd = static_cast<const char*>(std::memchr(begin, '\n', size));
    // Most rows hold no quote at all: then the row ends at its first line end.
    const char* rowEnd = firstLineEnd == nullptr ? nullptr
                         : std::memchr(begin, '"', static_cast<size_t>(firstLineEnd - begin)) == nullptr
                             ? firstLineEnd
                             : FindRowEnd(begin, end);
    if (rowEnd != nullptr && static_cast<size_t>(rowEnd - begin) > kMaxRowBytes && rowEnd != firstLineEnd) rowEnd = nullptr;
    if (rowEnd == nullptr) {
        const bool givenUp = atEnd || size > kMaxRowBytes;
        if (firstLineEnd == nullptr) {
            if (!atEnd) return cut;  // NeedMore (the caller bounds a line that never ends)
            cut.status = RowCut::Status::Unreadable;
            cut.text = std::string_view(begin, size);
            cut.next = size;
            // Cut short (or still being written): not read, but said why as plainly as can be.
            if (why && parser.Parse(cut.text, r, texts, why)) *why = "the last row has no line end";
            return cut;
        }
        if (!givenUp) return cut;
        rowEnd = firstLineEnd;  // an unclosed quote: the row is its first line
    }
    cut.text = std::string_view(begin, static_cast<size_t>(rowEnd - begin));
    cut.next = cut.text.size() + 1;
    if (cut.text.empty() || cut.text == "\r") {
        cut.status = RowCut::Status::Blank;
        return cut;
    }
    if (parser.Parse(cut.text, r, texts, why)) {
        cut.status = RowCut::Status::Row;
        return cut;
    }
    cut.status = RowCut::Status::Unreadable;
    if (rowEnd != firstLineEnd) {
        cut.text = std::string_view(begin, static_cast<size_t>(firstLineEnd - begin));
        cut.next = cut.text.size() + 1;
        if (why) *why = "a quoted field runs over the line end, and the row cannot be read";
    }
    return cut;
}

} // namespace record
