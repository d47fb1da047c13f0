// The session file's rows, names and times: what a spreadsheet, pandas and the replay tool read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/ReceiveDecoder.h"
#include "app/recording/SessionCsv.h"
#include "app/recording/SessionNaming.h"
#include "app/recording/UtcOffset.h"

namespace {

using namespace recording;

RecordRow StatusRow(std::string bytes) {
    RecordRow row;
    row.time = toolkit::EncodeDateTime(2026, 12, 7, 9, 43, 51, 123);
    row.number = 17;
    row.car = 7;
    row.lastLb = 0x2C;
    row.drivePwm = 100;
    row.brakePwm = 0;
    row.laneChange = true;
    row.bytes = std::move(bytes);
    return row;
}

UnitIdentity Unit(uint8_t id, const std::string& latin1Name) {
    return UnitIdentity{true, id, Latin1ToUtf8UpToNul(latin1Name)};
}

std::vector<std::string> Fields(const std::string& line) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 1) << "one row, one line end";
    auto fields = SplitCsvLine(std::string_view(line).substr(0, line.size() - 1));
    EXPECT_TRUE(fields.has_value()) << line;
    return fields.value_or(std::vector<std::string>{});
}

TEST(SessionCsv, RowsCarryTheShownValuesInMachineFriendlyForm) {
    std::string out;
    AppendRow(out, StatusRow(std::string("S\x00\x07\x2C\x64\x00\x01", 7)), UnitFields(Unit(5, "SIM-UNIT")), 60);
    EXPECT_EQ(out, "2026-12-07T09:43:51.123+01:00,17,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 00 07 2c 64 00 01\n");

    RecordRow name;
    name.kind = RecordRow::Kind::Name;
    name.time = toolkit::EncodeDateTime(2026, 12, 7, 9, 43, 52, 0);
    name.number = 18;
    name.bytes = std::string("N\x05" "ABC\0\0\0\0\0", 10);
    out.clear();
    AppendRow(out, name, UnitFields(Unit(5, "ABC")), -330);
    EXPECT_EQ(out, "2026-12-07T09:43:52.000-05:30,18,name,,,,,,,5,ABC,4e 05 41 42 43 00 00 00 00 00\n");

    out.clear();
    AppendRow(out, StatusRow("S"), UnitFields(UnitIdentity{}), 0);
    EXPECT_EQ(Fields(out).size(), static_cast<size_t>(kColumnCount));
    EXPECT_EQ(Fields(out)[kUnitIdColumn], "") << "no name record seen yet";
    EXPECT_EQ(HeaderRow().substr(0, 12), "time,record,");
    EXPECT_EQ(Fields(HeaderRow()).size(), static_cast<size_t>(kColumnCount));
}

TEST(SessionCsv, TimesCarryMillisecondsAndTheOffsetAndReadBackAsTheSameInstant) {
    EXPECT_EQ(IsoLocalTime(toolkit::EncodeDateTime(2026, 1, 2, 3, 4, 5, 6), 0), "2026-01-02T03:04:05.006+00:00");
    // Rounding to the millisecond can reach midnight: the date moves on with it.
    const toolkit::TDateTime justBeforeMidnight =
        toolkit::EncodeDateTime(2026, 12, 31, 23, 59, 59, 999) + 0.6 * toolkit::kMillisecondInDays;
    EXPECT_EQ(IsoLocalTime(justBeforeMidnight, 120), "2027-01-01T00:00:00.000+02:00");

    const auto summer = ParseIsoTime("2026-07-01T12:00:00.250+02:00");
    const auto utc = ParseIsoTime("2026-07-01T10:00:00.250Z");
    ASSERT_TRUE(summer && utc);
    EXPECT_EQ(*summer, *utc);
    EXPECT_EQ(*ParseIsoTime("1970-01-01T00:00:01.500+00:00"), 1500);
    for (const char* bad : {"", "2026-07-01 12:00:00.250+02:00", "2026-07-01T12:00:00+02:00", "2026-13-01T12:00:00.000Z",
                            "2026-07-01T12:00:00.000+0200", "2026-07-01T12:00:00.000+02:00x"}) {
        EXPECT_FALSE(ParseIsoTime(bad).has_value()) << bad;
    }
}

#ifndef _WIN32  // POSIX time zone strings
TEST(SessionCsv, TheOffsetFollowsTheTimeZoneRulesOfTheDate) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // central Europe, without needing tzdata
    tzset();
    EXPECT_EQ(UtcOffsetMinutes(ToCivil(toolkit::EncodeDateTime(2026, 1, 15, 12, 0, 0, 0))), 60);
    EXPECT_EQ(UtcOffsetMinutes(ToCivil(toolkit::EncodeDateTime(2026, 7, 15, 12, 0, 0, 0))), 120);
    setenv("TZ", "<-0330>3:30", 1);
    tzset();
    EXPECT_EQ(UtcOffsetMinutes(ToCivil(toolkit::EncodeDateTime(2026, 7, 15, 12, 0, 0, 0))), -210);
    if (saved != nullptr) setenv("TZ", previous.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}
#endif

TEST(SessionCsv, NothingTheUnitSendsBreaksARow) {
    struct Case {
        std::string latin1Name;
        std::string shownAs;
    };
    const Case cases[] = {
        {std::string(8, '\xFF'), "\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF"},  // ÿ x 8
        {std::string(8, '\0'), ""},
        {"a,b\"c", "a,b\"c"},
        {"x\r\ny", "x\xEF\xBF\xBD\xEF\xBF\xBDy"},
        {"\x85\x7F", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // C1 and DEL
        {" pad ", " pad "},
        {"=1+2", "'=1+2"},
        {"@SUM", "'@SUM"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendRow(out, StatusRow("S"), UnitFields(Unit(200, c.latin1Name)), 0);
        const auto fields = Fields(out);
        ASSERT_EQ(fields.size(), static_cast<size_t>(kColumnCount)) << out;
        EXPECT_EQ(fields[kUnitNameColumn], c.shownAs) << out;
        EXPECT_EQ(fields[kUnitIdColumn], "200");
    }
    // Records of one byte and of 300 bytes: one row each, every byte in the hex column.
    for (size_t size : {size_t{1}, size_t{300}}) {
        std::string bytes(size, '\r');
        bytes[0] = 'S';
        std::string out;
        AppendRow(out, StatusRow(bytes), UnitFields(Unit(1, "U")), 0);
        const auto fields = Fields(out);
        ASSERT_EQ(fields.size(), static_cast<size_t>(kColumnCount));
        EXPECT_EQ(HexDecode(fields[kBytesHexColumn]), bytes);
    }
}

TEST(SessionCsv, TheHexColumnRoundTripsEveryByteValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string hex = HexEncode(all);
    EXPECT_EQ(hex.substr(0x0D * 3, 3), "0d ");
    EXPECT_EQ(hex.substr(0x21 * 3, 3), "21 ");
    EXPECT_EQ(HexDecode(hex), all);
    EXPECT_EQ(HexDecode("0D21FF"), std::string("\x0D\x21\xFF")) << "spaces are optional";
    for (const char* bad : {"abc", "zz", "0d 2", "0d  21", "0d 21 ", " 0d", "0 d"}) {
        EXPECT_FALSE(HexDecode(bad).has_value()) << bad;
    }
}

TEST(SessionCsv, QuotedFieldsSplitBackToTheirText) {
    std::string line;
    AppendCsvField(line, "plain");
    line += ',';
    AppendCsvField(line, "with, comma and \"quotes\"");
    line += ',';
    AppendCsvField(line, "");
    EXPECT_EQ(line, "plain,\"with, comma and \"\"quotes\"\"\",");
    EXPECT_EQ(SplitCsvLine(line), (std::vector<std::string>{"plain", "with, comma and \"quotes\"", ""}));
    EXPECT_FALSE(SplitCsvLine("a,\"open").has_value());
}

TEST(SessionNaming, FileNamesCarryTheStartTimeAndASafeUnitName) {
    const toolkit::TDateTime start = toolkit::EncodeDateTime(2026, 12, 7, 9, 43, 51, 999);
    EXPECT_EQ(SessionFileStem(start, Unit(5, "SIM-UNIT")), "2026-12-07_09-43-51_unit5_SIM-UNIT");
    EXPECT_EQ(SessionFileStem(start, UnitIdentity{}), "2026-12-07_09-43-51_unit-unknown");
    EXPECT_EQ(SessionFileStem(start, Unit(255, std::string(8, '\0'))), "2026-12-07_09-43-51_unit255");
    EXPECT_EQ(SessionFileStem(start, Unit(1, "../a\\b:")), "2026-12-07_09-43-51_unit1____a_b_");
    EXPECT_EQ(SessionFileStem(start, Unit(1, "\xFF\xFE.*?")), "2026-12-07_09-43-51_unit1______") << "one _ per character";

    EXPECT_TRUE(IsSessionFileName("2026-12-07_09-43-51_unit5_SIM-UNIT.csv"));
    EXPECT_TRUE(IsSessionFileName("2026-12-07_09-43-51_unit-unknown-2.csv"));
    EXPECT_FALSE(IsSessionFileName("notes.csv"));
    EXPECT_FALSE(IsSessionFileName("2026-12-07_09-43-51_unit5.txt"));
    EXPECT_FALSE(IsSessionFileName("table-2026-12-07_09-43-51_.csv"));
}

} // namespace
