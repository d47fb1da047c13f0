#include "SessionCsv.h"

#include <cmath>

namespace recording {

namespace {
constexpr int64_t kMsPerDay = 86400000;
// Days from 30 December 1899 to 1 January 1970.
constexpr int64_t kUnixEpochInDays = 25569;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Howard Hinnant's civil-from-days and days-from-civil (days relative to 1970-01-01).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
}


void AppendDigits(std::string& out, int value, int width) {
    char buf[12];
    int n = 0;
    unsigned v = static_cast<unsigned>(value < 0 ? -value : value);
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width) buf[n++] = '0';
    while (n > 0) out += buf[--n];
}

void AppendNumber(std::string& out, uint64_t v) {
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) out += buf[--n];
}

// The "Last LB" text as the table shows it.
void AppendLastLbText(std::string& out, uint8_t b) {
    if (b == 0x6F) {
        out += "no LB yet";
        return;
    }
    const int number = b & 0x1F;
    AppendNumber(out, static_cast<uint64_t>(number));
    if (number != 0) out += (b & 0x20) ? " R" : " L";
    if (b & 0x80) out += '*';
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return 0;
    }
    if (len == 2 && b0 < 0xC2) return 0;  // overlong
    return len;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int> ReadNumber(std::string_view text, size_t& pos, size_t digits) {
    if (pos + digits > text.size()) return std::nullopt;
    int v = 0;
    for (size_t k = 0; k < digits; ++k) {
        if (!IsDigit(text[pos + k])) return std::nullopt;
        v = v * 10 + (text[pos + k] - '0');
    }
    pos += digits;
    return v;
}

bool Expect(std::string_view text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}
} // namespace

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const auto doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

const std::array<ColumnInfo, kColumnCount>& Columns() {
    static const std::array<ColumnInfo, kColumnCount> columns{{
        {kTimeColumn, "time", true, "local date and time the record was handled, with milliseconds and UTC offset"},
        {kRecordColumn, "record", true, "the record's number within the session, from 1"},
        {kKindColumn, "kind", true, "status or name"},
        {kCarColumn, "car", true, "status: car number, 0 to 255"},
        {kLastLbColumn, "last_lb", true, "status: the last-LB byte, 0 to 255"},
        {kLastLbTextColumn, "last_lb_text", false, "status: the last-LB byte as the table shows it"},
        {kDrivePwmColumn, "drive_pwm", true, "status: drive PWM, 0 to 255"},
        {kBrakePwmColumn, "brake_pwm", true, "status: brake PWM, 0 to 255"},
        {kLaneChangeColumn, "lane_change", true, "status: 1 when lane change is pressed, else 0"},
        {kUnitIdColumn, "unit_id", false, "the unit's identifier as last named, empty before any name record"},
        {kUnitNameColumn, "unit_name", false, "the unit's name as last named, empty before any name record"},
        {kBytesHexColumn, "bytes_hex", false, "the whole record as received, unescaped, in hex"},
    }};
    return columns;
}

const std::string& HeaderRow() {
    static const std::string header = [] {
        std::string h;
        for (const ColumnInfo& c : Columns()) {
            if (!h.empty()) h += ',';
            h += c.name;
        }
        return h + '\n';
    }();
    return header;
}

HeaderReading FindColumns(const std::vector<std::string>& headerFields) {
    ColumnPositions positions;
    positions.index.fill(-1);
    positions.fieldCount = static_cast<int>(headerFields.size());
    for (size_t f = 0; f < headerFields.size(); ++f) {
        for (const ColumnInfo& c : Columns()) {
            if (headerFields[f] == c.name && positions.index[static_cast<size_t>(c.column)] < 0) {
                positions.index[static_cast<size_t>(c.column)] = static_cast<int>(f);
            }
        }
    }
    for (const ColumnInfo& c : Columns()) {
        if (c.required && !positions.Has(c.column)) {
            return {std::nullopt, "missing column '" + std::string(c.name) + "'"};
        }
    }
    return {positions, {}};
}

CivilTime ToCivil(toolkit::TDateTime t) {
    const double dayPart = std::floor(t);
    int64_t days = static_cast<int64_t>(dayPart);
    int64_t ms = std::llround((t - dayPart) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {  // rounded up to the next midnight
        ms -= kMsPerDay;
        ++days;
    }
    CivilTime c;
    CivilFromDays(days - kUnixEpochInDays, c.year, c.month, c.day);
    c.hour = static_cast<int>(ms / 3600000);
    c.minute = static_cast<int>(ms / 60000 % 60);
    c.second = static_cast<int>(ms / 1000 % 60);
    c.millisecond = static_cast<int>(ms % 1000);
    return c;
}

std::string IsoLocalTime(toolkit::TDateTime t, int utcOffsetMinutes) {
    const CivilTime c = ToCivil(t);
    std::string out;
    out.reserve(29);
    AppendDigits(out, c.year, 4);
    out += '-';
    AppendDigits(out, c.month, 2);
    out += '-';
    AppendDigits(out, c.day, 2);
    out += 'T';
    AppendDigits(out, c.hour, 2);
    out += ':';
    AppendDigits(out, c.minute, 2);
    out += ':';
    AppendDigits(out, c.second, 2);
    out += '.';
    AppendDigits(out, c.millisecond, 3);
    out += utcOffsetMinutes < 0 ? '-' : '+';
    const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    AppendDigits(out, offset / 60, 2);
    out += ':';
    AppendDigits(out, offset % 60, 2);
    return out;
}

std::optional<int64_t> ParseIsoTime(std::string_view text) {
    size_t pos = 0;
    const auto year = ReadNumber(text, pos, 4);
    if (!year || !Expect(text, pos, '-')) return std::nullopt;
    const auto month = ReadNumber(text, pos, 2);
    if (!month || !Expect(text, pos, '-')) return std::nullopt;
    const auto day = ReadNumber(text, pos, 2);
    if (!day || !Expect(text, pos, 'T')) return std::nullopt;
    const auto hour = ReadNumber(text, pos, 2);
    if (!hour || !Expect(text, pos, ':')) return std::nullopt;
    const auto minute = ReadNumber(text, pos, 2);
    if (!minute || !Expect(text, pos, ':')) return std::nullopt;
    const auto second = ReadNumber(text, pos, 2);
    if (!second || !Expect(text, pos, '.')) return std::nullopt;
    const auto milli = ReadNumber(text, pos, 3);
    if (!milli || pos >= text.size()) return std::nullopt;
    const char sign = text[pos++];
    int offset = 0;
    if (sign == 'Z') {
        offset = 0;
    } else if (sign == '+' || sign == '-') {
        const auto oh = ReadNumber(text, pos, 2);
        if (!oh || !Expect(text, pos, ':')) return std::nullopt;
        const auto om = ReadNumber(text, pos, 2);
        if (!om) return std::nullopt;
        offset = (*oh * 60 + *om) * (sign == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    if (pos != text.size() || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
    const int64_t localMs = DaysFromCivil(*year, *month, *day) * kMsPerDay +
                            ((static_cast<int64_t>(*hour) * 60 + *minute) * 60 + *second) * 1000 + *milli;
    return localMs - static_cast<int64_t>(offset) * 60000;
}

void AppendCsvField(std::string& out, std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string SafeFieldText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 1);
    if (!utf8.empty() && (utf8[0] == '=' || utf8[0] == '+' || utf8[0] == '-' || utf8[0] == '@')) out += '\'';
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = Utf8SequenceLength(utf8, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        const auto b0 = static_cast<uint8_t>(utf8[i]);
        const bool c0OrDel = len == 1 && (b0 < 0x20 || b0 == 0x7F);
        const bool c1 = len == 2 && b0 == 0xC2 && static_cast<uint8_t>(utf8[i + 1]) < 0xA0;
        if (c0OrDel || c1) out += kReplacement;
        else out.append(utf8.substr(i, len));
        i += len;
    }
    return out;
}

std::string HexEncode(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<std::string> HexDecode(std::string_view hex) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size();) {
        if (i + 1 >= hex.size()) return std::nullopt;
        const int hi = nibble(hex[i]);
        const int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi << 4 | lo);
        i += 2;
        if (i < hex.size() && hex[i] == ' ' && i + 1 < hex.size()) ++i;
    }
    return out;
}

std::string UnitFields(const UnitIdentity& unit) {
    std::string out;
    if (unit.known) AppendNumber(out, unit.id);
    out += ',';
    if (unit.known) AppendCsvField(out, SafeFieldText(unit.nameUtf8));
    return out;
}

void AppendRow(std::string& out, const RecordRow& row, std::string_view unitFields, int utcOffsetMinutes) {
    out += IsoLocalTime(row.time, utcOffsetMinutes);
    out += ',';
    AppendNumber(out, row.number);
    if (row.kind == RecordRow::Kind::Status) {
        out += ",status,";
        AppendNumber(out, row.car);
        out += ',';
        AppendNumber(out, row.lastLb);
        out += ',';
        AppendLastLbText(out, row.lastLb);
        out += ',';
        AppendNumber(out, row.drivePwm);
        out += ',';
        AppendNumber(out, row.brakePwm);
        out += ',';
        out += row.laneChange ? '1' : '0';
        out += ',';
    } else {
        out += ",name,,,,,,,";
    }
    out += unitFields;
    out += ',';
    out += HexEncode(row.bytes);
    out += '\n';
}

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool fieldStarted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ',') {
            fields.emplace_back();
            fieldStarted = false;
            continue;
        } else if (c == '"' && !fieldStarted) {
            quoted = true;
        } else {
            fields.back() += c;
        }
        fieldStarted = true;
    }
    if (quoted) return std::nullopt;
    return fields;
}

} // namespace recording
