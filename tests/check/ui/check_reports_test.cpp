// Each finished check kept: a one-page PDF with the unit, car, figures, thresholds and verdict
// as text; a row appended to checks.csv per check; the car's earlier checks shown with what
// changed. And the thresholds as the settings file sets them, bad values refused with a notice.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include "CheckStreams.h"
#include "QtWait.h"
#include "TestSettings.h"
#include "app/check/ui/CheckReports.h"
#include "app/check/ui/CheckWindow.h"
#include "app/check/ui/ThrottleCheckCommand.h"

using namespace check;
using namespace check::ui;
using checktest::BenchStream;
using testsupport::WaitWithQtEvents;
using unitsim::ThrottleModel;

namespace {
std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Runs a whole check of a throttle of `model` through the window; the report's PDF path.
QString CheckOnce(CheckWindow& window, ThrottleModel model, uint32_t seed, int64_t shiftMs) {
    QStringList kept;
    int history = 0;
    const auto a = QObject::connect(&window, &CheckWindow::ReportKept, [&](const QString& pdf) { kept << pdf; });
    const auto b = QObject::connect(&window, &CheckWindow::HistoryShown, [&] { ++history; });
    for (Sample s : BenchStream(model, 200, 20, seed)) {
        s.ms += shiftMs;
        window.Take(s);
    }
    EXPECT_TRUE(WaitWithQtEvents([&] { return kept.size() == 1 && history >= 2; }))
        << "the report, and the history read as the car was chosen and again once the row is in";
    QObject::disconnect(a);
    QObject::disconnect(b);
    return kept.isEmpty() ? QString() : kept.front();
}
} // namespace

TEST(CheckReports, EachCheckIsKeptAsAOnePagePdfAndACsvRowAndTheHistoryShowsWhatChanged) {
    QTemporaryDir dir;
    const std::filesystem::path folder = std::filesystem::path(dir.path().toStdString()) / "checks";
    CheckWindow::Options options;
    options.reports = std::make_shared<CheckReports>(folder);
    CheckWindow window(options);
    window.SetUnit(QStringLiteral("Bench (7)"));
    window.show();

    const QString first = CheckOnce(window, ThrottleModel::Healthy, 7, 0);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(QFileInfo(first).absolutePath() == QDir(QString::fromStdString(folder.string())).absolutePath());
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {first}).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
    const QString text = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), first, QStringLiteral("-")});
    for (const char* wanted : {"Throttle check, car 1", "Unit: Bench (7)", "Date and time:", "Verdict: ok", "Highest drive held",
                               "at least 250", "Drive at rest", "at most 0", "Records a second", "Start point"}) {
        EXPECT_TRUE(text.contains(QString::fromLatin1(wanted))) << wanted << " in\n" << text.toStdString();
    }
    EXPECT_TRUE(window.HistoryText().contains(QStringLiteral("ok"))) << window.HistoryText().toStdString();

    // The same car again, now short of full: a second row, and the change shown.
    window.RestartButton->click();
    const QString second = CheckOnce(window, ThrottleModel::Short, 8, 60'000);
    ASSERT_FALSE(second.isEmpty());
    const std::string csv = ReadFile(folder / "checks.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
    EXPECT_EQ(csv.rfind(ChecksCsvHeader(), 0), 0u) << "one header, first";
    const std::vector<PastCheck> past = PastChecksOf(csv, 1);
    ASSERT_EQ(past.size(), 2u);
    EXPECT_EQ(past[0].Get("verdict"), "ok");
    EXPECT_EQ(past[1].Get("verdict"), "check");
    EXPECT_EQ(past[1].Get("findings"), "short_range");
    EXPECT_EQ(past[1].Get("unit"), "Bench (7)");
    const QString shown = window.HistoryText();
    EXPECT_TRUE(shown.contains(QStringLiteral("Since the check before:"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromStdString("highest drive " + past[0].Get("max_drive") + " \u2192 " + past[1].Get("max_drive"))))
        << shown.toStdString();

    // The car's checks as a workbook, written off the window's thread; the notice holds nothing up.
    QStringList notices;
    QObject::connect(&window, &CheckWindow::ChecksExported, [&](const QString& notice) { notices << notice; });
    const QString book = dir.filePath(QStringLiteral("car1"));
    ASSERT_TRUE(window.ExportChecks(book, true));
    EXPECT_FALSE(window.ExportButton->isEnabled()) << "one export at a time";
    ASSERT_TRUE(WaitWithQtEvents([&] { return !notices.isEmpty(); }));
    if (workbook::WorkbookSupported()) {
        EXPECT_TRUE(notices.front().startsWith(QStringLiteral("2 checks exported to"))) << notices.front().toStdString();
        EXPECT_TRUE(QFileInfo::exists(book + QStringLiteral(".xlsx")));
    } else {
        EXPECT_TRUE(notices.front().contains(QStringLiteral("not in this build"))) << notices.front().toStdString();
    }
    ASSERT_NE(window.ExportNotice(), nullptr);
    EXPECT_FALSE(window.ExportNotice()->isModal());
    EXPECT_TRUE(window.ExportButton->isEnabled() == workbook::WorkbookSupported());
}

TEST(CheckReports, CsvFieldsAndHistoryOfOneCarAmongOthers) {
    EXPECT_EQ(SplitCsvLine("a,\"b, \"\"c\"\"\",,d\r"), (std::vector<std::string>{"a", "b, \"c\"", "", "d"}));
    const std::string csv = "time,unit,car,verdict,max_drive\n"
                            "t1,\"U, 1\",2,ok,255\n"
                            "t2,U,3,ok,255\n"
                            "t3,U,2,check,238\n";
    const std::vector<PastCheck> two = PastChecksOf(csv, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].Get("unit"), "U, 1");
    EXPECT_EQ(ChangesSince(two[0], two[1]), (std::vector<std::string>{"verdict ok \u2192 check", "highest drive 255 \u2192 238"}));
    EXPECT_TRUE(ChangesSince(two[1], two[1]).empty());
    EXPECT_TRUE(PastChecksOf("garbage without a header\n1,2,3\n", 1).empty());
}

TEST(CheckReports, ThresholdsComeFromTheSettingsAndBadValuesAreRefused) {
    QTemporaryDir dir;
    testsupport::UseSettingsIn(dir.path(), QStringLiteral("check-thresholds"));
    QSettings settings;
    settings.setValue(QStringLiteral("Check/FullDriveMin"), 240);
    settings.setValue(QStringLiteral("Check/BounceMs"), QStringLiteral("soon"));
    settings.setValue(QStringLiteral("Check/RestDriveMax"), 999);
    settings.sync();
    std::vector<std::string> notices;
    const Thresholds t = ThrottleCheckCommand::ThresholdsFromSettings(notices);
    EXPECT_EQ(t.fullDriveMin, 240);
    EXPECT_EQ(t.bounceMs, Thresholds{}.bounceMs);
    EXPECT_EQ(t.restDriveMax, Thresholds{}.restDriveMax);
    ASSERT_EQ(notices.size(), 2u);

    // The window tells them without a box in the way, and judges by the values taken.
    CheckWindow::Options options;
    options.thresholds = t;
    options.thresholdNotices = notices;
    CheckWindow window(options);
    window.show();
    EXPECT_TRUE(window.WarningText().contains(QStringLiteral("Check/BounceMs"))) << window.WarningText().toStdString();
    EXPECT_TRUE(window.WarningText().contains(QStringLiteral("Check/RestDriveMax")));
    EXPECT_EQ(window.Limits().fullDriveMin, 240);
}
