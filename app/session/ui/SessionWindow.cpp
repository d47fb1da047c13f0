#include "app/session/ui/SessionWindow.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPixmap>
#include <QSaveFile>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/plot/CarLegend.h"
#include "app/session/ui/SessionOpening.h"
#include "toolkit/DateTime.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"

namespace session::ui {

namespace {
// The capture table's columns and look.
const char* const kHeaders[] = {"Car", "Time", "Last LB", "Drive PWM", "Brake PWM", "Lane Change"};
const int kColumnWidths[] = {72, 197, 72, 72, 72, 72};
constexpr int kTableWidth = 569;
constexpr int kRowHeight = 20;
// The scroll bar counts in steps of at most this many, whatever the session's length.
constexpr int64_t kScrollSteps = 1'000'000;
// A cursor that leaves the view brings the view along, this share of it behind the cursor.
constexpr double kFollowMargin = 0.1;

// The local wall-clock time of a record as the table shows it, to milliseconds, with its date.
QString LocalDateText(int64_t utcMs, int offsetMinutes) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs + int64_t{offsetMinutes} * 60000, Qt::UTC);
    return local.date().toString(Qt::ISODate);
}

QString SecondsText(int64_t ms) {
    if (ms < 60000) return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
    const int64_t s = ms / 1000;
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
}

void WriteFile(const QString& path, const QByteArray& bytes, const char* what) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw toolkit::Exception(std::string("Could not save the ") + what + " to \"" + path.toStdString() +
                                 "\": " + file.errorString().toStdString());
    }
}
} // namespace

SessionWindow::SessionWindow(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), FPath(path), FTimeSeparator(toolkit::LocaleTimeSeparator()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Session %1").arg(QFileInfo(path).fileName()));
    CreateWidgets();
    FPlayTimer.setInterval(kPlayTickMs);
    FPlayTimer.setTimerType(Qt::PreciseTimer);
    connect(&FPlayTimer, &QTimer::timeout, this, [this] { AdvancePlayback(FPlayClock.restart()); });
    StartLoading();
}

SessionWindow::~SessionWindow() {
    // The reader goes before what it reports to.
    FControl.Cancel();
    if (FWorker.joinable()) FWorker.join();
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
    for (int s : kSpeeds) SpeedBox->addItem(QStringLiteral("%1x").arg(s), s);
    SpeedBox->setFocusPolicy(Qt::NoFocus);
    SpeedBox->setToolTip(QStringLiteral("Playback speed"));
    connect(SpeedBox, &QComboBox::currentIndexChanged, this, [this](int i) { FSpeed = SpeedBox->itemData(i).toInt(); });
    CursorLabel = new QLabel(this);
    CursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ExportPlotButton = button(QStringLiteral("Export plot..."), QStringLiteral("Save the plot as shown, as PNG or SVG"),
                              [this] { AskAndExportPlot(); });
    ExportSummaryButton = button(QStringLiteral("Export summary..."), QStringLiteral("Save the per-car summary as CSV"),
                                 [this] { AskAndExportSummary(); });

    Canvas = new SessionCanvas(this);
    Canvas->SetNote(QStringLiteral("Reading the session..."));
    Canvas->OnClicked = [this](int64_t t) { SetCursorNearTime(t); };
    Canvas->OnPan = [this](int64_t delta) { PanBy(delta); };
    Canvas->OnZoom = [this](int64_t around, double factor) { ZoomBy(factor, around); };
    Canvas->OnRange = [this](int64_t from, int64_t to) { ShowRange(from, to); };
    ScrollBar = new QScrollBar(Qt::Horizontal, this);
    ScrollBar->setFocusPolicy(Qt::NoFocus);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this](int v) { ScrollBarMoved(v); });

    Legend = plot::NewCarLegend(this);
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

    Summary = new SummaryTable(this);

    InfoLabel = new QLabel(this);
    InfoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    InfoLabel->setWordWrap(true);
    Progress = new QProgressBar(this);
    Progress->setRange(0, 1000);
    Progress->setTextVisible(true);
    CancelButton = button(QStringLiteral("Cancel"), QStringLiteral("Stop reading and close this window"), [this] { FControl.Cancel(); });

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
}

void SessionWindow::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{WholeButton, ZoomOutButton, ZoomInButton, PlayButton, SpeedBox,
                                                     ExportPlotButton, ExportSummaryButton, ScrollBar}) {
        w->setEnabled(enabled);
    }
}

void SessionWindow::StartLoading() {
    InfoLabel->setText(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(FPath)));
    FControl.progress = [this](uint64_t read, uint64_t total) {
        QMetaObject::invokeMethod(this, [this, read, total] { ShowProgress(read, total); }, Qt::QueuedConnection);
    };
    const std::filesystem::path path = FileSystemPath(FPath);
    FWorker = std::thread([this, path] {
        LoadOutcome outcome = LoadSession(path, &FControl);
        QMetaObject::invokeMethod(this, [this, outcome = std::move(outcome)]() mutable { Loaded(std::move(outcome)); },
                                  Qt::QueuedConnection);
    });
}

void SessionWindow::ShowProgress(uint64_t bytesRead, uint64_t totalBytes) {
    if (FState != State::Loading) return;
    const int value = totalBytes == 0 ? 0 : static_cast<int>(std::min<uint64_t>(1000, bytesRead * 1000 / totalBytes));
    Progress->setValue(value);
}

void SessionWindow::Loaded(LoadOutcome outcome) {
    if (FWorker.joinable()) FWorker.join();  // it has posted its last word
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
        InfoLabel->setText(QStringLiteral("Could not read %1: %2").arg(QDir::toNativeSeparators(FPath), FError));
        Canvas->SetNote(QStringLiteral("Could not read the session"));
        return;
    case ScanStatus::Done:
        break;
    }
    FData = std::move(outcome.session);
    FRows = std::make_unique<SessionRows>(FData->Path());
    FState = State::Ready;
    Canvas->SetData(FData.get());
    Canvas->SetNote(FData->RecordCount() == 0 ? QStringLiteral("No records in this session") : QString());
    FillLegend();
    Summary->Show(FData->GetSummary(), [this](uint8_t car) {
        const std::vector<uint8_t>& cars = FData->Cars();
        return SessionCarColour(static_cast<size_t>(std::find(cars.begin(), cars.end(), car) - cars.begin()));
    });
    InfoLabel->setText(InfoText());
    SetControlsEnabled(FData->RecordCount() > 0);
    ExportSummaryButton->setEnabled(true);
    ShowWhole();
    if (FData->RecordCount() > 0) SetCursor(0);
    else UpdateTable();
    Canvas->setFocus();
}

QString SessionWindow::InfoText() const {
    const SessionData& d = *FData;
    uint64_t status = 0;
    for (const CarSummary& car : d.GetSummary().cars) status += car.records;
    QString text = QStringLiteral("%1 records (%2 status, %3 name), %4 cars")
                       .arg(d.RecordCount())
                       .arg(status)
                       .arg(d.RecordCount() - status)
                       .arg(d.Cars().size());
    if (d.RecordCount() > 0) {
        text += QStringLiteral(", %1 from %2 %3")
                    .arg(SecondsText(d.LastTimeMs() - d.FirstTimeMs()),
                         LocalDateText(d.FirstTimeMs(), d.UtcOffsetMinutes(0)),
                         TickLabel(d.FirstTimeMs(), d.UtcOffsetMinutes(0), 1000, FTimeSeparator));
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
        plot::AddLegendEntry(*Legend, SessionCarColour(i), cars[i]);
    }
}

void SessionWindow::ToggleCar(QListWidgetItem* item) {
    const uint8_t car = plot::LegendCar(*item);
    const bool hide = !Canvas->IsHidden(car);
    Canvas->SetHidden(car, hide);
    plot::MarkLegendEntry(*item, hide, palette());
}

TimeView SessionWindow::WholeView() const {
    if (!FData || FData->RecordCount() == 0) return {0, kMinSpanMs};
    TimeView whole{FData->FirstTimeMs(), FData->LastTimeMs() + 1};
    if (whole.SpanMs() < kMinSpanMs) {
        whole.startMs -= (kMinSpanMs - whole.SpanMs()) / 2;
        whole.endMs = whole.startMs + kMinSpanMs;
    }
    return whole;
}

void SessionWindow::SetView(TimeView view) {
    const TimeView whole = WholeView();
    const int64_t span = std::clamp(view.SpanMs(), kMinSpanMs, whole.SpanMs());
    const int64_t start = std::clamp(view.startMs, whole.startMs, whole.endMs - span);
    Canvas->SetView({start, start + span});
    SyncScrollBar();
}

void SessionWindow::ShowWhole() { SetView(WholeView()); }

void SessionWindow::ZoomBy(double factor, std::optional<int64_t> aroundMs) {
    if (!(factor > 0)) return;
    const TimeView v = View();
    int64_t around = v.startMs + v.SpanMs() / 2;
    if (aroundMs) {
        around = *aroundMs;
    } else if (FCursor) {
        const int64_t t = FData->Record(*FCursor).timeMs;
        if (t >= v.startMs && t < v.endMs) around = t;
    }
    const auto span = static_cast<int64_t>(std::llround(static_cast<double>(v.SpanMs()) / factor));
    // The time under `around` stays where it is.
    const double share = static_cast<double>(around - v.startMs) / static_cast<double>(std::max<int64_t>(v.SpanMs(), 1));
    const int64_t clamped = std::clamp(span, kMinSpanMs, WholeView().SpanMs());
    const int64_t start = around - static_cast<int64_t>(std::llround(share * static_cast<double>(clamped)));
    SetView({start, start + clamped});
}

void SessionWindow::ShowRange(int64_t fromMs, int64_t toMs) {
    if (toMs < fromMs) std::swap(fromMs, toMs);
    if (toMs - fromMs < kMinSpanMs) {
        const int64_t middle = fromMs + (toMs - fromMs) / 2;
        fromMs = middle - kMinSpanMs / 2;
        toMs = fromMs + kMinSpanMs;
    }
    SetView({fromMs, toMs});
}

void SessionWindow::PanBy(int64_t deltaMs) {
    const TimeView v = View();
    SetView({v.startMs + deltaMs, v.endMs + deltaMs});
}

void SessionWindow::SyncScrollBar() {
    const TimeView whole = WholeView(), v = View();
    FScrollUnitMs = std::max<int64_t>(1, (whole.SpanMs() + kScrollSteps - 1) / kScrollSteps);
    FSyncingScrollBar = true;
    ScrollBar->setRange(0, static_cast<int>((whole.SpanMs() - v.SpanMs()) / FScrollUnitMs));
    ScrollBar->setPageStep(static_cast<int>(std::max<int64_t>(1, v.SpanMs() / FScrollUnitMs)));
    ScrollBar->setSingleStep(std::max(1, ScrollBar->pageStep() / 10));
    ScrollBar->setValue(static_cast<int>((v.startMs - whole.startMs) / FScrollUnitMs));
    FSyncingScrollBar = false;
}

void SessionWindow::ScrollBarMoved(int value) {
    if (FSyncingScrollBar) return;
    const TimeView whole = WholeView(), v = View();
    const int64_t start = value == ScrollBar->maximum() ? whole.endMs - v.SpanMs() : whole.startMs + value * FScrollUnitMs;
    Canvas->SetView({start, start + v.SpanMs()});  // already within the session: the bar's range keeps it there
}

void SessionWindow::SetCursor(size_t index) {
    if (!FData || FData->RecordCount() == 0) return;
    MoveCursor(index);
    FPlayTimeMs = FData->Record(*FCursor).timeMs;
}

void SessionWindow::StepCursor(int64_t records) {
    if (!FData || FData->RecordCount() == 0) return;
    const auto last = static_cast<int64_t>(FData->RecordCount() - 1);
    const int64_t from = FCursor ? static_cast<int64_t>(*FCursor) : 0;
    SetCursor(static_cast<size_t>(std::clamp(from + records, int64_t{0}, last)));
}

void SessionWindow::SetCursorNearTime(int64_t timeMs) {
    if (!FData || FData->RecordCount() == 0) return;
    SetCursor(FData->NearestRecord(timeMs));
}

void SessionWindow::MoveCursor(size_t index) {
    index = std::min(index, FData->RecordCount() - 1);
    FCursor = index;
    const int64_t t = FData->Record(index).timeMs;
    Canvas->SetCursorTime(t);
    // The view follows a cursor that leaves it, keeping its zoom.
    const TimeView v = View();
    const auto margin = static_cast<int64_t>(static_cast<double>(v.SpanMs()) * kFollowMargin);
    if (t >= v.endMs) SetView({t - margin, t - margin + v.SpanMs()});
    else if (t < v.startMs) SetView({t + margin - v.SpanMs(), t + margin});
    UpdateTable();
}

std::array<QString, 6> SessionWindow::RowCells(size_t index, uint64_t* number) const {
    const RecordValues r = FData->Record(index);
    std::optional<FullRow> full;
    if (FRows && FRows->Ok()) full = FRows->Read(r.fileOffset);
    ScannedRow row;
    if (full) {
        row = full->values;
    } else {
        // The file changed since it was read: what was read of it still shows.
        row.kind = r.kind;
        row.timeMs = r.timeMs;
        row.utcOffsetMinutes = FData->UtcOffsetMinutes(index);
        row.car = r.car;
        row.lastLb = r.lastLb;
        row.drivePwm = r.drivePwm;
        row.brakePwm = r.brakePwm;
        row.laneChange = r.laneChange;
    }
    if (number != nullptr) *number = row.number;
    const std::array<std::string, 6> cells = CaptureTableCells(row, FTimeSeparator);
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
    size_t first = 0;
    if (FCursor && count > 0) {
        const size_t before = static_cast<size_t>(shown - 1) / 2;
        first = *FCursor > before ? *FCursor - before : 0;
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
        if (FCursor && index == *FCursor) {
            Table->SetSelection(0, r);
            FCursorNumber = number;
            cursorTime = cells[1];
        }
    }
    if (FCursor) UpdateCursorLabel(*FCursor, cursorTime);
}

void SessionWindow::UpdateCursorLabel(size_t index, const QString& timeText) {
    const RecordValues r = FData->Record(index);
    QString text = QStringLiteral("Record %1 at %2, %3")
                       .arg(FCursorNumber)
                       .arg(timeText, LocalDateText(r.timeMs, FData->UtcOffsetMinutes(index)));
    text += r.kind == RowKind::Status ? QStringLiteral(" (car %1)").arg(r.car) : QStringLiteral(" (name record)");
    CursorLabel->setText(text);
}

void SessionWindow::SetPlaying(bool playing) {
    if (playing == Playing()) return;
    if (playing) {
        if (!FData || FData->RecordCount() == 0) return;
        if (!FCursor || *FCursor + 1 >= FData->RecordCount()) SetCursor(0);  // from the start again
        FPlayTimeMs = FData->Record(*FCursor).timeMs;
        FPlayClock.start();
        FPlayTimer.start();
    } else {
        FPlayTimer.stop();
    }
    PlayButton->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void SessionWindow::SetSpeed(int speed) {
    const int index = SpeedBox->findData(speed);
    if (index >= 0) SpeedBox->setCurrentIndex(index);  // sets FSpeed
}

void SessionWindow::AdvancePlayback(int64_t elapsedMs) {
    if (!FData || FData->RecordCount() == 0 || !FCursor) return;
    FPlayTimeMs += std::max<int64_t>(elapsedMs, 0) * FSpeed;
    const size_t after = FData->LowerBound(FPlayTimeMs + 1);  // the first record still to come
    const size_t target = std::max(after, size_t{1}) - 1;
    if (target > *FCursor) MoveCursor(target);
    if (after >= FData->RecordCount()) SetPlaying(false);
}

void SessionWindow::ExportPlot(const QString& path) const {
    PlotPicture picture = Canvas->Picture();
    picture.rangeFromX = picture.rangeToX = -1;
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        WriteFile(path, PictureToSvg(picture, Canvas->font()), "plot");
        return;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!RenderPicture(picture, Canvas->font()).save(&buffer, "PNG")) {
        throw toolkit::Exception("Could not make a PNG image of the plot");
    }
    WriteFile(path, png, "plot");
}

void SessionWindow::ExportSummaryCsv(const QString& path) const {
    if (!FData) throw toolkit::Exception("The session has not been read yet");
    WriteFile(path, QByteArray::fromStdString(SummaryCsv(FData->GetSummary())), "summary");
}

QString SessionWindow::AskPath(const QString& title, const QString& filter) {
    if (AskSavePath) return AskSavePath(title, filter);
    return QFileDialog::getSaveFileName(this, title, QString(), filter);
}

void SessionWindow::AskAndExportPlot() {
    const QString path = AskPath(QStringLiteral("Export plot"), QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
    if (!path.isEmpty()) ExportPlot(path);
}

void SessionWindow::AskAndExportSummary() {
    const QString path = AskPath(QStringLiteral("Export summary"), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) ExportSummaryCsv(path);
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
