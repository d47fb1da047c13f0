// The record as the session file keeps it: rows written and read back by the one column table,
// CSV quoting as spreadsheets have it, how rows are cut off a file, times and their texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>

#include "app/record/Columns.h"
#include "app/record/TableText.h"

namespace {

using namespace record;

Record Status(std::string bytes) {
    Record r;
    r.time = {1796633031123, 60};  // 2026-12-07 09:43:51.123 at +01:00
    r.number = 17;
    r.car = 7;
    r.lastLb = 0x2C;
    r.drivePwm = 100;
    r.brakePwm = 0;
    r.laneChange = true;
    r.unitId = 5;
    r.unitName = "SIM-UNIT";
    r.bytes = std::move(bytes);
    return r;
}

std::vector<std::string> Fields(const std::string& line) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    auto fields = SplitCsvLine(std::string_view(line).substr(0, line.size() - 1));
    EXPECT_TRUE(fields.has_value()) << line;
    return fields.value_or(std::vector<std::string>{});
}

// Parses a row of the written column order, texts included.
bool Read(std::string_view row, Record& r, std::string* why = nullptr) {
    RowParser parser;
    return parser.Parse(row, r, Texts::Read, why);
}

TEST(RecordRows, RowsCarryTheShownValuesAndReadBackAsTheSameRecord) {
    std::string out;
    const Record status = Status(std::string("S\x00\x07\x2C\x64\x00\x01", 7));
    AppendRow(out, status);
    EXPECT_EQ(out, "2026-12-07T09:43:51.123+01:00,17,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 00 07 2c 64 00 01\n");
    Record back;
    ASSERT_TRUE(Read(std::string_view(out).substr(0, out.size() - 1), back));
    EXPECT_EQ(back.time.utcMs, status.time.utcMs);
    EXPECT_EQ(back.time.utcOffsetMinutes, 60);
    EXPECT_EQ(back.number, 17u);
    EXPECT_EQ(back.kind, Kind::Status);
    EXPECT_EQ(std::tie(back.car, back.lastLb, back.drivePwm, back.brakePwm, back.laneChange),
              std::tie(status.car, status.lastLb, status.drivePwm, status.brakePwm, status.laneChange));
    EXPECT_EQ(back.unitId, 5);
    EXPECT_EQ(back.unitName, "SIM-UNIT");
    EXPECT_EQ(back.bytes, status.bytes);

    Record name;
    name.kind = Kind::Name;
    name.time = {1796633032000 + 330 * 60000 + 3600000, -330};
    name.number = 18;
    name.unitId = 5;
    name.unitName = "ABC";
    name.bytes = std::string("N\x05" "ABC\0\0\0\0\0", 10);
    out.clear();
    AppendRow(out, name);
    EXPECT_EQ(out, "2026-12-07T09:43:52.000-05:30,18,name,,,,,,,5,ABC,4e 05 41 42 43 00 00 00 00 00\n");

    Record unnamed = Status("S");
    unnamed.unitId = -1;
    out.clear();
    AppendRow(out, unnamed);
    EXPECT_EQ(Fields(out).size(), static_cast<size_t>(kColumnCount));
    EXPECT_EQ(Fields(out)[kUnitIdColumn], "") << "no name record seen yet";
    EXPECT_EQ(HeaderRow().substr(0, 12), "time,record,");
    EXPECT_EQ(Fields(HeaderRow()).size(), static_cast<size_t>(kColumnCount));
}

TEST(RecordRows, NothingTheUnitSendsBreaksARowAndItsNameReadsBack) {
    struct Case {
        std::string name;
        std::string field;
        std::string readBack;
    };
    const Case cases[] = {
        {"\xC3\xBF\xC3\xBF", "\xC3\xBF\xC3\xBF", "\xC3\xBF\xC3\xBF"},
        {"a,b\"c", "a,b\"c", "a,b\"c"},
        {"x\r\ny", "x\xEF\xBF\xBD\xEF\xBF\xBDy", "x\xEF\xBF\xBD\xEF\xBF\xBDy"},
        {"\xC2\x85\x7F", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // C1 and DEL
        {"\xFF", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},                                  // not UTF-8
        {" pad ", " pad ", " pad "},
        {"=1+2", "'=1+2", "=1+2"},
        {"@SUM", "'@SUM", "@SUM"},
    };
    for (const Case& c : cases) {
        Record r = Status("S");
        r.unitId = 200;
        r.unitName = c.name;
        std::string out;
        AppendRow(out, r);
        EXPECT_EQ(out.find_first_of("\r\n"), out.size() - 1) << "one row, one line end";
        const auto fields = Fields(out);
        ASSERT_EQ(fields.size(), static_cast<size_t>(kColumnCount)) << out;
        EXPECT_EQ(fields[kUnitNameColumn], c.field) << out;
        Record back;
        ASSERT_TRUE(Read(std::string_view(out).substr(0, out.size() - 1), back)) << out;
        EXPECT_EQ(back.unitName, c.readBack);
        EXPECT_EQ(back.unitId, 200);
    }
    // Records of one byte and of 300 bytes: one row each, every byte in the hex column.
    for (size_t size : {size_t{1}, size_t{300}}) {
        std::string bytes(size, '\r');
        bytes[0] = 'S';
        std::string out;
        AppendRow(out, Status(bytes));
        Record back;
        ASSERT_TRUE(Read(std::string_view(out).substr(0, out.size() - 1), back));
        EXPECT_EQ(back.bytes, bytes);
    }
}

TEST(RecordRows, EveryValueOutsideItsColumnIsRefusedWithTheReason) {
    const std::string good = "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 00 07";
    const auto with = [&](int column, const std::string& value) {
        auto fields = *SplitCsvLine(good);
        fields[static_cast<size_t>(column)] = value;
        std::string row;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) row += ',';
            AppendCsvField(row, fields[i]);
        }
        return row;
    };
    Record r;
    ASSERT_TRUE(Read(good, r));
    const struct {
        std::string row;
        const char* says;
    } cases[] = {
        {with(kTimeColumn, "2026-02-30T10:00:00.000+01:00"), "time '2026-02-30T10:00:00.000+...' is not a time"},
        {with(kTimeColumn, "2025-02-29T10:00:00.000+01:00"), "is not a time"},
        {with(kTimeColumn, "2026-04-31T10:00:00.000Z"), "is not a time"},
        {with(kTimeColumn, "2026-12-07T24:00:00.000Z"), "is not a time"},
        {with(kRecordColumn, "-1"), "record '-1' is not a number"},
        {with(kRecordColumn, "99999999999999999999"), "is not a number"},
        {with(kKindColumn, "Status"), "kind 'Status' is neither status nor name"},
        {with(kCarColumn, "256"), "car '256' is not a number from 0 to 255"},
        {with(kDrivePwmColumn, ""), "drive_pwm '' is not a number"},
        {with(kLaneChangeColumn, "5"), "lane_change '5' is not a number from 0 to 1"},
        {with(kUnitIdColumn, "x"), "unit_id 'x' is not empty or a number"},
        {with(kBytesHexColumn, "53 0"), "bytes_hex '53 0' is not pairs of hex digits"},
        {with(kBytesHexColumn, ""), "bytes_hex '' is not"},
        {good + ",extra", "13 fields, not 12"},
        {"\"" + good, "a quoted field is not closed"},
        {"\"2026\"x" + good.substr(4), "a quoted field is not closed"},
        {std::string(good).replace(40, 1, 1, '\0'), "NUL byte"},
        {"2026-12-07T09:43:51.200+01:00,2,name,7,,,,,,5,SIM-UNIT,4e 05", "car '7' is not empty in a name row"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(Read(c.row, r, &why)) << c.row;
        EXPECT_NE(why.find(c.says), std::string::npos) << "said: " << why << "\nexpected: " << c.says;
    }
    // Leap days that exist, a carriage return before the line end, an unknown column's quotes.
    EXPECT_TRUE(Read(with(kTimeColumn, "2024-02-29T10:00:00.000+01:00"), r));
    EXPECT_TRUE(Read(with(kTimeColumn, "2000-02-29T10:00:00.000Z"), r));
    EXPECT_FALSE(Read(with(kTimeColumn, "2100-02-29T10:00:00.000Z"), r));
    EXPECT_TRUE(Read(good + "\r", r));
    // The largest record number reads; one more, or a 21st digit, does not.
    ASSERT_TRUE(Read(with(kRecordColumn, "18446744073709551615"), r));
    EXPECT_EQ(r.number, UINT64_MAX);
    EXPECT_TRUE(Read(with(kRecordColumn, "09999999999999999999"), r));
    EXPECT_FALSE(Read(with(kRecordColumn, "18446744073709551616"), r));
    EXPECT_FALSE(Read(with(kRecordColumn, "99999999999999999999"), r));
    EXPECT_FALSE(Read(with(kRecordColumn, "018446744073709551615"), r));
}

TEST(RecordRows, ColumnsAreFoundByNameSoOtherOrdersAndExtraColumnsRead) {
    const auto header = ReadHeaderRow("\xEF\xBB\xBF" "note,bytes_hex,lane_change,brake_pwm,drive_pwm,last_lb,car,kind,record,time\r");
    ASSERT_TRUE(header.positions) << header.error;
    RowParser parser(*header.positions);
    Record r;
    ASSERT_TRUE(parser.Parse("\"a, b\",53,1,2,3,4,5,status,9,2026-12-07T09:00:00.000Z", r));
    EXPECT_EQ(r.car, 5);
    EXPECT_EQ(r.drivePwm, 3);
    EXPECT_EQ(r.unitId, -1);
    EXPECT_EQ(ReadHeaderRow("time,record,kind,last_lb,drive_pwm,brake_pwm,lane_change").error, "missing column 'car'");
    EXPECT_FALSE(ReadHeaderRow("time,\"record").positions);
}

TEST(RecordRows, ARowEndsAtTheFirstLineEndOutsideQuotesAndADamagedOneCostsOneLine) {
    // A name with a line break: what a spreadsheet may leave after an edit (the writer never writes one).
    const std::string good = "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,\"A\nB, \"\"C\"\"\",53 00\n";
    const std::string next = "2026-12-07T09:43:51.124+01:00,2,status,7,44,12 R,100,0,1,5,X,53 00\n";
    const std::string text = good + next;
    RowParser parser;
    Record r;
    const char* p = text.data();
    const char* end = p + text.size();
    RowCut cut = CutRow(p, end, true, parser, r, Texts::Read);
    ASSERT_EQ(cut.status, RowCut::Status::Row);
    EXPECT_EQ(r.unitName, "A\nB, \"C\"");
    EXPECT_EQ(cut.next, good.size());
    cut = CutRow(p + cut.next, end, true, parser, r);
    EXPECT_EQ(cut.status, RowCut::Status::Row);
    EXPECT_EQ(r.number, 2u);

    // Not all there yet: more is asked for, unless nothing more comes.
    EXPECT_EQ(CutRow(p, p + 70, false, parser, r).status, RowCut::Status::NeedMore);
    EXPECT_EQ(CutRow(p, p + good.size() - 1, false, parser, r).status, RowCut::Status::NeedMore);
    EXPECT_EQ(CutRow(p, p + 70, true, parser, r).status, RowCut::Status::Unreadable);

    // A stray quote opens a field that the next row's quotes close: the damaged row is its first
    // line alone, and the rows after it are read.
    const std::string stray = "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,\"broken,53 00\n";
    const std::string damaged = stray + next + good + next;
    p = damaged.data();
    end = p + damaged.size();
    std::vector<uint64_t> numbers;
    std::vector<RowCut::Status> kinds;
    for (size_t at = 0; at < damaged.size();) {
        cut = CutRow(p + at, end, true, parser, r);
        kinds.push_back(cut.status);
        if (cut.status == RowCut::Status::Row) numbers.push_back(r.number);
        at += cut.next;
    }
    EXPECT_EQ(kinds.front(), RowCut::Status::Unreadable);
    EXPECT_EQ(numbers, (std::vector<uint64_t>{2, 1, 2}));

    // An unclosed quote with no closing one in sight: beyond the longest row, its first line.
    const std::string open = "\"open\n" + std::string(kMaxRowBytes + 10, 'x') + "\n";
    cut = CutRow(open.data(), open.data() + open.size(), false, parser, r);
    EXPECT_EQ(cut.status, RowCut::Status::Unreadable);
    EXPECT_EQ(cut.next, 6u);
    const std::string_view crlf = "\r\n";
    EXPECT_EQ(CutRow(crlf.data(), crlf.data() + crlf.size(), false, parser, r).status, RowCut::Status::Blank);
}

TEST(RecordTime, TimesCarryMillisecondsAndTheOffsetAndReadBackAsTheSameInstant) {
    EXPECT_EQ(IsoText({1767323045006, 0}), "2026-01-02T03:04:05.006+00:00");
    EXPECT_EQ(IsoText({1767323045006, -90}), "2026-01-02T01:34:05.006-01:30");
    Instant summer, utc;
    ASSERT_TRUE(ParseIsoText("2026-07-01T12:00:00.250+02:00", summer));
    ASSERT_TRUE(ParseIsoText("2026-07-01T10:00:00.250Z", utc));
    EXPECT_EQ(summer.utcMs, utc.utcMs);
    EXPECT_EQ(summer.utcOffsetMinutes, 120);
    ASSERT_TRUE(ParseIsoText("1970-01-01T00:00:01.500+00:00", utc));
    EXPECT_EQ(utc.utcMs, 1500);
    for (const char* bad : {"", "2026-07-01 12:00:00.250+02:00", "2026-07-01T12:00:00+02:00", "2026-13-01T12:00:00.000Z",
                            "2026-07-01T12:00:00.000+0200", "2026-07-01T12:00:00.000+02:00x", "2026-06-31T12:00:00.000Z",
                            "2026-00-10T12:00:00.000Z", "2026-07-00T12:00:00.000Z", "2026-07-01T12:60:00.000Z"}) {
        EXPECT_FALSE(ParseIsoText(bad, utc)) << bad;
    }
    // A valid date read just before does not let an impossible one through.
    ASSERT_TRUE(ParseIsoText("2026-02-28T10:00:00.000Z", utc));
    EXPECT_FALSE(ParseIsoText("2026-02-29T10:00:00.000Z", utc));

    // Every day of four centuries round-trips through the civil calendar.
    for (int64_t day = -146097; day < 2 * 146097; day += 1) {
        const CivilTime c = CivilFromMs(day * kMsPerDay + 45296789);
        ASSERT_TRUE(ValidDate(c.year, c.month, c.day));
        ASSERT_EQ(MsFromCivil(c), day * kMsPerDay + 45296789) << day;
    }
    EXPECT_EQ(CivilFromMs(-1).year, 1969);
    EXPECT_EQ(CivilFromMs(-1).millisecond, 999);

    // The system's date-time value: rounding to the millisecond can reach midnight, and the
    // date moves on with it.
    const toolkit::TDateTime justBeforeMidnight =
        toolkit::EncodeDateTime(2026, 12, 31, 23, 59, 59, 999) + 0.6 * toolkit::kMillisecondInDays;
    const CivilTime c = ToCivil(justBeforeMidnight);
    EXPECT_EQ(c.year, 2027);
    EXPECT_EQ(c.month, 1);
    EXPECT_EQ(c.day, 1);
    EXPECT_EQ(c.hour + c.minute + c.second + c.millisecond, 0);
    EXPECT_EQ(DateText(LocalMsFromDateTime(justBeforeMidnight)), "2027-01-01");
    EXPECT_EQ(LocalMsFromDateTime(toolkit::EncodeDateTime(2026, 1, 2, 3, 4, 5, 6)), 1767323045006);
}

TEST(RecordTime, EveryByteOfTheDateAndTimeIsCheckedWhereverItStands) {
    // Each byte of a valid text replaced by every value: read exactly when the text still has
    // digits and separators in their places and a date and time that exist.
    const auto expected = [](const std::string& t) {
        const auto digit = [&](size_t i) { return t[i] >= '0' && t[i] <= '9'; };
        for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22}) {
            if (!digit(i)) return false;
        }
        if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != '.') return false;
        const auto number = [&](size_t at, size_t n) { return std::stoi(t.substr(at, n)); };
        if (t.size() == 24 ? t[23] != 'Z' : t[23] != '+' && t[23] != '-') return false;
        return ValidDate(number(0, 4), number(5, 2), number(8, 2)) && number(11, 2) <= 23 && number(14, 2) <= 59 &&
               number(17, 2) <= 59;
    };
    for (const std::string valid : {"2028-02-29T23:59:58.999+05:30", "2026-12-07T09:43:51.123Z"}) {
        for (size_t at = 0; at < 24; ++at) {
            for (int b = 0; b < 256; ++b) {
                std::string t = valid;
                t[at] = static_cast<char>(b);
                Instant out;
                ASSERT_EQ(ParseIsoText(t, out), expected(t)) << "byte " << b << " at " << at << " of " << valid;
            }
        }
    }
}

TEST(RecordTime, TheTableShowsEachRecordInItsOwnLocalTime) {
    Record r = Status("S");
    r.time = {1767323045006, 0};
    EXPECT_EQ(TableTexts(r, ":"),
              (std::array<std::string, 6>{"7", "3:04:05.006", "12 R", "100", "0", "Yes"}));
    r.time.utcOffsetMinutes = -240;
    EXPECT_EQ(TableTexts(r, ".")[1], "23.04.05.006") << "the day before, in its own time";
    r.kind = Kind::Name;
    EXPECT_EQ(TableTexts(r, ":"), (std::array<std::string, 6>{"", "23:04:05.006", "", "", "", ""}));
    EXPECT_EQ(LastLbText(0x83), "3 L*");
    EXPECT_EQ(LastLbText(0x6F), "no LB yet");
}

#ifndef _WIN32  // POSIX time zone strings
TEST(RecordTime, TheOffsetFollowsTheTimeZoneRulesOfTheHour) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // central Europe, without needing tzdata
    tzset();
    LocalClock clock;
    EXPECT_EQ(clock.FromLocal(toolkit::EncodeDateTime(2026, 1, 15, 12, 0, 0, 0)).utcOffsetMinutes, 60);
    const Instant summer = clock.FromLocal(toolkit::EncodeDateTime(2026, 7, 15, 12, 0, 0, 0));
    EXPECT_EQ(summer.utcOffsetMinutes, 120);
    EXPECT_EQ(IsoText(summer), "2026-07-15T12:00:00.000+02:00");
    // Across the change in spring: 01:59 is winter time, 03:00 summer time.
    EXPECT_EQ(clock.FromLocal(toolkit::EncodeDateTime(2026, 3, 29, 1, 59, 0, 0)).utcOffsetMinutes, 60);
    EXPECT_EQ(clock.FromLocal(toolkit::EncodeDateTime(2026, 3, 29, 3, 0, 0, 0)).utcOffsetMinutes, 120);
    setenv("TZ", "<-0330>3:30", 1);
    tzset();
    EXPECT_EQ(SystemUtcOffsetMinutes(ToCivil(toolkit::EncodeDateTime(2026, 7, 15, 12, 0, 0, 0))), -210);
    if (saved != nullptr) setenv("TZ", previous.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}
#endif

TEST(RecordCsv, TheHexColumnRoundTripsEveryByteValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string hex = HexEncode(all);
    EXPECT_EQ(hex.substr(0x0D * 3, 3), "0d ");
    std::string back;
    ASSERT_TRUE(HexDecode(hex, &back));
    EXPECT_EQ(back, all);
    ASSERT_TRUE(HexDecode("0D21FF", &back)) << "spaces are optional";
    EXPECT_EQ(back, "\x0D\x21\xFF");
    // Every byte beside the digit ranges, and bytes above 0x7F, are refused.
    for (const char* bad : {"/0", "0:", "@a", "aG", "`0", "0g", "\xB0\xB0", "\xE6" "0"}) {
        EXPECT_FALSE(HexDecode(bad, nullptr)) << bad;
    }
    for (const char* bad : {"abc", "zz", "0d 2", "0d  21", "0d 21 ", " 0d", "0 d"}) {
        EXPECT_FALSE(HexDecode(bad, nullptr)) << bad;
    }
}

TEST(RecordCsv, QuotedFieldsSplitBackToTheirText) {
    std::string line;
    AppendCsvField(line, "plain");
    line += ',';
    AppendCsvField(line, "with, comma and \"quotes\"\nand a line break");
    line += ',';
    AppendCsvField(line, "");
    EXPECT_EQ(line, "plain,\"with, comma and \"\"quotes\"\"\nand a line break\",");
    EXPECT_EQ(SplitCsvLine(line), (std::vector<std::string>{"plain", "with, comma and \"quotes\"\nand a line break", ""}));
    EXPECT_EQ(SplitCsvLine("a\"b,c"), (std::vector<std::string>{"a\"b", "c"})) << "a quote inside a field is text";
    EXPECT_FALSE(SplitCsvLine("a,\"open").has_value());
    EXPECT_FALSE(SplitCsvLine("\"closed\"x,b").has_value());
}

TEST(RecordCsv, RowsWithoutQuotesSplitTheSameEightBytesAtATime) {
    // Commas at every place in and across the words, among bytes that differ from one only in
    // the top bit (0xAC) or in the low bits, empty fields and rows of every length.
    const char alphabet[] = {',', ',', 'a', '\xAC', '\x2D', '\x0C', '\xFF', '\0', '\r', '\n'};
    std::mt19937 rng(3);
    std::vector<RawField> quick(80), full;
    for (int n = 0; n < 3000; ++n) {
        std::string row(static_cast<size_t>(n % 70), ' ');
        for (char& c : row) c = alphabet[rng() % sizeof alphabet];
        ASSERT_TRUE(SplitRow(row, full));
        ASSERT_EQ(SplitUnquotedRow(row, quick.data(), quick.size()), full.size()) << n;
        EXPECT_EQ(SplitUnquotedRow(row, quick.data(), 2), full.size()) << "counted beyond what it may write";
        for (size_t f = 0; f < full.size(); ++f) {
            EXPECT_EQ(quick[f].text.data(), full[f].text.data()) << n;
            EXPECT_EQ(quick[f].text.size(), full[f].text.size()) << n;
            EXPECT_FALSE(quick[f].quoted);
        }
    }
}

} // namespace
