#include "app/session/ui/SessionWindow.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/chart/Colours.h"
#include "app/chart/TimeAxis.h"
#include "app/chart/qt/CarLegend.h"
#include "app/chart/qt/PictureDrawing.h"
#include "app/recording/FileKind.h"
#include "app/recording/qt/FileSave.h"
#include "app/session/ui/SessionOpening.h"
#include "toolkit/DateTime.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/DialogFolders.h"
#include "toolkit/qt/FileName.h"
#include "toolkit/qt/NoticeBox.h"
#include "toolkit/qt/ScreenFit.h"

namespace session::ui {

namespace {
// The capture table's columns and look.
const char* const kHeaders[] = {"Car", "Time", "Last LB", "Drive PWM", "Brake PWM", "Lane Change"};
const int kColumnWidths[] = {72, 197, 72, 72, 72, 72};
constexpr int kTableWidth = 569;
constexpr int kRowHeight = 20;

// The local wall-clock time of a record as the table shows it, to milliseconds, with its date.
QString LocalDateText(int64_t utcMs, int offsetMinutes) {
    return QString::fromStdString(record::DateText(record::Instant{utcMs, offsetMinutes}.LocalMs()));
}

QString SecondsText(int64_t ms) {
    if (ms < 60000) return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
    const int64_t s = ms / 1000;
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
}

} // namespace

SessionWindow::SessionWindow(const std::filesystem::path& path, QWidget* parent)
    : QWidget(parent, Qt::Window), FPath(path), FShownPath(QDir::toNativeSeparators(toolkit::DisplayText(path))),
      FTimeSeparator(toolkit::LocaleTimeSeparator()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Session %1").arg(toolkit::DisplayText(path.filename())));
    CreateWidgets();
    FPlayTimer.setInterval(kPlayTickMs);
    FPlayTimer.setTimerType(Qt::PreciseTimer);
    connect(&FPlayTimer, &QTimer::timeout, this, [this] { AdvancePlayback(FPlayClock.restart()); });
    FTimeline.OnViewChanged = [this] { ViewChanged(); };
    FTimeline.OnCursorChanged = [this] { CursorChanged(); };
    FTimeline.OnPlayingChanged = [this] { PlayingChanged(); };
    StartLoading();
}

SessionWindow::~SessionWindow() {
    FControl->Cancel();  // the reading and the exports are called off as the jobs go
}

void SessionWindow::CreateWidgets() {
    const auto button = [this](const QString& text, const QString& tip, auto&& onClick) {
        auto* b = new QPushButton(text, this);
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);  // the keys belong to the cursor and the view
        connect(b, &QPushButton::clicked, this, [onClick] { toolkit::RunReportingErrors(nullptr, onClick); });
        return b;
    };
    WholeButton = button(QStringLiteral("Whole session"), QStringLiteral("Show the whole session"), [this] { ShowWhole(); });
    ZoomOutButton = button(QStringLiteral("-"), QStringLiteral("Zoom out (-, mouse wheel)"), [this] { ZoomBy(1.0 / kKeyZoom); });
    ZoomInButton = button(QStringLiteral("+"), QStringLiteral("Zoom in (+, mouse wheel, or drag a range on the time axis)"),
                          [this] { ZoomBy(kKeyZoom); });
    for (QPushButton* b : {ZoomOutButton, ZoomInButton}) b->setFixedWidth(b->fontMetrics().height() * 2 + 8);
    PlayButton = button(QStringLiteral("Play"), QStringLiteral("Play the session from the cursor at the recorded pace (Space)"),
                        [this] { SetPlaying(!Playing()); });
    SpeedBox = new QComboBox(this);
    for (int s : chart::Timeline::kSpeeds) SpeedBox->addItem(QStringLiteral("%1x").arg(s), s);
    SpeedBox->setFocusPolicy(Qt::NoFocus);
    SpeedBox->setToolTip(QStringLiteral("Playback speed"));
    connect(SpeedBox, &QComboBox::currentIndexChanged, this, [this](int i) { FTimeline.SetSpeed(SpeedBox->itemData(i).toInt()); });
    CursorLabel = new QLabel(this);
    CursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ExportPlotButton = button(QStringLiteral("Export plot..."), QStringLiteral("Save the plot as shown, as PNG or SVG"),
                              [this] { AskAndExportPlot(); });
    ExportSummaryButton = button(QStringLiteral("Export summary..."), QStringLiteral("Save the per-car summary as CSV"),
                                 [this] { AskAndExportSummary(); });
    ExportWorkbookButton = button(QStringLiteral("Export to Excel..."),
                                  workbook::WorkbookSupported()
                                      ? QStringLiteral("Save the session's records, summary and charts as an Excel workbook")
                                      : QStringLiteral("Export to a workbook is not in this build"),
                                  [] {});
    auto* workbookMenu = new QMenu(ExportWorkbookButton);
    workbookMenu->addAction(QStringLiteral("Whole session..."), this, [this] { AskAndExportWorkbook(false); });
    workbookMenu->addAction(QStringLiteral("Time shown..."), this, [this] { AskAndExportWorkbook(true); });
    ExportWorkbookButton->setMenu(workbookMenu);

    Canvas = new SessionCanvas(this);
    Canvas->SetNote(QStringLiteral("Reading the session..."));
    Canvas->OnClicked = [this](int64_t t) { SetCursorNearTime(t); };
    Canvas->OnPan = [this](int64_t delta) { PanBy(delta); };
    Canvas->OnZoom = [this](int64_t around, double factor) { ZoomBy(factor, around); };
    Canvas->OnRange = [this](int64_t from, int64_t to) { ShowRange(from, to); };
    ScrollBar = new QScrollBar(Qt::Horizontal, this);
    ScrollBar->setFocusPolicy(Qt::NoFocus);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this](int v) {
        if (!FSyncingScrollBar) FTimeline.ScrollTo(v);
    });

    Legend = chart::NewCarLegend(this);
    connect(Legend, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { ToggleCar(item); });

    Table = new TStringGrid(this);
    Table->SetColCount(6);
    Table->SetRowCount(2);
    Table->SetDefaultColWidth(72);
    Table->SetDefaultRowHeight(kRowHeight);
    for (int c = 0; c < 6; ++c) Table->SetColWidth(c, kColumnWidths[c]);
    for (int c = 0; c < 6; ++c) Table->SetCell(c, 0, QString::fromLatin1(kHeaders[c]));
    QFont tableFont(QStringLiteral("MS Sans Serif"));  // the capture window's face and size
    tableFont.setStyleHint(QFont::SansSerif);
    tableFont.setPixelSize(11);
    Table->setFont(tableFont);
    Table->setFixedWidth(kTableWidth);
    Table->setMinimumHeight(3 * kRowHeight);
    Table->setEnabled(false);  // as the capture table: the program writes it, the keys move the cursor
    Table->installEventFilter(this);

    Summary = new chart::SummaryTable(this);

    InfoLabel = new QLabel(this);
    InfoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    InfoLabel->setWordWrap(true);
    Progress = new QProgressBar(this);
    Progress->setRange(0, 1000);
    Progress->setTextVisible(true);
    CancelButton = button(QStringLiteral("Cancel"), QStringLiteral("Stop reading and close this window"), [this] { FControl->Cancel(); });

    auto* controls = new QHBoxLayout;
    controls->addWidget(WholeButton);
    controls->addWidget(ZoomOutButton);
    controls->addWidget(ZoomInButton);
    controls->addSpacing(12);
    controls->addWidget(PlayButton);
    controls->addWidget(SpeedBox);
    controls->addSpacing(12);
    controls->addWidget(CursorLabel, 1);
    controls->addWidget(ExportPlotButton);
    controls->addWidget(ExportSummaryButton);
    controls->addWidget(ExportWorkbookButton);

    auto* plotArea = new QWidget(this);
    auto* plotColumn = new QVBoxLayout;
    plotColumn->setSpacing(0);
    plotColumn->addWidget(Canvas, 1);
    plotColumn->addWidget(ScrollBar);
    auto* plotRow = new QHBoxLayout(plotArea);
    plotRow->setContentsMargins(0, 0, 0, 0);
    plotRow->addLayout(plotColumn, 1);
    plotRow->addWidget(Legend);

    auto* tables = new QWidget(this);
    auto* tableRow = new QHBoxLayout(tables);
    tableRow->setContentsMargins(0, 0, 0, 0);
    tableRow->addWidget(Table);
    tableRow->addWidget(Summary, 1);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(plotArea);
    splitter->addWidget(tables);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({440, 12 * kRowHeight});

    auto* status = new QHBoxLayout;
    status->addWidget(InfoLabel, 1);
    status->addWidget(Progress);
    status->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(splitter, 1);
    layout->addLayout(status);

    SetControlsEnabled(false);
    resize(1180, 660);  // fits a 1366x768 screen with its title bar and a panel
    toolkit::KeepOnScreenWhenShown(*this, parentWidget());  // over the capture window, inside the screen
}

void SessionWindow::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{WholeButton, ZoomOutButton, ZoomInButton, PlayButton, SpeedBox,
                                                     ExportPlotButton, ExportSummaryButton, ScrollBar}) {
        w->setEnabled(enabled);
    }
    ExportWorkbookButton->setEnabled(enabled && workbook::WorkbookSupported() && !ExportingWorkbook());
}

void SessionWindow::StartLoading() {
    InfoLabel->setText(QStringLiteral("Reading %1").arg(FShownPath));
    FJobs.Start<LoadOutcome>(
        [this, path = FPath, control = FControl](toolkit::BackgroundJobs::Job& job) {
            // this only in what is posted, which runs while the window is there
            control->progress = [this, &job](uint64_t read, uint64_t total) {
                job.Post([this, read, total] { ShowProgress(read, total); });
            };
            // A file swapped for a FIFO or a device since it was looked at is refused, not waited on.
            LoadOutcome outcome;
            if (const std::string kind = recording::NonRegularFileKind(path); !kind.empty()) outcome.error = PathText(path) + ": is " + kind;
            else outcome = LoadSession(path, control.get());
            return outcome;
        },
        [this](LoadOutcome outcome) { Loaded(std::move(outcome)); });
}

void SessionWindow::ShowProgress(uint64_t bytesRead, uint64_t totalBytes) {
    if (FState != State::Loading) return;
    const int value = totalBytes == 0 ? 0 : static_cast<int>(std::min<uint64_t>(1000, bytesRead * 1000 / totalBytes));
    Progress->setValue(value);
}

void SessionWindow::Loaded(LoadOutcome outcome) {
    Progress->hide();
    CancelButton->hide();
    switch (outcome.status) {
    case ScanStatus::Cancelled:
        FState = State::Failed;
        FError = QStringLiteral("Cancelled");
        close();
        return;
    case ScanStatus::Failed:
        FState = State::Failed;
        FError = QString::fromStdString(outcome.error);
        InfoLabel->setText(QStringLiteral("Could not read %1: %2").arg(FShownPath, FError));
        Canvas->SetNote(QStringLiteral("Could not read the session"));
        return;
    case ScanStatus::Done:
        break;
    }
    FData = std::move(outcome.session);
    FState = State::Ready;
    Canvas->SetData(FData.get());
    Canvas->SetNote(FData->RecordCount() == 0 ? QStringLiteral("No records in this session") : QString());
    FillLegend();
    Summary->Show(FData->GetSummary(), [this](uint8_t car) { return QColor::fromRgba(chart::CarColourIn(FData->Cars(), car)); });
    InfoLabel->setText(InfoText());
    SetControlsEnabled(FData->RecordCount() > 0);
    ExportSummaryButton->setEnabled(true);
    ExportWorkbookButton->setEnabled(workbook::WorkbookSupported() && !ExportingWorkbook());
    FTimes = std::make_unique<SessionTimes>(*FData);
    FTimeline.SetRecords(FTimes.get());
    ViewChanged();  // also when the whole session is the view the model started with
    if (FData->RecordCount() > 0) SetCursor(0);
    Canvas->setFocus();
}

QString SessionWindow::InfoText() const {
    const SessionData& d = *FData;
    uint64_t status = 0;
    for (const chart::CarSummary& car : d.GetSummary().cars) status += car.records;
    QString text = QStringLiteral("%1 records (%2 status, %3 name), %4 cars")
                       .arg(d.RecordCount())
                       .arg(status)
                       .arg(d.RecordCount() - status)
                       .arg(d.Cars().size());
    if (d.RecordCount() > 0) {
        text += QStringLiteral(", %1 from %2 %3")
                    .arg(SecondsText(d.LastTimeMs() - d.FirstTimeMs()),
                         LocalDateText(d.FirstTimeMs(), d.UtcOffsetMinutes(0)),
                         QString::fromStdString(chart::TickLabel(d.FirstTimeMs() + int64_t{d.UtcOffsetMinutes(0)} * 60000, 1000, FTimeSeparator)));
    }
    if (d.SkippedRows() == 0) text += QStringLiteral(". No rows skipped.");
    else if (d.SkippedRows() == 1) text += QStringLiteral(". 1 row could not be read and was skipped.");
    else text += QStringLiteral(". %1 rows could not be read and were skipped.").arg(d.SkippedRows());
    if (d.UnterminatedTail()) text += QStringLiteral(" The last row is cut short: the file may still be being written.");
    return text;
}

void SessionWindow::FillLegend() {
    Legend->clear();
    const std::vector<uint8_t>& cars = FData->Cars();
    for (size_t i = 0; i < cars.size(); ++i) {
        chart::AddLegendEntry(*Legend, QColor::fromRgba(chart::CarColour(i)), cars[i]);
    }
}

void SessionWindow::ToggleCar(QListWidgetItem* item) {
    const uint8_t car = chart::LegendCar(*item);
    const bool hide = !Canvas->IsHidden(car);
    Canvas->SetHidden(car, hide);
    chart::MarkLegendEntry(*item, hide, palette());
}

void SessionWindow::ViewChanged() {
    Canvas->SetView(FTimeline.View());
    SyncScrollBar();
}

void SessionWindow::SyncScrollBar() {
    const chart::Timeline::Scroll scroll = FTimeline.ScrollPosition();
    FSyncingScrollBar = true;
    ScrollBar->setRange(0, scroll.maximum);
    ScrollBar->setPageStep(scroll.page);
    ScrollBar->setSingleStep(scroll.single);
    ScrollBar->setValue(scroll.value);
    FSyncingScrollBar = false;
}

void SessionWindow::CursorChanged() {
    const std::optional<size_t> cursor = FTimeline.Cursor();
    Canvas->SetCursorTime(cursor ? std::optional<int64_t>(FData->Record(*cursor).timeMs) : std::nullopt);
    UpdateTable();
}

void SessionWindow::PlayingChanged() {
    if (FTimeline.Playing()) {
        FPlayClock.start();
        FPlayTimer.start();
    } else {
        FPlayTimer.stop();
    }
    PlayButton->setText(FTimeline.Playing() ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

std::array<QString, 6> SessionWindow::RowCells(size_t index, uint64_t* number) const {
    const record::Record r = FData->FullRecord(index);
    if (number != nullptr) *number = r.number;
    const std::array<std::string, 6> cells = record::TableTexts(r, FTimeSeparator);
    std::array<QString, 6> out;
    for (size_t c = 0; c < 6; ++c) out[c] = QString::fromStdString(cells[c]);
    return out;
}

void SessionWindow::UpdateTableRows() {
    const int rows = std::max(2, (Table->height() - 1) / (kRowHeight + 1));
    if (rows == Table->RowCount()) return;
    Table->SetRowCount(rows);
    for (int c = 0; c < 6; ++c) Table->SetCell(c, 0, QString::fromLatin1(kHeaders[c]));
    UpdateTable();
}

void SessionWindow::UpdateTable() {
    const int shown = Table->RowCount() - 1;
    const size_t count = FData ? FData->RecordCount() : 0;
    const std::optional<size_t> cursor = FTimeline.Cursor();
    size_t first = 0;
    if (cursor && count > 0) {
        const size_t before = static_cast<size_t>(shown - 1) / 2;
        first = *cursor > before ? *cursor - before : 0;
        if (count > static_cast<size_t>(shown)) first = std::min(first, count - static_cast<size_t>(shown));
        else first = 0;
    }
    QString cursorTime;
    for (int r = 1; r <= shown; ++r) {
        const size_t index = first + static_cast<size_t>(r - 1);
        std::array<QString, 6> cells;
        uint64_t number = 0;
        if (index < count) cells = RowCells(index, &number);
        for (int c = 0; c < 6; ++c) Table->SetCell(c, r, cells[static_cast<size_t>(c)]);
        if (cursor && index == *cursor) {
            Table->SetSelection(0, r);
            FCursorNumber = number;
            cursorTime = cells[1];
        }
    }
    if (cursor) UpdateCursorLabel(*cursor, cursorTime);
}

void SessionWindow::UpdateCursorLabel(size_t index, const QString& timeText) {
    const RecordValues r = FData->Record(index);
    QString text = QStringLiteral("Record %1 at %2, %3")
                       .arg(FCursorNumber)
                       .arg(timeText, LocalDateText(r.timeMs, FData->UtcOffsetMinutes(index)));
    text += r.kind == RowKind::Status ? QStringLiteral(" (car %1)").arg(r.car) : QStringLiteral(" (name record)");
    CursorLabel->setText(text);
}

void SessionWindow::SetSpeed(int speed) {
    const int index = SpeedBox->findData(speed);
    if (index >= 0) SpeedBox->setCurrentIndex(index);  // tells the model
}

void SessionWindow::ExportPlot(const QString& path) {
    const chart::Picture picture = Canvas->PictureWithLegend();
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        SaveExport(path, chart::PictureToSvg(picture, Canvas->font()), QStringLiteral("plot"));
        return;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!chart::DrawPicture(picture, Canvas->font()).save(&buffer, "PNG")) {
        throw toolkit::Exception("Could not make a PNG image of the plot");
    }
    SaveExport(path, png, QStringLiteral("plot"));
}

void SessionWindow::ExportSummaryCsv(const QString& path) {
    if (!FData) throw toolkit::Exception("The session has not been read yet");
    SaveExport(path, QByteArray::fromStdString(SummaryCsv(FData->GetSummary())), QStringLiteral("summary"));
}

void SessionWindow::SaveExport(const QString& path, const QByteArray& bytes, const QString& what) {
    FJobs.Start<QString>([path, bytes, what](toolkit::BackgroundJobs::Job&) { return SaveWholeFile(path, bytes, what); },
                         [this, path, what](const QString& error) {
                             // Never modal: the window, the capture window and their keys go on working beside it.
                             if (!error.isEmpty()) {
                                 toolkit::ShowNotice(FExportNotice, this, QStringLiteral("Export %1").arg(what), error, true);
                             }
                             if (OnExported) OnExported(path, error);
                         });
}

QString SessionWindow::AskPath(const QString& title, const QString& filter) {
    const QString path = AskSavePath ? AskSavePath(title, filter)
                                     : QFileDialog::getSaveFileName(this, title, toolkit::SaveDialogFolder(), filter);
    toolkit::NoteSavedInto(path);
    return path;
}

void SessionWindow::AskAndExportPlot() {
    const QString path = AskPath(QStringLiteral("Export plot"), QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
    if (!path.isEmpty()) ExportPlot(path);
}

void SessionWindow::AskAndExportSummary() {
    const QString path = AskPath(QStringLiteral("Export summary"), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) ExportSummaryCsv(path);
}

void SessionWindow::AskAndExportWorkbook(bool onlyShown) {
    const QString path = AskPath(onlyShown ? QStringLiteral("Export the time shown to Excel")
                                           : QStringLiteral("Export the session to Excel"),
                                 QStringLiteral("Excel workbook (*.xlsx)"));
    if (!path.isEmpty()) ExportWorkbook(path, onlyShown);
}

bool SessionWindow::ExportWorkbook(const QString& path, bool onlyShown) {
    if (FState != State::Ready || ExportingWorkbook()) return false;
    const QString target = toolkit::WithSuffixIfNone(path, QStringLiteral("xlsx"));
    workbook::ExportOptions options;
    if (onlyShown) {
        options.fromMs = View().startMs;
        options.toMs = View().endMs;
    }
    FExportingWorkbook = true;
    ExportWorkbookButton->setEnabled(false);
    InfoLabel->setText(QStringLiteral("Exporting to %1...").arg(QDir::toNativeSeparators(target)));
    FJobs.Start<workbook::ExportResult>(
        [options, session = FPath, destination = toolkit::PathFromText(target)](toolkit::BackgroundJobs::Job& job) mutable {
            options.cancelled = [&job] { return job.Cancelled(); };
            return workbook::ExportSessionWorkbook(session, destination, options);
        },
        [this, target](const workbook::ExportResult& result) { WorkbookExported(target, result); });
    return true;
}

void SessionWindow::WorkbookExported(const QString& path, const workbook::ExportResult& result) {
    FExportingWorkbook = false;
    ExportWorkbookButton->setEnabled(FState == State::Ready && FData->RecordCount() > 0);
    InfoLabel->setText(InfoText());
    const QString shown = QDir::toNativeSeparators(path);
    QString text;
    if (result.status == workbook::ExportResult::Status::Done) {
        text = QStringLiteral("%1 records exported to %2").arg(result.records).arg(shown);
        if (result.recordSheets > 1) text += QStringLiteral(" (on %1 Records sheets)").arg(result.recordSheets);
        text += QLatin1Char('.');
    } else {
        text = QStringLiteral("Could not export to %1: %2").arg(shown, QString::fromStdString(result.error));
    }
    toolkit::ShowNotice(FExportNotice, this, QStringLiteral("Export to Excel"), text,
                        result.status != workbook::ExportResult::Status::Done);
}

void SessionWindow::keyPressEvent(QKeyEvent* event) {
    if (FState != State::Ready) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int page = std::max(1, Table->RowCount() - 2);
    switch (event->key()) {
    case Qt::Key_Left: StepCursor(-1); break;
    case Qt::Key_Right: StepCursor(1); break;
    case Qt::Key_Up: StepCursor(-1); break;
    case Qt::Key_Down: StepCursor(1); break;
    case Qt::Key_PageUp: StepCursor(-page); break;
    case Qt::Key_PageDown: StepCursor(page); break;
    case Qt::Key_Home: SetCursor(0); break;
    case Qt::Key_End: SetCursor(FData->RecordCount() - 1); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomBy(kKeyZoom); break;
    case Qt::Key_Minus: ZoomBy(1.0 / kKeyZoom); break;
    case Qt::Key_Space: SetPlaying(!Playing()); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

bool SessionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Table && event->type() == QEvent::Resize) UpdateTableRows();
    return QWidget::eventFilter(watched, event);
}

} // namespace session::ui
