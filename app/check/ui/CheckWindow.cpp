#include "app/check/ui/CheckWindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/chart/qt/PictureDrawing.h"
#include "app/check/ui/CheckPictures.h"
#include "toolkit/qt/DialogFolders.h"
#include "toolkit/qt/NoticeBox.h"
#include "toolkit/qt/ScreenFit.h"

namespace check::ui {

namespace {
constexpr int kPictureWidth = 640;
constexpr int kTraceHeight = 120;
constexpr int kSweepHeight = 190;
constexpr int kStripHeight = 40;

const Step kSteps[] = {Step::Released, Step::SlowPull, Step::SlowRelease, Step::LaneChange};
const char* const kStepNames[] = {"Released", "Slow pull", "Slow release", "Lane change"};

// The pictures one under another, drawn at this many device pixels a pixel (a scaled screen's; the
// image says so, so it is shown at the pictures' size).
QImage Stacked(const std::vector<const chart::Picture*>& pictures, const QFont& font, qreal pixelRatio) {
    int width = 1, height = 0;
    for (const chart::Picture* p : pictures) width = std::max(width, p->width), height += p->height;
    QImage out(static_cast<int>(std::ceil(width * pixelRatio)), static_cast<int>(std::ceil(std::max(height, 1) * pixelRatio)),
               QImage::Format_RGB32);
    out.setDevicePixelRatio(pixelRatio);
    out.fill(Qt::white);
    QPainter painter(&out);
    int y = 0;
    for (const chart::Picture* p : pictures) {
        chart::PictureImage image;
        painter.drawImage(QPointF(0, y), image.Draw(*p, font, pixelRatio));
        y += p->height;
    }
    return out;
}
} // namespace

CheckWindow::CheckWindow(Options options, QWidget* parent) : QWidget(parent, Qt::Window), FOptions(std::move(options)) {
    setWindowTitle(QStringLiteral("Throttle check"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Car:"), this));
    CarBox = new QComboBox(this);
    CarBox->setMinimumContentsLength(8);
    CarBox->setPlaceholderText(QStringLiteral("waiting for a car"));
    top->addWidget(CarBox);
    top->addStretch();
    RepeatButton = new QPushButton(QStringLiteral("Repeat step"), this);
    RestartButton = new QPushButton(QStringLiteral("Start again"), this);
    top->addWidget(RepeatButton);
    top->addWidget(RestartButton);
    layout->addLayout(top);

    Warning = new QLabel(this);
    Warning->setWordWrap(true);
    Warning->setStyleSheet(QStringLiteral("QLabel { background: #fff4c2; color: #5a4500; padding: 4px; }"));
    Warning->hide();
    layout->addWidget(Warning);

    auto* steps = new QHBoxLayout;
    for (size_t i = 0; i < StepLabels.size(); ++i) {
        StepLabels[i] = new QLabel(this);
        steps->addWidget(StepLabels[i]);
    }
    steps->addStretch();
    layout->addLayout(steps);
    Instruction = new QLabel(QStringLiteral("Waiting for a car's records..."), this);
    QFont big = Instruction->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    Instruction->setFont(big);
    Instruction->setWordWrap(true);
    layout->addWidget(Instruction);
    Progress = new ProgressMark(this);
    layout->addWidget(Progress);
    StepMessage = new QLabel(this);
    StepMessage->setWordWrap(true);
    layout->addWidget(StepMessage);
    Trace = new TracePane(kTraceHeight, this);
    layout->addWidget(Trace);
    // The results take what room is left and scroll on a low screen, so the window fits it.
    Results = new QLabel;
    Results->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ResultsArea = new QScrollArea(this);
    ResultsArea->setWidget(Results);
    ResultsArea->setWidgetResizable(true);
    ResultsArea->setFrameShape(QFrame::NoFrame);
    ResultsArea->setMinimumHeight(120);
    layout->addWidget(ResultsArea, 1);
    History = new QPlainTextEdit(this);
    History->setReadOnly(true);
    History->setMaximumHeight(70);
    History->setPlaceholderText(QStringLiteral("Earlier checks of the car"));
    auto* past = new QHBoxLayout;
    past->addWidget(History, 1);
    ExportButton = new QPushButton(QStringLiteral("Export to Excel..."), this);
    auto* exportMenu = new QMenu(ExportButton);
    QAction* thisCar = exportMenu->addAction(QStringLiteral("This car's checks..."), this, [this] { AskAndExportChecks(true); });
    exportMenu->addAction(QStringLiteral("All checks..."), this, [this] { AskAndExportChecks(false); });
    connect(exportMenu, &QMenu::aboutToShow, this, [this, thisCar] { thisCar->setEnabled(Car().has_value()); });
    ExportButton->setMenu(exportMenu);
    past->addWidget(ExportButton, 0, Qt::AlignTop);
    layout->addLayout(past);

    connect(CarBox, &QComboBox::activated, this, [this](int index) {
        FUserChose = true;
        ChooseCar(static_cast<uint8_t>(CarBox->itemData(index).toInt()));
    });
    connect(RepeatButton, &QPushButton::clicked, this, [this] {
        if (FGuide && !FSamples.empty()) FGuide->RepeatStep(FSamples.back().ms);
        StepMessage->clear();
        UpdateSteps();
    });
    connect(RestartButton, &QPushButton::clicked, this, [this] {
        if (const auto car = Car()) ChooseCar(*car);
    });
    FJudgeTimer.setInterval(kJudgeIntervalMs);
    connect(&FJudgeTimer, &QTimer::timeout, this, [this] { Judge(); });
    if (FOptions.reports) {
        FOptions.reports->Written = [this](const QString& pdf, const QString& error) {
            if (!error.isEmpty()) {
                Warning->setText(QStringLiteral("The check was not kept: %1").arg(error));
                Warning->show();
            }
            if (!pdf.isEmpty()) emit ReportKept(pdf);
        };
        FOptions.reports->History = [this](int car, const std::vector<PastCheck>& checks) { ShowHistory(car, checks); };
        FOptions.reports->Exported = [this](const QString& path, const workbook::ExportResult& result) { ChecksWritten(path, result); };
    }
    UpdateExportButton();
    UpdateSteps();
    UpdateWarning();
    resize(700, 660);
}

CheckWindow::~CheckWindow() {
    if (FOptions.reports) {
        FOptions.reports->Written = nullptr;
        FOptions.reports->History = nullptr;
        FOptions.reports->Exported = nullptr;
    }
}

std::optional<uint8_t> CheckWindow::Car() const {
    if (!FGuide) return std::nullopt;
    return FGuide->CarNumber();
}

void CheckWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FTaking = true;
    FJudgeTimer.start();
    if (!event->spontaneous()) toolkit::KeepOnScreen(*this);
}

void CheckWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;  // minimised: still following the car
    FTaking = false;
    FJudgeTimer.stop();
    FPending.clear();
}

void CheckWindow::JudgeNow() { Judge(); }

void CheckWindow::Judge() {
    if (FPending.empty()) return;
    std::vector<Sample> batch;
    batch.swap(FPending);
    for (const Sample& s : batch) {
        if (!FGuide) {
            FRecent.push_back(s);
            while (FRecent.size() > kMaxLookBack || FRecent.back().ms - FRecent.front().ms > kLookBackMs) FRecent.pop_front();
        }
        SeeCar(s);
        if (FGuide && s.car == FGuide->CarNumber()) Feed(s);
    }
    UpdateSteps();
    UpdateWarning();
    if (isVisible()) UpdateTrace();
}

void CheckWindow::SeeCar(const Sample& s) {
    if (!FSeen[s.car]) {
        FSeen[s.car] = true;
        FFirstDrive[s.car] = s.drive;
        int at = 0;
        while (at < CarBox->count() && CarBox->itemData(at).toInt() < s.car) ++at;
        CarBox->insertItem(at, QStringLiteral("Car %1").arg(s.car), s.car);
    }
    if (!FGuide && !FUserChose && std::abs(s.drive - FFirstDrive[s.car]) >= kMovedBy) ChooseCar(s.car, true);
}

void CheckWindow::ChooseCar(uint8_t car, bool fromRecent) {
    FGuide = std::make_unique<StepGuide>(car, FOptions.thresholds);
    FSamples.clear();

    FResult.reset();
    FFromSession = false;
    Results->clear();
    Trace->show();
    StepMessage->clear();
    CarBox->setCurrentIndex(CarBox->findData(car));
    if (FOptions.reports) FOptions.reports->LoadHistory(car);
    std::deque<Sample> recent;
    recent.swap(FRecent);
    if (fromRecent) {
        // Its records up to the one that showed it moving (that one is fed next, as usual).
        if (!recent.empty()) recent.pop_back();
        for (const Sample& s : recent)
            if (s.car == car) Feed(s);
    }
    UpdateSteps();
}

void CheckWindow::Feed(const Sample& s) {
    FSamples.push_back(s);
    if (FSamples.size() > kMaxKept) FSamples.pop_front();
    const std::optional<StepReport> report = FGuide->Add(s);
    if (!report) return;
    if (report->done) {
        StepMessage->setText(QStringLiteral("\u2713 %1 done.").arg(QString::fromLatin1(kStepNames[static_cast<int>(report->step)])));
    } else {
        StepMessage->setText(QStringLiteral("%1 not done in time. Expected: %2. Seen: %3. Try it again.")
                                 .arg(QString::fromLatin1(kStepNames[static_cast<int>(report->step)]),
                                      QString::fromStdString(report->expected), QString::fromStdString(report->seen)));
    }
    emit StepReported(static_cast<int>(report->step), report->done);
    if (report->done && FGuide->Current() == Step::Finished) Finish();
}

std::vector<Sample> CheckWindow::SweepSpan() const {
    if (!FGuide) return {};
    const std::vector<Sweep>& sweeps = FGuide->Check().Sweeps();
    if (sweeps.empty()) return {FSamples.begin(), FSamples.end()};
    // The last rise and the fall after it, with a little rest either side.
    size_t first = sweeps.size() - 1;
    while (first > 0 && !sweeps[first].rising) --first;
    const int64_t from = sweeps[first].startMs - 500;
    const int64_t to = sweeps.back().startMs + sweeps.back().durationMs + 500;
    std::vector<Sample> span;
    for (const Sample& s : FSamples)
        if (s.ms >= from && s.ms <= to) span.push_back(s);
    return span;
}

void CheckWindow::Finish() {
    FResult = FGuide->Check().Result();
    Progress->setValue(100);
    const std::vector<Sample> span = SweepSpan();
    ShowResult(span, FGuide->Check().Sweeps());
    emit CheckFinished();
}

void CheckWindow::CheckRecords(uint8_t car, const std::vector<Sample>& samples, const QString& source) {
    FUserChose = true;
    FGuide = std::make_unique<StepGuide>(car, FOptions.thresholds);
    FSamples.clear();
    if (CarBox->findData(car) < 0) {
        FSeen[car] = true;
        CarBox->addItem(QStringLiteral("Car %1").arg(car), car);
    }
    CarBox->setCurrentIndex(CarBox->findData(car));
    CarCheck check(car, FOptions.thresholds);
    for (const Sample& s : samples) {
        if (s.car != car) continue;
        check.Add(s);
        FSamples.push_back(s);
    }
    FFromSession = true;
    FResult = check.Result();
    Progress->setValue(100);
    StepMessage->clear();
    ShowResult({FSamples.begin(), FSamples.end()}, check.Sweeps());
    Instruction->setText(QStringLiteral("Car %1 in %2: %3").arg(car).arg(source, QString::fromStdString(VerdictLine(*FResult))));
    if (FOptions.reports) FOptions.reports->LoadHistory(car);
    emit CheckFinished();
}

void CheckWindow::ShowResult(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps) {
    const QFont font = this->font();
    const chart::TextWidth width = chart::WidthIn(font);
    const int lineHeight = QFontMetrics(font).height() + 4;
    CheckReport report;
    report.time = QDateTime::currentDateTime();
    report.unit = FUnit;
    report.result = *FResult;
    report.thresholds = FOptions.thresholds;
    report.table = ResultsTable(*FResult, FOptions.thresholds, kPictureWidth, lineHeight, width);
    report.sweep = SweepPicture(samples, FindSweepMarks(samples, sweeps, FOptions.thresholds), kPictureWidth, kSweepHeight, width);
    report.strip = ValueStrip(samples, sweeps, kPictureWidth, kStripHeight);
    FResultImage = Stacked({&report.table, &report.sweep, &report.strip}, font, devicePixelRatioF());
    Results->setPixmap(QPixmap::fromImage(FResultImage));
    Trace->hide();  // the sweep below says more, and the results want the room on a low screen
    Instruction->setText(QStringLiteral("Car %1: %2").arg(FResult->figures.car).arg(QString::fromStdString(VerdictLine(*FResult))));
    if (FOptions.reports && !FFromSession) FOptions.reports->Keep(std::move(report));
}

void CheckWindow::ShowHistory(int car, const std::vector<PastCheck>& checks) {
    if (!FGuide || FGuide->CarNumber() != car) return;
    QStringList lines;
    if (checks.empty()) lines << QStringLiteral("No earlier check of car %1.").arg(car);
    for (size_t i = checks.size() > 5 ? checks.size() - 5 : 0; i < checks.size(); ++i) {
        lines << QStringLiteral("%1  %2  %3").arg(QString::fromStdString(checks[i].Get("time")),
                                                  QString::fromStdString(checks[i].Get("verdict")),
                                                  QString::fromStdString(checks[i].Get("findings")));
    }
    if (checks.size() >= 2) {
        const std::vector<std::string> changes = ChangesSince(checks[checks.size() - 2], checks.back());
        QStringList parts;
        for (const std::string& c : changes) parts << QString::fromStdString(c);
        lines << QStringLiteral("Since the check before: %1").arg(parts.isEmpty() ? QStringLiteral("nothing changed") : parts.join(QStringLiteral(", ")));
    }
    History->setPlainText(lines.join(QLatin1Char('\n')));
    emit HistoryShown(car);
}

void CheckWindow::UpdateSteps() {
    const Step current = CurrentStep();
    const int shown = FGuide ? static_cast<int>(current) : -2;
    for (size_t i = 0; i < StepLabels.size() && shown != FStepsShown; ++i) {
        const bool done = FGuide && (static_cast<int>(current) > static_cast<int>(kSteps[i]));
        const bool now = FGuide && current == kSteps[i];
        StepLabels[i]->setText(QStringLiteral("%1 %2. %3").arg(done ? QStringLiteral("\u2713") : now ? QStringLiteral("\u25B6") : QStringLiteral("\u00B7"))
                                   .arg(i + 1)
                                   .arg(QString::fromLatin1(kStepNames[i])));
        QFont f = StepLabels[i]->font();
        f.setBold(now);
        StepLabels[i]->setFont(f);
    }
    FStepsShown = shown;
    if (!FGuide) {
        Progress->setValue(0);
        return;
    }
    if (FFromSession || FResult) return;
    const QString instruction = QStringLiteral("Car %1: %2").arg(FGuide->CarNumber()).arg(QString::fromStdString(std::string(StepInstruction(current))));
    if (Instruction->text() != instruction) Instruction->setText(instruction);
    Progress->setValue(static_cast<int>(FGuide->Progress() * 100));
}

void CheckWindow::UpdateTrace() {
    if (FSamples.empty() || FFromSession) return;
    const int width = std::max(Trace->width(), 200);
    if (FSamples.back().ms == FTraceLastMs && FSamples.size() == FTraceCount && width == FTraceWidth) return;
    FTraceLastMs = FSamples.back().ms;
    FTraceCount = FSamples.size();
    FTraceWidth = width;
    const int64_t from = FSamples.back().ms - kTraceMs;
    const auto start = std::lower_bound(FSamples.begin(), FSamples.end(), from, [](const Sample& s, int64_t ms) { return s.ms < ms; });
    Trace->Show(SweepPicture(ThinnedToColumns(start, FSamples.end(), width), {}, width, kTraceHeight, {}));
}

void CheckWindow::UpdateWarning() {
    QStringList notices;
    for (const std::string& n : FOptions.thresholdNotices) notices << QString::fromStdString(n);
    if (FGuide && FSamples.size() >= 2 && FSamples.back().ms - FSamples.front().ms >= 2000 && !FFromSession) {
        const int64_t from = FSamples.back().ms - 2000;
        const auto count = std::find_if(FSamples.rbegin(), FSamples.rend(), [from](const Sample& s) { return s.ms <= from; }) -
                           FSamples.rbegin();
        const int perSecond = static_cast<int>(count / 2);
        if (perSecond < FOptions.thresholds.recordsPerSecondMin) {
            if (FOptions.filterOn && FOptions.filterOn()) {
                notices << QStringLiteral("The 200 ms filter is on: only %1 records a second arrive for car %2, too few to judge a "
                                          "throttle (%3 needed). Turn the Filter box off.")
                               .arg(perSecond).arg(FGuide->CarNumber()).arg(FOptions.thresholds.recordsPerSecondMin);
            } else {
                notices << QStringLiteral("Only %1 records a second arrive for car %2, too few to judge a throttle (%3 needed).")
                               .arg(perSecond).arg(FGuide->CarNumber()).arg(FOptions.thresholds.recordsPerSecondMin);
            }
        }
    }
    const QString text = notices.join(QLatin1Char('\n'));
    if (text == Warning->text() && Warning->isHidden() == text.isEmpty()) return;
    Warning->setText(text);
    Warning->setVisible(!text.isEmpty());
}

void CheckWindow::UpdateExportButton() {
    const bool can = FOptions.reports && workbook::WorkbookSupported();
    ExportButton->setEnabled(can && !FExporting);
    ExportButton->setToolTip(!FOptions.reports ? QStringLiteral("No checks are kept here")
                             : !workbook::WorkbookSupported() ? QStringLiteral("Export to a workbook is not in this build")
                                                              : QStringLiteral("Save the checks kept in checks.csv as an Excel workbook"));
}

void CheckWindow::AskAndExportChecks(bool onlyThisCar) {
    if (onlyThisCar && !Car()) return;
    const QString title = onlyThisCar ? QStringLiteral("Export the checks of car %1 to Excel").arg(*Car())
                                      : QStringLiteral("Export the checks to Excel");
    const QString filter = QStringLiteral("Excel workbook (*.xlsx)");
    const QString path = AskSavePath ? AskSavePath(title, filter)
                                     : QFileDialog::getSaveFileName(this, title, toolkit::SaveDialogFolder(), filter);
    toolkit::NoteSavedInto(path);
    if (!path.isEmpty()) ExportChecks(path, onlyThisCar);
}

bool CheckWindow::ExportChecks(const QString& path, bool onlyThisCar) {
    if (!FOptions.reports || FExporting || (onlyThisCar && !Car())) return false;
    const QString target = toolkit::WithSuffixIfNone(path, QStringLiteral("xlsx"));
    std::optional<int> car;
    if (onlyThisCar) car = *Car();
    FExporting = true;
    UpdateExportButton();
    FOptions.reports->ExportWorkbook(target, car);
    return true;
}

void CheckWindow::ChecksWritten(const QString& path, const workbook::ExportResult& result) {
    FExporting = false;
    UpdateExportButton();
    const QString shown = QDir::toNativeSeparators(path);
    const bool done = result.status == workbook::ExportResult::Status::Done;
    QString text = done ? QStringLiteral("%1 %2 exported to %3.").arg(result.records).arg(result.records == 1 ? QStringLiteral("check") : QStringLiteral("checks"), shown)
                        : QStringLiteral("Could not export to %1: %2").arg(shown, QString::fromStdString(result.error));
    if (done && result.skippedRows > 0) {
        text += result.skippedRows == 1 ? QStringLiteral(" 1 row of checks.csv could not be read and was left out.")
                                        : QStringLiteral(" %1 rows of checks.csv could not be read and were left out.").arg(result.skippedRows);
    }
    // Never modal: the check and the capture go on beside it.
    toolkit::ShowNotice(FExportNotice, this, QStringLiteral("Export to Excel"), text, !done);
    emit ChecksExported(text);
}

QImage CheckWindow::Snapshot() const { return const_cast<CheckWindow*>(this)->grab().toImage(); }

} // namespace check::ui
