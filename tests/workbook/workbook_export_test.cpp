// The workbook export without a reader of its own: the chart points' reduction, the split over
// several Records sheets, the range, and what a failed or cancelled export leaves behind. The
// workbook's contents are read back by an independent reader in workbook_readback.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/record/Columns.h"
#include "app/workbook/ChartPoints.h"
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

} // namespace
