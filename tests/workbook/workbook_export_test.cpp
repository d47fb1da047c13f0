// The workbook export without a reader of its own: the chart points' reduction, the split over
// several Records sheets, the range, what a failed or cancelled export leaves behind, and the
// throttle check's checks.csv as read for its sheet. The workbooks' contents are read back by an
// independent reader in workbook_readback.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/record/Columns.h"
#include "app/workbook/ChartPoints.h"
#include "app/workbook/ChecksFile.h"
#include "app/workbook/ChecksWorkbook.h"
#include "app/workbook/WorkbookExport.h"

namespace {

namespace fs = std::filesystem;
using workbook::ChartPoint;
using workbook::ChartPoints;
using workbook::ExportResult;

class Folder {
public:
    Folder() {
        std::random_device random;
        do {
            FPath = fs::temp_directory_path() / ("workbook-test-" + std::to_string(random()));
        } while (!fs::create_directory(FPath));
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    fs::path operator/(const char* name) const { return FPath / name; }

private:
    fs::path FPath;
};

// A session of `count` status records, 10 ms apart, cars 1 and 2 in turn.
fs::path WriteSession(const fs::path& path, int count) {
    std::string text = record::HeaderRow();
    for (int i = 0; i < count; ++i) {
        record::Record r;
        r.number = static_cast<uint64_t>(i + 1);
        r.time = {1'765'100'000'000 + 10 * int64_t{i}, 60};
        r.car = static_cast<uint8_t>(1 + i % 2);
        r.drivePwm = static_cast<uint8_t>(i % 256);
        r.bytes = "S";
        record::AppendRow(text, r);
    }
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ChartPoints, StaysBoundedKeepsExtremesAndTimeOrder) {
    ChartPoints points(100);
    for (int64_t t = 0; t < 100'000; ++t) {
        const uint8_t drive = t == 54'321 ? 255 : (t == 77'777 ? 0 : 100);
        points.Add(3, t, t + 3'600'000, drive, 50);
    }
    points.Add(9, 5, 5, 1, 2);
    EXPECT_EQ(points.Cars(), (std::vector<uint8_t>{3, 9}));
    const std::vector<ChartPoint> car3 = points.Points(3);
    EXPECT_LE(car3.size(), 200u);
    EXPECT_GE(car3.size(), 100u);  // widened only as far as needed
    EXPECT_TRUE(std::is_sorted(car3.begin(), car3.end(), [](auto& a, auto& b) { return a.localMs < b.localMs; }));
    EXPECT_EQ(car3.front().localMs, 3'600'000);
    EXPECT_EQ(car3.back().localMs, 3'600'000 + 99'999);
    const auto [lo, hi] = std::minmax_element(car3.begin(), car3.end(), [](auto& a, auto& b) { return a.drive < b.drive; });
    EXPECT_EQ(lo->drive, 0);   // a one-record dip survives the reduction
    EXPECT_EQ(hi->drive, 255);  // and so does a one-record peak
    ASSERT_EQ(points.Points(9).size(), 1u);  // a single record is a single point
    EXPECT_EQ(points.Points(9)[0].brake, 2);
    EXPECT_TRUE(points.Points(4).empty());
}

TEST(WorkbookExport, SplitsRecordsOverSheetsAndTakesOnlyTheRange) {
    if (!workbook::WorkbookSupported()) GTEST_SKIP() << "no workbook library in this build";
    Folder dir;
    const fs::path session = WriteSession(dir / "s.csv", 10);
    workbook::ExportOptions options;
    options.rowsPerSheet = 3;
    ExportResult result = workbook::ExportSessionWorkbook(session, dir / "split.xlsx", options);
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(result.records, 10u);
    EXPECT_EQ(result.recordSheets, 4);  // 3 + 3 + 3 + 1
    const std::string zip = Contents(dir / "split.xlsx");
    EXPECT_NE(zip.find("xl/worksheets/sheet6.xml"), std::string::npos);  // Records x4, Summary, Charts

    workbook::ExportOptions range;
    range.fromMs = 1'765'100'000'020;
    range.toMs = 1'765'100'000'050;
    result = workbook::ExportSessionWorkbook(session, dir / "range.xlsx", range);
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(result.records, 4u);  // 20, 30, 40 and 50 ms, both ends included
    EXPECT_EQ(result.recordSheets, 1);
}

TEST(WorkbookExport, FailureAndCancelLeaveTheDestinationAsItWas) {
    if (!workbook::WorkbookSupported()) GTEST_SKIP() << "no workbook library in this build";
    Folder dir;
    const fs::path session = WriteSession(dir / "s.csv", 50'000);
    const fs::path earlier = dir / "earlier.xlsx";
    std::ofstream(earlier) << "an earlier workbook";

    workbook::ExportOptions cancel;
    cancel.cancelled = [] { return true; };
    ExportResult result = workbook::ExportSessionWorkbook(session, earlier, cancel);
    EXPECT_EQ(result.status, ExportResult::Status::Cancelled);
    EXPECT_EQ(Contents(earlier), "an earlier workbook");
    EXPECT_FALSE(fs::exists(dir / "earlier.xlsx.partial"));

    result = workbook::ExportSessionWorkbook(dir / "missing.csv", earlier);
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    EXPECT_NE(result.error.find("no such file"), std::string::npos) << result.error;
    EXPECT_EQ(Contents(earlier), "an earlier workbook");

    const std::string before = Contents(session);
    result = workbook::ExportSessionWorkbook(session, session);
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    EXPECT_EQ(Contents(session), before);

    result = workbook::ExportSessionWorkbook(session, dir / "no-such-folder" / "w.xlsx");
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    EXPECT_FALSE(result.error.empty());

    result = workbook::ExportSessionWorkbook(session, earlier);  // and a good export replaces it
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(Contents(earlier).substr(0, 2), "PK");
}

TEST(ChecksFile, IsToldByItsHeaderAndReadInTheFirstHeadersColumns) {
    Folder dir;
    const fs::path checks = dir / "checks.csv";
    // A later program's header adds a column; a row cut short and one with a quoted line break.
    std::ofstream(checks, std::ios::binary) << "time,unit,car,verdict,max_drive\r\n"
                                               "2026-12-07T09:43:51+01:00,\"Bench, 7\",2,ok,255\r\n"
                                               "2026-12-07T09:50:00+01:00,U,3,ok\n"
                                               "time,unit,car,verdict,max_drive,new_figure\n"
                                               "2026-12-07T10:00:00Z,\"two\nlines\",2,check,238,4.5\n";
    EXPECT_TRUE(workbook::IsChecksFile(checks));
    EXPECT_FALSE(workbook::IsChecksFile(WriteSession(dir / "s.csv", 3)));
    EXPECT_FALSE(workbook::IsChecksFile(dir / "missing.csv"));
    EXPECT_FALSE(workbook::IsChecksFile(dir / "."));  // a folder is not looked into

    workbook::ChecksTable table;
    std::string error;
    ASSERT_TRUE(workbook::ReadChecksFile(checks, 2, table, error)) << error;
    EXPECT_EQ(table.columns, (std::vector<std::string>{"time", "unit", "car", "verdict", "max_drive", "new_figure"}));
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0], (std::vector<std::string>{"2026-12-07T09:43:51+01:00", "Bench, 7", "2", "ok", "255", ""}));
    EXPECT_EQ(table.rows[1][1], "two\nlines");
    EXPECT_EQ(table.rows[1][5], "4.5");
    EXPECT_EQ(table.skippedRows, 1u);  // car 3's row has a field too few, whatever the car asked
    ASSERT_TRUE(workbook::ReadChecksFile(checks, std::nullopt, table, error));
    EXPECT_EQ(table.rows.size(), 2u);

    EXPECT_FALSE(workbook::ReadChecksFile(dir / "s.csv", std::nullopt, table, error));
    EXPECT_NE(error.find("not a file of checks"), std::string::npos) << error;
    EXPECT_FALSE(workbook::ReadChecksFile(dir / "missing.csv", std::nullopt, table, error));
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;
}

TEST(ChecksFile, TimesAndNumbersAsTheSheetTakesThem) {
    record::Instant t;
    bool offset = false;
    ASSERT_TRUE(workbook::ParseCheckTime("2026-12-07T09:43:51+01:00", t, offset));
    EXPECT_TRUE(offset);
    EXPECT_EQ(t.utcOffsetMinutes, 60);
    EXPECT_EQ(t.LocalMs() % record::kMsPerDay, ((9 * 60 + 43) * 60 + 51) * record::kMsPerSecond);
    ASSERT_TRUE(workbook::ParseCheckTime("2026-12-07T09:43:51.250-05:30", t, offset));
    EXPECT_EQ(t.utcOffsetMinutes, -330);
    EXPECT_EQ(t.LocalMs() % 1000, 250);
    ASSERT_TRUE(workbook::ParseCheckTime("2026-12-07T09:43:51Z", t, offset));
    EXPECT_TRUE(offset);
    ASSERT_TRUE(workbook::ParseCheckTime("2026-12-07T09:43:51", t, offset));
    EXPECT_FALSE(offset);
    for (const char* bad : {"", "2026-02-30T09:43:51Z", "2026-12-07 09:43:51", "2026-12-07T09:43:51.2Z", "09:43"}) {
        EXPECT_FALSE(workbook::ParseCheckTime(bad, t, offset)) << bad;
    }

    double v = 0;
    EXPECT_TRUE(workbook::PlainNumber("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(workbook::PlainNumber("41.5", v));
    EXPECT_EQ(v, 41.5);
    for (const char* text : {"", "-", "1.", ".5", "1e3", "inf", "nan", "0x10", " 1", "1 2", "12a"}) {
        EXPECT_FALSE(workbook::PlainNumber(text, v)) << text;
    }
}

TEST(ChecksWorkbook, ACarWithoutChecksOrAFileOfAnotherKindFailsAndLeavesNothing) {
    if (!workbook::WorkbookSupported()) GTEST_SKIP() << "no workbook library in this build";
    Folder dir;
    const fs::path checks = dir / "checks.csv";
    std::ofstream(checks, std::ios::binary) << "time,unit,car,verdict\n2026-12-07T09:43:51+01:00,U,2,ok\nbroken\n";
    workbook::ChecksExportOptions car5;
    car5.car = 5;
    ExportResult result = workbook::ExportChecksWorkbook(checks, dir / "c.xlsx", car5);
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    EXPECT_NE(result.error.find("no check of car 5"), std::string::npos) << result.error;
    result = workbook::ExportChecksWorkbook(WriteSession(dir / "s.csv", 3), dir / "c.xlsx");
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    result = workbook::ExportChecksWorkbook(checks, checks);
    EXPECT_EQ(result.status, ExportResult::Status::Failed);
    EXPECT_FALSE(fs::exists(dir / "c.xlsx"));
    EXPECT_FALSE(fs::exists(dir / "c.xlsx.partial"));

    result = workbook::ExportChecksWorkbook(checks, dir / "c.xlsx");
    ASSERT_EQ(result.status, ExportResult::Status::Done) << result.error;
    EXPECT_EQ(result.records, 1u);
    EXPECT_EQ(result.skippedRows, 1u);
    EXPECT_EQ(Contents(dir / "c.xlsx").substr(0, 2), "PK");
}

} // namespace
