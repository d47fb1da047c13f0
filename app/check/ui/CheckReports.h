#pragma once
// Each finished check kept: a one-page PDF report in the checks folder and a row appended to
// checks.csv there; a car's earlier checks read back from that file, or all of them written out
// as a spreadsheet workbook. The file work runs on threads of its own, one job after another so
// that each sees what the one before wrote; the answers come back on the window's thread, so the
// window never waits on a file.
#include <QDateTime>
#include <QFont>
#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/chart/Picture.h"
#include "app/check/CarCheck.h"
#include "app/workbook/WorkbookExport.h"
#include "toolkit/qt/BackgroundJobs.h"

namespace check::ui {

struct CheckReport {
    QDateTime time;
    QString unit;  // the unit's name and number as known, or empty
    CarResult result;
    Thresholds thresholds;
    chart::Picture sweep, strip, table;
};

// One earlier check of a car, as checks.csv holds it: its columns by name.
struct PastCheck {
    std::map<std::string, std::string> columns;
    std::string Get(const std::string& name) const;
};

// The columns of checks.csv: time and unit, then those of the offline check.
std::string ChecksCsvHeader();
std::string ChecksCsvRow(const CheckReport& report);
// A CSV line split into its fields (quotes undone).
std::vector<std::string> SplitCsvLine(const std::string& line);
// The earlier checks of car in checks.csv's text, oldest first.
std::vector<PastCheck> PastChecksOf(const std::string& csvText, int car);
// What changed from one check to the next, one line per figure ("highest drive 255 -> 238").
std::vector<std::string> ChangesSince(const PastCheck& before, const PastCheck& now);
// The report's file name: check-<date>-<time>-car<N>.pdf
QString ReportFileName(const CheckReport& report);
// Writes the report as a one-page PDF; the reason on failure.
bool WriteReportPdf(const CheckReport& report, const QString& path, const QFont& font, QString& error);

class CheckReports : public QObject {
public:
    explicit CheckReports(std::filesystem::path folder, QObject* parent = nullptr);
    // Never waits on the files: what was handed over is written all the same, by its own thread
    // (and before the program ends).
    ~CheckReports() override;

    const std::filesystem::path& Folder() const { return FFolder; }

    // Writes the PDF and appends the CSV row; then Written is called, and History with the car's
    // checks as the file now holds them.
    void Keep(CheckReport report);
    // Reads the car's earlier checks; History is called with them.
    void LoadHistory(int car);

    // checks.csv as a workbook at destination (a Checks sheet), only car's checks when set; then
    // Exported is called with the outcome.
    void ExportWorkbook(const QString& destination, std::optional<int> car);

    std::function<void(const QString& pdfPath, const QString& error)> Written;
    std::function<void(int car, const std::vector<PastCheck>& checks)> History;
    std::function<void(const QString& destination, const workbook::ExportResult& result)> Exported;

    // Writes and readings whose answer has not come back yet.
    size_t UnderWay() const { return FJobs.Running(); }

private:
    std::filesystem::path FFolder;
    QFont FFont;
    toolkit::BackgroundJobs FJobs{*this, toolkit::BackgroundJobs::Order::OneAfterAnother};  // last: goes first
};

} // namespace check::ui
