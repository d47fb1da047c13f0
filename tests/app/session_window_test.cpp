// The session window, offscreen, on hand-made session files: opening (command, command line,
// dropped file), zooming and panning, the cursor and its table against the file's rows,
// playback, export, and files that are not sessions. Also the live plot's per-car summary.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "QtWait.h"
#include "TestSettings.h"
#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/ReceiveDecoder.h"
#include "app/plot/PlotWindow.h"
#include "app/plot/ThrottlePlot.h"
#include "app/session/ui/SessionOpening.h"
#include "app/session/ui/SessionWindow.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/FileName.h"

namespace {

using session::ui::SessionOpener;
using session::ui::SessionWindow;
using chart::TimeView;

// The middle row of a rectangle of the plot's layout.
int MiddleY(const chart::Rect& r) { return r.y + r.height / 2; }

const char* const kHeader =
    "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n";

// 9:00:00 local time at UTC+01:00, in UTC milliseconds.
constexpr int64_t kBaseUtcMs = 1796630400000;  // 2026-12-07T08:00:00Z
constexpr int kStatusRows = 300;
constexpr int kStepMs = 20;

std::string TimeText(int64_t msAfterBase) {
    const int64_t ms = 9 * 3600000 + msAfterBase;
    char text[64];
    std::snprintf(text, sizeof text, "2026-12-07T%02d:%02d:%02d.%03d+01:00", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return text;
}

// A row of the file as the table should show it.
struct FileRow {
    std::vector<std::string> cells;  // Car, Time, Last LB, Drive PWM, Brake PWM, Lane Change
    uint64_t number = 0;
    int64_t msAfterBase = 0;
};

// A session of three cars, one status record every 20 ms in turn, after a name record. Car 3
// goes silent for two seconds; car 2 holds lane change over several records. Two rows cannot
// be read: one with a field missing, and the last, cut short as a capture still writing leaves it.
struct HandMadeSession {
    std::string text;
    std::vector<FileRow> rows;  // the readable ones, in file order

    HandMadeSession() {
        text = kHeader;
        text += TimeText(0) + ",1,name,,,,,,,5,BENCH-A,4e 05 42\n";
        rows.push_back({{"", "9:00:00.000", "", "", "", ""}, 1, 0});
        for (int i = 0; i < kStatusRows; ++i) {
            int car = 1 + i % 3;
            if (car == 3 && i >= 100 && i < 200) car = 1;
            const int lb = i % 40;
            const int drive = (i * 5) % 256, brake = i % 7 == 0 ? 200 : 0;
            const int lane = car == 2 && i >= 30 && i < 45 ? 1 : 0;
            const std::string lbText = LastLbText(static_cast<uint8_t>(lb));
            const std::string time = TimeText(int64_t{i} * kStepMs);
            const uint64_t number = static_cast<uint64_t>(i) + 2;
            text += time + "," + std::to_string(number) + ",status," + std::to_string(car) + "," + std::to_string(lb) +
                    ",\"" + lbText + "\"," + std::to_string(drive) + "," + std::to_string(brake) + "," +
                    std::to_string(lane) + ",5,BENCH-A,53 00\n";
            std::string shownTime = time.substr(11, 12);
            if (shownTime[0] == '0') shownTime.erase(0, 1);
            rows.push_back({{std::to_string(car), shownTime, lbText, std::to_string(drive), std::to_string(brake),
                             lane != 0 ? "Yes" : "No"},
                            number,
                            int64_t{i} * kStepMs});
            if (i == 150) text += TimeText(int64_t{i} * kStepMs) + ",999,status,1,2,3\n";  // fields missing
        }
        text += TimeText(int64_t{kStatusRows} * kStepMs) + ",302,status,1,0,no LB";  // being written
    }
};

bool WriteText(const QString& path, const std::string& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

void SendKey(QWidget* to, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &press);
}

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, to->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &e);
}

void Drag(QWidget* to, QPoint from, QPoint till) {
    SendMouse(to, QEvent::MouseButtonPress, from, Qt::LeftButton);
    SendMouse(to, QEvent::MouseMove, (from + till) / 2, Qt::LeftButton);
    SendMouse(to, QEvent::MouseMove, till, Qt::LeftButton);
    SendMouse(to, QEvent::MouseButtonRelease, till, Qt::NoButton);
}

// Sends a whole drag and drop of mime onto a widget; true when the drop was taken.
bool DropOn(QWidget* target, QMimeData* mime) {
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

class SessionWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QTemporaryDir settingsDir;
    HandMadeSession made;
    QString sessionPath;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<SessionOpener> opener;
    QStringList errors;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        testsupport::UseSettingsIn(settingsDir.path(), QStringLiteral("session-window-test"));
        sessionPath = dir.filePath(QStringLiteral("2026-12-07_09-00-00_unit5_BENCH-A.csv"));
        ASSERT_TRUE(WriteText(sessionPath, made.text));
        TForm1::Options o;
        o.portList.sysfsRoot = "/nonexistent-sysfs";
        o.portList.extraPortsEnv = "TORVANE_SESSION_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        opener = std::make_unique<SessionOpener>(*form);
        opener->ShowError = [this](const QString& message) { errors << message; };
    }
    void TearDown() override {
        opener.reset();
        form.reset();  // and with it the session windows
    }

    // Opens through the opener and waits until the file has been looked at: its window, or
    // nullptr once the reason was told.
    SessionWindow* OpenWindow(const QString& path) {
        bool ended = false;
        SessionWindow* opened = nullptr;
        const auto told = opener->OnOpeningEnded;
        opener->OnOpeningEnded = [&](const std::filesystem::path& p, SessionWindow* w) {
            if (told) told(p, w);
            ended = true;
            opened = w;
        };
        opener->Open(toolkit::PathFromText(path));
        EXPECT_TRUE(testsupport::WaitWithQtEvents([&] { return ended; })) << path.toStdString();
        opener->OnOpeningEnded = nullptr;
        return opened;
    }

    SessionWindow* OpenAndWait(const QString& path) {
        SessionWindow* w = OpenWindow(path);
        if (w == nullptr) return nullptr;
        const QPointer<SessionWindow> alive(w);
        EXPECT_TRUE(testsupport::WaitWithQtEvents([&] { return alive.isNull() || alive->GetState() != SessionWindow::State::Loading; }));
        return alive.data();
    }

    std::vector<SessionWindow*> SessionWindowsOfForm() const {
        std::vector<SessionWindow*> found;
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (auto* s = dynamic_cast<SessionWindow*>(w)) found.push_back(s);
        }
        return found;
    }

    // The table shows the file's rows around the cursor, the cursor's marked.
    void ExpectTableAtCursor(SessionWindow& w) {
        ASSERT_TRUE(w.CursorIndex());
        const size_t cursor = *w.CursorIndex();
        ASSERT_LT(cursor, made.rows.size());
        const int row = w.Table->SelectionRow();
        ASSERT_GE(row, 1);
        for (int r = 1; r < w.Table->RowCount(); ++r) {
            const int64_t index = static_cast<int64_t>(cursor) + (r - row);
            for (int c = 0; c < 6; ++c) {
                const std::string expected =
                    index >= 0 && index < static_cast<int64_t>(made.rows.size()) ? made.rows[static_cast<size_t>(index)].cells[static_cast<size_t>(c)] : "";
                EXPECT_EQ(w.Table->Cell(c, r).toStdString(), expected) << "cursor " << cursor << ", table row " << r << ", column " << c;
            }
        }
        EXPECT_EQ(w.CursorRecordNumber(), made.rows[cursor].number);
        EXPECT_TRUE(w.CursorLabel->text().contains(QString::fromStdString(made.rows[cursor].cells[1])));
        EXPECT_TRUE(w.CursorLabel->text().contains(QStringLiteral("Record %1 ").arg(made.rows[cursor].number)));
    }
};

TEST_F(SessionWindowTest, OpensAsItsOwnWindowAndSaysWhatWasSkipped) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready) << w->ErrorText().toStdString();
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(w->isVisible());
    EXPECT_NE(w, static_cast<QWidget*>(form.get()));
    EXPECT_EQ(w->Data()->RecordCount(), made.rows.size());
    EXPECT_EQ(w->Data()->SkippedRows(), 2u);
    const QString info = w->InfoLabel->text();
    EXPECT_TRUE(info.contains(QStringLiteral("2 rows could not be read"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("being written"))) << info.toStdString();
    EXPECT_FALSE(w->Progress->isVisible());
    EXPECT_FALSE(w->CancelButton->isVisible());
    EXPECT_EQ(w->Legend->count(), 3);
    EXPECT_EQ(w->Summary->rowCount(), 3);
    EXPECT_EQ(w->Summary->RowTexts(1).first(), QStringLiteral("2"));
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(0));
    ExpectTableAtCursor(*w);
    EXPECT_TRUE(form->isEnabled()) << "the capture window goes on";
}

TEST_F(SessionWindowTest, CursorMovesByKeyAndClickAndTheTableFollowsTheFile) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);
    QWidget* keys = w->Canvas;  // has the focus; keys it leaves go to the window

    for (int i = 0; i < 3; ++i) SendKey(keys, Qt::Key_Right);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(3));
    ExpectTableAtCursor(*w);
    SendKey(keys, Qt::Key_Left);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(2));
    SendKey(keys, Qt::Key_PageDown);
    EXPECT_GT(*w->CursorIndex(), 3u);
    ExpectTableAtCursor(*w);
    SendKey(keys, Qt::Key_End);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(made.rows.size() - 1));
    ExpectTableAtCursor(*w);  // the last row at the bottom: no row after it
    SendKey(keys, Qt::Key_Right);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(made.rows.size() - 1)) << "stays on the last record";
    SendKey(keys, Qt::Key_Home);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(0));
    SendKey(keys, Qt::Key_Left);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(0));

    // A click on the plot puts the cursor on the record nearest that time.
    const size_t target = 151;  // status record 150, 3 s in
    const chart::PlotLayout layout = w->Canvas->Layout();
    const double x = chart::XForTime(layout, w->View(), kBaseUtcMs + made.rows[target].msAfterBase);
    const QPoint at(static_cast<int>(x), MiddleY(layout.drive));
    SendMouse(w->Canvas, QEvent::MouseButtonPress, at, Qt::LeftButton);
    SendMouse(w->Canvas, QEvent::MouseButtonRelease, at, Qt::NoButton);
    ASSERT_TRUE(w->CursorIndex());
    const int64_t msPerPx = w->View().SpanMs() / layout.drive.width + 1;
    EXPECT_NEAR(static_cast<double>(made.rows[*w->CursorIndex()].msAfterBase),
                static_cast<double>(made.rows[target].msAfterBase), static_cast<double>(msPerPx + kStepMs));
    ExpectTableAtCursor(*w);
    EXPECT_EQ(w->Canvas->Picture().cursorX, at.x());
}

TEST_F(SessionWindowTest, ZoomAndPanStayInsideTheSession) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);
    const TimeView whole{kBaseUtcMs, kBaseUtcMs + int64_t{kStatusRows - 1} * kStepMs + 1};
    EXPECT_EQ(w->View(), whole);
    QWidget* keys = w->Canvas;

    SendKey(keys, Qt::Key_Plus);
    EXPECT_NEAR(static_cast<double>(w->View().SpanMs()), whole.SpanMs() / 2.0, 1.0);
    SendKey(keys, Qt::Key_Minus);
    SendKey(keys, Qt::Key_Minus);
    EXPECT_EQ(w->View(), whole) << "no further out than the whole session";

    // The wheel zooms around the pointer: the time under it stays there.
    const chart::PlotLayout layout = w->Canvas->Layout();
    const QPointF pointer(layout.drive.Left() + layout.drive.width / 4.0, MiddleY(layout.drive));
    const int64_t under = chart::TimeForX(layout, w->View(), pointer.x());
    QWheelEvent wheel(pointer, w->Canvas->mapToGlobal(pointer), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w->Canvas, &wheel);
    EXPECT_NEAR(static_cast<double>(w->View().SpanMs()), whole.SpanMs() / 1.5625, 2.0);
    EXPECT_NEAR(static_cast<double>(chart::TimeForX(layout, w->View(), pointer.x())), static_cast<double>(under),
                static_cast<double>(w->View().SpanMs()) / layout.drive.width + 1);

    // A range dragged on the time axis becomes the view.
    w->ShowWhole();
    const int y = MiddleY(layout.axis);
    const int from = layout.drive.Left() + 100, till = layout.drive.Left() + 300;
    const int64_t fromMs = chart::TimeForX(layout, w->View(), from);
    const int64_t tillMs = chart::TimeForX(layout, w->View(), till + 1);
    Drag(w->Canvas, QPoint(from, y), QPoint(till, y));
    EXPECT_EQ(w->View(), (TimeView{fromMs, tillMs}));

    // Dragging the plot pans it (and is no click: the cursor stays).
    const size_t cursor = *w->CursorIndex();
    const TimeView before = w->View();
    const double msPerPx = static_cast<double>(before.SpanMs()) / layout.drive.width;
    Drag(w->Canvas, QPoint(from + 100, MiddleY(layout.drive)), QPoint(from, MiddleY(layout.drive)));
    EXPECT_EQ(w->View().SpanMs(), before.SpanMs());
    EXPECT_NEAR(static_cast<double>(w->View().startMs - before.startMs), 100 * msPerPx, 2.0);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(cursor));

    // Panning and the scroll bar stop at the ends; zoom stops at a tenth of a second.
    w->PanBy(-10 * whole.SpanMs());
    EXPECT_EQ(w->View().startMs, whole.startMs);
    w->ScrollBar->setValue(w->ScrollBar->maximum());
    EXPECT_EQ(w->View().endMs, whole.endMs);
    w->ZoomBy(1e9);
    EXPECT_EQ(w->View().SpanMs(), SessionWindow::kMinSpanMs);
    EXPECT_GE(w->View().startMs, whole.startMs);
    EXPECT_LE(w->View().endMs, whole.endMs);
    w->WholeButton->click();
    EXPECT_EQ(w->View(), whole);
}

TEST_F(SessionWindowTest, ThePictureCostsPixelsNotRecordsAndShowsSilenceAndLaneChanges) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);
    w->resize(700, 600);  // fewer pixel columns than records
    const chart::Picture picture = w->Canvas->Picture();
    ASSERT_EQ(picture.cars.size(), 3u);
    for (const chart::CarCurves& car : picture.cars) {
        qsizetype points = 0;
        for (const auto& line : car.drive) points += static_cast<qsizetype>(line.size());
        EXPECT_LE(points, 4 * picture.layout.drive.width) << "car " << int{car.car};
        const size_t expectedLines = car.car == 3 ? 2 : 1;  // car 3's two silent seconds break its line
        EXPECT_EQ(car.drive.size(), expectedLines) << "car " << int{car.car};
        EXPECT_EQ(car.brake.size(), expectedLines) << "car " << int{car.car};
        EXPECT_EQ(car.laneMarks.empty(), car.car != 2) << "car " << int{car.car};
    }
    // A hidden car is not drawn.
    const QPoint legendAt = w->Legend->visualItemRect(w->Legend->item(2)).center();
    SendMouse(w->Legend->viewport(), QEvent::MouseButtonPress, legendAt, Qt::LeftButton);
    SendMouse(w->Legend->viewport(), QEvent::MouseButtonRelease, legendAt, Qt::NoButton);
    EXPECT_TRUE(w->Canvas->IsHidden(3));
    EXPECT_EQ(w->Canvas->Picture().cars.size(), 2u);
}

TEST_F(SessionWindowTest, PlaybackMovesTheCursorAtTheRecordedPace) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);
    w->ShowRange(kBaseUtcMs, kBaseUtcMs + 500);
    w->SetCursor(1);  // the first status record, at 0 ms
    w->SetPlaying(true);
    ASSERT_TRUE(w->Playing());
    EXPECT_EQ(w->PlayButton->text(), QStringLiteral("Pause"));
    // Driven by hand, not by the clock: the elapsed time is given.
    w->AdvancePlayback(100);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(1 + 100 / kStepMs));
    w->SetSpeed(10);
    EXPECT_EQ(w->SpeedBox->currentText(), QStringLiteral("10x"));
    w->AdvancePlayback(100);
    const size_t at = 1 + 1100 / kStepMs;
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(at));
    ExpectTableAtCursor(*w);
    const int64_t t = kBaseUtcMs + made.rows[at].msAfterBase;
    EXPECT_TRUE(t >= w->View().startMs && t < w->View().endMs) << "the view follows the cursor";
    EXPECT_EQ(w->View().SpanMs(), 500) << "at the same zoom";
    w->AdvancePlayback(3600 * 1000);
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(made.rows.size() - 1));
    EXPECT_FALSE(w->Playing()) << "stops at the end";
    EXPECT_EQ(w->PlayButton->text(), QStringLiteral("Play"));
    SendKey(w->Canvas, Qt::Key_Space);
    EXPECT_TRUE(w->Playing()) << "from the start again";
    EXPECT_EQ(w->CursorIndex(), std::optional<size_t>(0));
    SendKey(w->Canvas, Qt::Key_Space);
    EXPECT_FALSE(w->Playing());
}

TEST_F(SessionWindowTest, ExportWritesThePlotAsShownAndTheSummary) {
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready);
    w->Canvas->SetHidden(3, true);
    w->SetCursor(100);

    // Written on a thread of their own; each says when it has ended.
    QStringList ended, failures;
    w->OnExported = [&](const QString& path, const QString& error) {
        ended << QFileInfo(path).fileName();
        if (!error.isEmpty()) failures << error;
    };
    const auto waitForExports = [&](qsizetype count) {
        return testsupport::WaitWithQtEvents([&] { return ended.size() == count; });
    };
    // The picture is made as the export is asked for; the window may settle further while the
    // file is written.
    const QString png = dir.filePath(QStringLiteral("plot.png"));
    const QImage shown = w->Canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    w->ExportPlot(png);
    ASSERT_TRUE(waitForExports(1));
    QImage written(png);
    ASSERT_FALSE(written.isNull());
    ASSERT_GT(written.width(), shown.width()) << "the legend beside the plot";
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32).copy(shown.rect()), shown) << "the plot as the window shows it";

    QStringList asked;
    w->AskSavePath = [&](const QString& title, const QString& filter) {
        asked << filter;
        return dir.filePath(title.contains(QStringLiteral("plot")) ? QStringLiteral("plot.svg") : QStringLiteral("summary.csv"));
    };
    w->ExportPlotButton->click();
    w->ExportSummaryButton->click();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("*.svg")));
    ASSERT_TRUE(waitForExports(3));
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(w->ExportNotice(), nullptr) << "nothing to tell of a file written";

    QFile svgFile(dir.filePath(QStringLiteral("plot.svg")));
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svg = svgFile.readAll();
    QXmlStreamReader xml(svg);
    int polylines = 0;
    QStringList groups, legend;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("polyline")) ++polylines;
        if (xml.name() == QLatin1String("g")) groups << xml.attributes().value(QStringLiteral("id")).toString();
        if (xml.name() == QLatin1String("text") && groups.last() == QLatin1String("legend")) legend << xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(groups.contains(QStringLiteral("car-1")));
    EXPECT_TRUE(groups.contains(QStringLiteral("car-2")));
    EXPECT_FALSE(groups.contains(QStringLiteral("car-3"))) << "hidden, as in the window";
    EXPECT_GE(polylines, 4);
    EXPECT_EQ(legend, QStringList({QStringLiteral("Car 1"), QStringLiteral("Car 2"), QStringLiteral("Car 3 (hidden)")}));
    EXPECT_TRUE(svg.contains("9:00:0")) << "time labels in the records' local time";

    QFile csv(dir.filePath(QStringLiteral("summary.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray summary = csv.readAll();
    EXPECT_EQ(summary.toStdString(), chart::SummaryCsv(w->Data()->GetSummary()));
    EXPECT_TRUE(summary.startsWith("car,records,records_per_s,longest_gap_ms,"));
    EXPECT_EQ(summary.count('\n'), 4) << "header and three cars";

    // A failure is told in a notice that holds nothing up; a FIFO is refused, not waited on.
    w->ExportSummaryCsv(dir.filePath(QStringLiteral("no-such-folder/summary.csv")));
    ASSERT_TRUE(waitForExports(4));
    ASSERT_NE(w->ExportNotice(), nullptr);
    EXPECT_FALSE(w->ExportNotice()->isModal());
    EXPECT_EQ(w->ExportNotice()->icon(), QMessageBox::Warning);
    EXPECT_TRUE(w->ExportNotice()->text().startsWith(QStringLiteral("Could not save the summary to \"")))
        << w->ExportNotice()->text().toStdString();
    const QString fifo = dir.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    w->ExportPlot(fifo);
    ASSERT_TRUE(waitForExports(5));
    EXPECT_TRUE(w->ExportNotice()->text().contains(QStringLiteral("it is a FIFO, not a file"))) << w->ExportNotice()->text().toStdString();
    EXPECT_EQ(failures.size(), 2);
}

TEST_F(SessionWindowTest, ExportToExcelRunsOffTheWindowAndTellsTheOutcomeWithoutHoldingItUp) {
    if (!workbook::WorkbookSupported()) GTEST_SKIP() << "no workbook library in this build";
    SessionWindow* w = OpenAndWait(sessionPath);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->ExportWorkbookButton->isEnabled());
    const auto exportAndWait = [&](const QString& path, bool onlyShown) {
        EXPECT_TRUE(w->ExportWorkbook(path, onlyShown));
        EXPECT_FALSE(w->ExportWorkbookButton->isEnabled()) << "one export at a time";
        EXPECT_FALSE(w->ExportWorkbook(path, onlyShown));
        EXPECT_TRUE(testsupport::WaitWithQtEvents([&] { return !w->ExportingWorkbook() && w->ExportNotice() != nullptr &&
                                                              w->ExportNotice()->isVisible(); }));
        EXPECT_FALSE(w->ExportNotice()->isModal());
        EXPECT_TRUE(w->ExportWorkbookButton->isEnabled());
        return w->ExportNotice()->text();
    };
    const QString whole = exportAndWait(dir.filePath(QStringLiteral("whole")), false);  // ".xlsx" is added
    EXPECT_TRUE(whole.startsWith(QStringLiteral("%1 records exported to ").arg(w->Data()->RecordCount()))) << whole.toStdString();
    QFile written(dir.filePath(QStringLiteral("whole.xlsx")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.read(2) == "PK") << "a zip container";

    const TimeView all = w->View();
    w->ShowRange(all.startMs + all.SpanMs() / 4, all.startMs + all.SpanMs() / 2);
    const size_t shownRecords = w->Data()->LowerBound(w->View().endMs + 1) - w->Data()->LowerBound(w->View().startMs);
    const QString shown = exportAndWait(dir.filePath(QStringLiteral("shown.xlsx")), true);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("%1 records exported").arg(shownRecords))) << shown.toStdString();
    EXPECT_LT(shownRecords, w->Data()->RecordCount());

    const QString failed = exportAndWait(dir.filePath(QStringLiteral("no-such-folder/w.xlsx")), false);
    EXPECT_TRUE(failed.startsWith(QStringLiteral("Could not export to "))) << failed.toStdString();
    EXPECT_EQ(w->ExportNotice()->icon(), QMessageBox::Warning);
}

TEST_F(SessionWindowTest, AFileThatIsNotASessionSaysWhyAndOpensNoWindow) {
    // The capture table saved as CSV is the likeliest mistake.
    const QString table = dir.filePath(QStringLiteral("table.csv"));
    ASSERT_TRUE(WriteText(table, "Car,Time,Last LB,Drive PWM,Brake PWM,Lane Change\n1,9:00:00.000,3 R,10,0,No\n"));
    const QString empty = dir.filePath(QStringLiteral("empty.csv"));
    ASSERT_TRUE(WriteText(empty, ""));
    const QString binary = dir.filePath(QStringLiteral("binary.csv"));
    ASSERT_TRUE(WriteText(binary, std::string("\x00\xff\x13\"\n\x01", 6)));
    for (const QString& path : {table, empty, binary, dir.filePath(QStringLiteral("missing.csv")), dir.path()}) {
        errors.clear();
        EXPECT_EQ(OpenWindow(path), nullptr) << path.toStdString();
        ASSERT_EQ(errors.size(), 1) << path.toStdString();
        EXPECT_TRUE(errors[0].contains(QFileInfo(path).fileName())) << errors[0].toStdString();
    }
    EXPECT_TRUE(SessionWindowsOfForm().empty());
    EXPECT_TRUE(opener->Windows().empty());
}

// Opening a FIFO waits for a writer, a device for its driver: either is refused by its kind, at
// once, whichever way it came (dropped, the command, the command line), and the window goes on.
TEST_F(SessionWindowTest, AFifoOrADeviceIsRefusedByItsKindWithoutWaitingOnIt) {
    const QString fifo = dir.filePath(QStringLiteral("2026-12-07_09-00-00_unit5_PIPE.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    form->show();
    form->Start->SetCaption(QStringLiteral("Close"));  // as while capturing

    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(fifo)});
    EXPECT_TRUE(DropOn(form.get(), mime));
    delete mime;
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return errors.size() == 1; }));
    EXPECT_TRUE(errors[0].contains(fifo + QStringLiteral(": is a FIFO, not a session file"))) << errors[0].toStdString();

    errors.clear();
    EXPECT_EQ(OpenWindow(fifo), nullptr);  // as the command line and the command open
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("is a FIFO"))) << errors[0].toStdString();

    errors.clear();
    EXPECT_EQ(OpenWindow(QStringLiteral("/dev/null")), nullptr);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("/dev/null: is a character device"))) << errors[0].toStdString();

    EXPECT_TRUE(opener->Windows().empty());
    EXPECT_EQ(form->Start->Caption(), QStringLiteral("Close"));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(SessionWindowTest, CommandOpensSeveralSessionsAtOnce) {
    QAction* command = opener->Command();
    EXPECT_TRUE(form->actions().contains(command)) << "in the window's context menu";
    EXPECT_EQ(command->text(), QStringLiteral("Open session..."));
    EXPECT_EQ(command->shortcut(), QKeySequence(QKeySequence::Open));

    const QString second = dir.filePath(QStringLiteral("second.csv"));
    ASSERT_TRUE(QFile::copy(sessionPath, second));
    QStringList answers{sessionPath, second, QString()};
    opener->AskOpenPath = [&] { return answers.takeFirst(); };
    command->trigger();
    command->trigger();
    command->trigger();  // cancelled
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return opener->OpeningsUnderWay() == 0; }));
    const std::vector<SessionWindow*> windows = opener->Windows();
    ASSERT_EQ(windows.size(), 2u);
    // Each file is looked at on a thread of its own: the windows come in the order the looks end.
    std::vector<std::filesystem::path> paths{windows[0]->Path(), windows[1]->Path()};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::filesystem::path>{toolkit::PathFromText(sessionPath), toolkit::PathFromText(second)}));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] {
        return windows[0]->GetState() != SessionWindow::State::Loading && windows[1]->GetState() != SessionWindow::State::Loading;
    }));
    windows[0]->close();
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return opener->Windows().size() == 1; }));
    EXPECT_EQ(opener->Windows()[0]->GetState(), SessionWindow::State::Ready);
}

TEST_F(SessionWindowTest, ADroppedCsvOpensASessionAndLeavesTheCaptureWindowAlone) {
    plot::ThrottlePlot throttle(*form);
    opener->AcceptDropsOn(throttle.Window());

    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(sessionPath)});
    mime->setText(sessionPath);
    EXPECT_TRUE(DropOn(form->Name, mime)) << "on an edit box, which would otherwise take the name as text";
    EXPECT_EQ(form->Name->text(), QStringLiteral("Name"));
    EXPECT_EQ(form->Name->geometry(), QRect(431, 8, 66, 21));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return opener->Windows().size() == 1u; }));
    EXPECT_TRUE(DropOn(throttle.Window().Canvas, mime));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return opener->Windows().size() == 2u; }));

    auto* other = new QMimeData;
    other->setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("notes.txt")))});
    EXPECT_FALSE(DropOn(form.get(), other)) << "only .csv files";
    EXPECT_EQ(opener->OpeningsUnderWay(), 0u);
    EXPECT_EQ(opener->Windows().size(), 2u);
    delete mime;
    delete other;
    for (SessionWindow* w : opener->Windows()) {
        ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return w->GetState() != SessionWindow::State::Loading; }));
    }
}

TEST_F(SessionWindowTest, ClosingOrCancellingWhileReadingStopsTheReaderFirst) {
    // Big enough to be still reading when the window goes; whether it was, only the outcome tells.
    std::string big = kHeader;
    const std::string row = TimeText(0) + ",1,status,1,3,3 R,10,0,0,5,BENCH-A,53 00\n";
    while (big.size() < 20u * 1024 * 1024) big += row;
    const QString path = dir.filePath(QStringLiteral("big.csv"));
    ASSERT_TRUE(WriteText(path, big));

    SessionWindow* closed = OpenWindow(path);
    ASSERT_NE(closed, nullptr);
    delete closed;  // joins the reader before anything it reports to goes

    SessionWindow* cancelled = OpenWindow(path);
    ASSERT_NE(cancelled, nullptr);
    EXPECT_TRUE(cancelled->CancelButton->isVisible());
    const QPointer<SessionWindow> alive(cancelled);
    cancelled->CancelButton->click();
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return alive.isNull() || alive->GetState() == SessionWindow::State::Ready; }));
    if (alive) {
        EXPECT_FALSE(alive->CancelButton->isVisible()) << "read to the end before the click came";
    } else {
        EXPECT_TRUE(opener->Windows().empty()) << "cancelled: the window went";
    }
}

// Across the spring change of the clocks: a record every half second from 1:59:40 (UTC+01:00) to
// 3:00:20 (UTC+02:00). Each tick says what the table says at that instant, and the change is
// marked; before the file is read the axis shows no time at all.
TEST_F(SessionWindowTest, TheTimeAxisSaysWhatTheTableSaysAcrossAChangeOfTheClocks) {
    constexpr int64_t kChangeUtcMs = 1774746000000;  // 2026-03-29T01:00:00Z
    std::string text = kHeader;
    for (int i = 0; i < 80; ++i) {
        const int64_t utc = kChangeUtcMs - 20000 + int64_t{i} * 500;
        const bool summer = utc >= kChangeUtcMs;
        const int64_t local = (utc + (summer ? 2 : 1) * 3600000) % 86400000;
        char row[160];
        std::snprintf(row, sizeof row, "2026-03-29T%02d:%02d:%02d.%03d%s,%d,status,1,3,3 R,%d,0,0,5,BENCH-A,53 00\n",
                      static_cast<int>(local / 3600000), static_cast<int>(local / 60000 % 60), static_cast<int>(local / 1000 % 60),
                      static_cast<int>(local % 1000), summer ? "+02:00" : "+01:00", i + 1, i);
        text += row;
    }
    const QString path = dir.filePath(QStringLiteral("2026-03-29_01-59-40_unit5_BENCH-A.csv"));
    ASSERT_TRUE(WriteText(path, text));

    chart::Picture reading;  // as the window opens: the file is not yet taken in
    opener->OnOpeningEnded = [&](const std::filesystem::path&, SessionWindow* w) {
        if (w != nullptr) reading = w->Canvas->Picture();
    };
    SessionWindow* opened = OpenWindow(path);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(reading.axis.ticks.empty());
    for (const chart::Text& t : reading.frame.texts) EXPECT_EQ(t.text.find(':'), std::string::npos) << t.text;
    const QPointer<SessionWindow> alive(opened);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return alive.isNull() || alive->GetState() != SessionWindow::State::Loading; }));
    ASSERT_FALSE(alive.isNull());
    SessionWindow* w = alive.data();
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready) << w->ErrorText().toStdString();

    const chart::Picture picture = w->Canvas->Picture();
    ASSERT_EQ(picture.axis.changes.size(), 1u);
    EXPECT_EQ(picture.axis.changes[0].timeMs, kChangeUtcMs);
    EXPECT_EQ(picture.axis.changes[0].offsetMinutes, 120);
    ASSERT_GE(picture.axis.ticks.size(), 4u);
    QStringList labels;
    for (const chart::AxisTick& tick : picture.axis.ticks) {
        w->SetCursorNearTime(tick.timeMs);
        ASSERT_EQ(w->Data()->Record(*w->CursorIndex()).timeMs, tick.timeMs) << "a record on every round second";
        const QString shown = w->Table->Cell(1, w->Table->SelectionRow());
        EXPECT_TRUE(shown.startsWith(QString::fromStdString(tick.label) + QLatin1Char('.')))
            << tick.label << " against the table's " << shown.toStdString();
        labels << QString::fromStdString(tick.label);
    }
    EXPECT_TRUE(labels.contains(QStringLiteral("1:59:50")));
    EXPECT_TRUE(labels.contains(QStringLiteral("3:00:10")));
    EXPECT_FALSE(labels.contains(QStringLiteral("2:00:10"))) << "no hour that the clocks skipped";
}

TEST(SessionCommandLine, OpenTakesFilesFromTheCurrentFolder) {
    const CommandLine c = ParseCommandLine({QStringLiteral("torvane-capture"), QStringLiteral("--open"), QStringLiteral("a.csv"),
                                            QStringLiteral("--open=/tmp/b.csv")},
                                           QStringLiteral("1"));
    EXPECT_EQ(c.action, CommandLine::Action::Run);
    EXPECT_EQ(c.openFiles, (std::vector<std::filesystem::path>{std::filesystem::current_path() / "a.csv", "/tmp/b.csv"}));
    EXPECT_EQ(ParseCommandLine({QStringLiteral("torvane-capture"), QStringLiteral("--open=")}, QStringLiteral("1")).action,
              CommandLine::Action::Fail);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("torvane-capture"), QStringLiteral("--open")}, QStringLiteral("1")).action,
              CommandLine::Action::Fail);
}

TEST(LivePlotSummary, FiguresOfTheRecordsTheModelHolds) {
    plot::PlotModel model;
    model.Add(0, 5, 10, 0, 0, false);
    model.Add(50, 7, 200, 3, 0, true);
    model.Add(100, 5, 30, 9, 0, false);
    model.Add(150, 7, 210, 0, 0, true);
    model.Add(250, 7, 220, 0, 0, false);
    model.Add(350, 7, 230, 0, 0, true);
    model.Add(400, 5, 20, 0, 0, false);
    const chart::Summary s = plot::SummaryOf(model);
    EXPECT_EQ(s.spanMs, 400);
    ASSERT_EQ(s.cars.size(), 2u);
    EXPECT_EQ(s.cars[0].car, 5);
    EXPECT_EQ(s.cars[0].records, 3u);
    EXPECT_EQ(s.cars[0].longestGapMs, 300);
    EXPECT_EQ(s.cars[0].laneChangePresses, 0u);
    EXPECT_EQ(s.cars[1].car, 7);
    EXPECT_EQ(s.cars[1].records, 4u);
    EXPECT_EQ(s.cars[1].longestGapMs, 100);
    EXPECT_EQ(s.cars[1].laneChangePresses, 2u) << "held over two records counts once";
    EXPECT_EQ(s.cars[1].driveMin, 200);
    EXPECT_EQ(s.cars[1].driveMax, 230);

    // The window shows it, and keeps it up to date.
    plot::PlotWindow window(model);
    window.show();
    EXPECT_EQ(window.Summary->rowCount(), 2);
    EXPECT_EQ(window.Summary->RowTexts(1)[1], QStringLiteral("4"));
    model.Add(500, 9, 0, 0, 0, false);
    window.RecordAdded();
    EXPECT_TRUE(testsupport::WaitWithQtEvents([&] { return window.Summary->rowCount() == 3; }));
}

// Not a check: the README's picture, when asked for.
//   TORVANE_SESSION_SCREENSHOT=<png> TORVANE_SESSION_FILE=<session.csv> [TORVANE_SESSION_SIZE=WxH]
TEST(SessionWindowScreenshot, WrittenWhenAsked) {
    const QString shot = qEnvironmentVariable("TORVANE_SESSION_SCREENSHOT");
    const QString file = qEnvironmentVariable("TORVANE_SESSION_FILE");
    if (shot.isEmpty() || file.isEmpty()) GTEST_SKIP() << "TORVANE_SESSION_SCREENSHOT and TORVANE_SESSION_FILE not set";
    TForm1::Options o;  // as the program runs it: beside the capture window, with its fonts
    o.portList.sysfsRoot = "/nonexistent-sysfs";
    o.portList.extraPortsEnv = "TORVANE_SESSION_TEST_PORTS";
    TForm1 form(o);
    auto* w = new SessionWindow(toolkit::PathFromText(file), &form);
    const QStringList size = qEnvironmentVariable("TORVANE_SESSION_SIZE", QStringLiteral("1180x660")).split(QLatin1Char('x'));
    w->resize(size.value(0).toInt(), size.value(1).toInt());
    w->show();
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return w->GetState() != SessionWindow::State::Loading; }));
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready) << w->ErrorText().toStdString();
    w->StepCursor(static_cast<int64_t>(w->Data()->RecordCount() / 3));
    QCoreApplication::processEvents();
    EXPECT_TRUE(testsupport::WaitWithQtEvents([&] { return !w->Table->FrameDue(); }));
    EXPECT_TRUE(w->grab().save(shot, "PNG"));
    // What a frame of zooming and panning costs at this size, for the record (not a check).
    int64_t worstNs = 0, totalNs = 0;
    int frames = 0;
    for (double factor : {1.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0}) {
        w->ZoomBy(factor);
        for (int pan = 0; pan < 3; ++pan) {
            w->PanBy(w->View().SpanMs() / 3);
            w->Canvas->repaint();
            worstNs = std::max(worstNs, w->Canvas->LastPaintNs());
            totalNs += w->Canvas->LastPaintNs();
            ++frames;
        }
    }
    std::fprintf(stderr, "session window: %zu records, %d frames of zoom and pan, mean %.2f ms, worst %.2f ms\n",
                 w->Data()->RecordCount(), frames, static_cast<double>(totalNs) / frames / 1e6, static_cast<double>(worstNs) / 1e6);
    delete w;
}

} // namespace
