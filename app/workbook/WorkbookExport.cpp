#include "WorkbookExport.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/chart/Summary.h"
#include "app/record/Columns.h"
#include "app/record/Csv.h"
#include "app/record/TableText.h"
#include "app/session/SessionScan.h"
#include "app/workbook/ChartPoints.h"
#include "app/workbook/ClassicNumbers.h"
#include "app/workbook/SheetCells.h"
#include "app/workbook/StartWorkbook.h"
#include "app/workbook/WorkbookFile.h"

namespace workbook {

namespace {

// A chart point's time: the time of day, with the date in front only for a session that passes
// midnight (the date of one that does not is in the axis's title, so the labels stay short).
std::string ChartTimeText(int64_t localMs, bool withDate) {
    std::string out = withDate ? record::DateText(localMs) + ' ' : std::string();
    const record::CivilTime c = record::CivilFromMs(localMs);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", c.hour, c.minute, c.second, c.millisecond);
    return out + text;
}

int64_t LocalDay(int64_t localMs) { return (localMs >= 0 ? localMs : localMs - record::kMsPerDay + 1) / record::kMsPerDay; }

// The Records sheets' columns: the session file's, with the offset beside the time.
enum RecordsColumn : lxw_col_t {
    kTime, kOffset, kNumber, kKind, kCar, kLastLb, kLastLbText, kDrive, kBrake, kLane, kUnitId, kUnitName, kBytesHex,
    kRecordsColumns
};

class Writer {
public:
    Writer(lxw_workbook* book, const ExportOptions& options)
        : FBook(book), FOptions(options), FCells(book), FBold(FCells.Bold()), FTime(FCells.DateTimeMs()) {}

    lxw_error Check(lxw_error e) { return FCells.Check(e); }
    lxw_error Error() const { return FCells.Error(); }
    bool Overflowed() const { return FSheetFailed; }

    void AddRecord(const session::ScannedRow& row) {
        if (FSheet == nullptr || FRow > FOptions.rowsPerSheet) NewRecordsSheet();
        if (FSheet == nullptr) return;
        const auto r = static_cast<lxw_row_t>(FRow);
        const bool status = row.kind == record::Kind::Status;
        Check(worksheet_write_number(FSheet, r, kTime, SpreadsheetTime(row.time.LocalMs()), FTime));
        Check(worksheet_write_string(FSheet, r, kOffset, OffsetText(row.time.utcOffsetMinutes).c_str(), nullptr));
        Check(worksheet_write_number(FSheet, r, kNumber, static_cast<double>(row.number), nullptr));
        Check(worksheet_write_string(FSheet, r, kKind, status ? "status" : "name", nullptr));
        if (status) {
            Check(worksheet_write_number(FSheet, r, kCar, row.car, nullptr));
            Check(worksheet_write_number(FSheet, r, kLastLb, row.lastLb, nullptr));
            Check(worksheet_write_string(FSheet, r, kLastLbText, record::LastLbText(row.lastLb).c_str(), nullptr));
            Check(worksheet_write_number(FSheet, r, kDrive, row.drivePwm, nullptr));
            Check(worksheet_write_number(FSheet, r, kBrake, row.brakePwm, nullptr));
            Check(worksheet_write_number(FSheet, r, kLane, row.laneChange ? 1 : 0, nullptr));
            FCharts.Add(row.car, row.clockMs, row.time.LocalMs(), row.drivePwm, row.brakePwm);
            FSummary.Add(row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange);
        }
        if (row.unitId >= 0) {
            Check(worksheet_write_number(FSheet, r, kUnitId, row.unitId, nullptr));
            Check(worksheet_write_string(FSheet, r, kUnitName, row.unitName.c_str(), nullptr));
        }
        // Text, so that a spreadsheet never reads "1234" or "12E4" as a number.
        Check(worksheet_write_string(FSheet, r, kBytesHex, record::HexEncode(row.bytes).c_str(), nullptr));
        ++FRow;
        ++FRecords;
    }

    void Finish() {
        if (FSheet == nullptr) NewRecordsSheet();  // a session without readable records still gets its header
        CloseRecordsSheet();
        WriteSummary();
        WriteCharts();
    }

    uint64_t Records() const { return FRecords; }
    int RecordSheets() const { return FSheets; }

private:
    void CloseRecordsSheet() {
        if (FSheet == nullptr) return;
        const auto last = static_cast<lxw_row_t>(FRow > 1 ? FRow - 1 : 1);
        Check(worksheet_autofilter(FSheet, 0, 0, last, kRecordsColumns - 1));
    }

    void NewRecordsSheet() {
        CloseRecordsSheet();
        ++FSheets;
        const std::string name = FSheets == 1 ? "Records" : "Records " + std::to_string(FSheets);
        FSheet = workbook_add_worksheet(FBook, name.c_str());
        if (FSheet == nullptr) {
            FSheetFailed = true;
            return;
        }
        worksheet_freeze_panes(FSheet, 1, 0);
        Check(worksheet_set_column(FSheet, kTime, kTime, 24, nullptr));
        Check(worksheet_set_column(FSheet, kOffset, kOffset, 10, nullptr));
        Check(worksheet_set_column(FSheet, kLastLbText, kLastLbText, 14, nullptr));
        Check(worksheet_set_column(FSheet, kUnitName, kUnitName, 16, nullptr));
        Check(worksheet_set_column(FSheet, kBytesHex, kBytesHex, 40, nullptr));
        static const std::string_view kOffsetName = "utc_offset";
        const record::Column sessionColumns[] = {
            record::kTimeColumn, record::kTimeColumn, record::kRecordColumn, record::kKindColumn, record::kCarColumn,
            record::kLastLbColumn, record::kLastLbTextColumn, record::kDrivePwmColumn, record::kBrakePwmColumn,
            record::kLaneChangeColumn, record::kUnitIdColumn, record::kUnitNameColumn, record::kBytesHexColumn};
        for (lxw_col_t c = 0; c < kRecordsColumns; ++c) {
            const std::string title(c == kOffset ? kOffsetName : record::ColumnName(sessionColumns[c]));
            Check(worksheet_write_string(FSheet, 0, c, title.c_str(), FBold));
        }
        FRow = 1;
    }

    void WriteSummary() {
        lxw_worksheet* sheet = workbook_add_worksheet(FBook, "Summary");
        if (sheet == nullptr) {
            FSheetFailed = true;
            return;
        }
        std::string header = chart::SummaryCsvHeader();
        while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) header.pop_back();
        lxw_col_t c = 0;
        for (size_t start = 0; start <= header.size(); ++c) {
            const size_t comma = std::min(header.find(',', start), header.size());
            Check(worksheet_write_string(sheet, 0, c, header.substr(start, comma - start).c_str(), FBold));
            start = comma + 1;
        }
        Check(worksheet_set_column(sheet, 0, c, 16, nullptr));
        worksheet_freeze_panes(sheet, 1, 0);
        const chart::Summary summary = FSummary.Result();
        lxw_row_t r = 1;
        for (const chart::CarSummary& car : summary.cars) {
            const std::vector<std::string> fields = chart::SummaryFields(car, summary.spanMs);
            for (lxw_col_t f = 0; f < fields.size(); ++f) {
                const std::string& text = fields[f];
                if (text.empty()) continue;  // no figure (a rate over no time), as the CSV leaves it
                char* end = nullptr;
                const double value = std::strtod(text.c_str(), &end);
                if (end == text.c_str() + text.size()) Check(worksheet_write_number(sheet, r, f, value, nullptr));
                else Check(worksheet_write_string(sheet, r, f, text.c_str(), nullptr));
            }
            ++r;
        }
    }

    // One chart per car over its reduced points, which sit to the right of the charts. Their
    // times are texts: a chart over date-time cells would be drawn on a day-wide date axis.
    void WriteCharts() {
        lxw_worksheet* sheet = workbook_add_worksheet(FBook, "Charts");
        if (sheet == nullptr) {
            FSheetFailed = true;
            return;
        }
        constexpr lxw_col_t kDataColumn = 12;  // M: past the charts
        constexpr lxw_row_t kChartRows = 22;
        const std::vector<uint8_t> cars = FCharts.Cars();
        std::vector<std::vector<ChartPoint>> points;
        size_t longest = 0;
        int64_t firstMs = INT64_MAX, lastMs = INT64_MIN;
        for (uint8_t car : cars) {
            points.push_back(FCharts.Points(car));
            longest = std::max(longest, points.back().size());
            for (const ChartPoint& p : points.back()) firstMs = std::min(firstMs, p.localMs), lastMs = std::max(lastMs, p.localMs);
        }
        const bool oneDay = cars.empty() || LocalDay(firstMs) == LocalDay(lastMs);
        const std::string axisName = oneDay && !cars.empty() ? "local time, " + record::DateText(firstMs) : "local time";
        for (size_t k = 0; k < cars.size(); ++k) {
            const auto base = static_cast<lxw_col_t>(kDataColumn + 3 * k);
            const std::string car = "car " + std::to_string(cars[k]);
            Check(worksheet_write_string(sheet, 0, base, (car + " time").c_str(), FBold));
            Check(worksheet_write_string(sheet, 0, base + 1, (car + " drive").c_str(), FBold));
            Check(worksheet_write_string(sheet, 0, base + 2, (car + " brake").c_str(), FBold));
            Check(worksheet_set_column(sheet, base, base, oneDay ? 13 : 24, nullptr));
        }
        // Row by row, as the streaming writer needs.
        for (size_t i = 0; i < longest; ++i) {
            const auto r = static_cast<lxw_row_t>(i + 1);
            for (size_t k = 0; k < cars.size(); ++k) {
                if (i >= points[k].size()) continue;
                const auto base = static_cast<lxw_col_t>(kDataColumn + 3 * k);
                const ChartPoint& p = points[k][i];
                Check(worksheet_write_string(sheet, r, base, ChartTimeText(p.localMs, !oneDay).c_str(), nullptr));
                Check(worksheet_write_number(sheet, r, base + 1, p.drive, nullptr));
                Check(worksheet_write_number(sheet, r, base + 2, p.brake, nullptr));
            }
        }
        for (size_t k = 0; k < cars.size(); ++k) {
            lxw_chart* chart = workbook_add_chart(FBook, LXW_CHART_LINE);
            const std::string title = "Car " + std::to_string(cars[k]);
            chart_title_set_name(chart, title.c_str());
            const auto base = static_cast<lxw_col_t>(kDataColumn + 3 * k);
            const auto last = static_cast<lxw_row_t>(points[k].size());
            const char* const names[] = {"drive", "brake"};
            for (lxw_col_t s = 0; s < 2; ++s) {
                lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
                chart_series_set_categories(series, "Charts", 1, base, last, base);
                chart_series_set_values(series, "Charts", 1, base + 1 + s, last, base + 1 + s);
                chart_series_set_name(series, names[s]);
            }
            chart_axis_set_name(chart->x_axis, axisName.c_str());
            // About six time labels, each standing clear of the next, however many points.
            const auto every = static_cast<uint16_t>(std::clamp<size_t>(points[k].size() / 6, 1, UINT16_MAX));
            chart_axis_set_interval_unit(chart->x_axis, every);
            chart_axis_set_interval_tick(chart->x_axis, every);
            lxw_chart_font labels{};
            labels.rotation = -30;  // slanted, so that neighbours never run into each other
            chart_axis_set_num_font(chart->x_axis, &labels);
            chart_axis_set_name(chart->y_axis, "PWM");
            chart_axis_set_min(chart->y_axis, 0);
            chart_axis_set_max(chart->y_axis, 255);
            lxw_chart_options placement{};
            placement.x_scale = 1.6;
            placement.y_scale = 1.4;
            Check(worksheet_insert_chart_opt(sheet, static_cast<lxw_row_t>(1 + k * kChartRows), 0, chart, &placement));
        }
    }

    lxw_workbook* FBook;
    const ExportOptions& FOptions;
    SheetCells FCells;
    lxw_format* FBold;
    lxw_format* FTime;
    lxw_worksheet* FSheet = nullptr;
    uint64_t FRow = 0;
    uint64_t FRecords = 0;
    int FSheets = 0;
    bool FSheetFailed = false;
    ChartPoints FCharts;
    chart::SummaryAccumulator FSummary;
};

} // namespace

bool WorkbookSupported() { return true; }

ExportResult ExportSessionWorkbook(const std::filesystem::path& session, const std::filesystem::path& destination,
                                   const ExportOptions& options) {
    const ClassicNumbers classicNumbers;  // until the workbook is closed, and the summary's figures are read
    ExportResult result;
    const auto fail = [&](const std::string& why) {
        result.status = ExportResult::Status::Failed;
        result.error = why;
        return result;
    };
    if (const auto problem = DestinationProblem(session, destination)) return fail(*problem);
    const std::filesystem::path partial = PartialPath(destination);
    lxw_workbook* book = StartWorkbook(partial, true);  // a long session's sheets pass 4 GB before compression
    if (book == nullptr) return fail(session::PathText(destination) + ": the workbook could not be started");

    Writer writer(book, options);
    bool cancelled = false;
    uint64_t sinceAsked = 0;
    session::ScanControl control;
    const session::ScanResult scan = session::ScanSessionFile(
        session,
        [&](const session::ScannedRow& row) {
            if (cancelled) return;
            if (options.fromMs && row.clockMs < *options.fromMs) return;
            if (options.toMs && row.clockMs > *options.toMs) return;
            writer.AddRecord(row);
            if (++sinceAsked >= 4096) {
                sinceAsked = 0;
                if (options.cancelled && options.cancelled()) {
                    cancelled = true;
                    control.Cancel();
                }
            }
        },
        &control, record::Texts::Read);
    if (scan.status == session::ScanStatus::Done && !cancelled) writer.Finish();
    const lxw_error closed = workbook_close(book);  // also frees the workbook

    if (cancelled || scan.status == session::ScanStatus::Cancelled) {
        Discard(partial);
        result.status = ExportResult::Status::Cancelled;
        return result;
    }
    if (scan.status != session::ScanStatus::Done) {
        Discard(partial);
        return fail(scan.error);
    }
    const lxw_error first = writer.Error() != LXW_NO_ERROR ? writer.Error() : closed;
    if (first != LXW_NO_ERROR || writer.Overflowed()) {
        Discard(partial);
        return fail(session::PathText(destination) + ": the workbook could not be written" +
                    (first != LXW_NO_ERROR ? std::string(": ") + lxw_strerror(first) : std::string()));
    }
    if (const auto problem = PutInPlace(partial, destination)) return fail(*problem);
    result.status = ExportResult::Status::Done;
    result.records = writer.Records();
    result.skippedRows = scan.skippedRows;
    result.recordSheets = writer.RecordSheets();
    return result;
}

} // namespace workbook
