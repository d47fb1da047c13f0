#include "app/plot/PlotWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QHideEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ReceiveDecoder.h"
#include "app/chart/Colours.h"
#include "app/chart/qt/CarLegend.h"
#include "toolkit/qt/ScreenFit.h"

namespace plot {

namespace {
QString LastLbShort(uint8_t b) { return QString::fromStdString(LastLbText(b)); }
} // namespace

QString LatestValuesText(const PlotModel& model) {
    QStringList lines;
    for (uint8_t car : model.Cars()) {
        const std::optional<Sample> s = model.Latest(car);
        if (!s) continue;
        lines << QStringLiteral("Car %1: drive %2, brake %3, last LB %4%5")
                     .arg(car)
                     .arg(s->Drive)
                     .arg(s->Brake)
                     .arg(LastLbShort(s->LastLb))
                     .arg(s->LaneChange ? QStringLiteral(", lane change") : QString());
    }
    return lines.join(QLatin1Char('\n'));
}

chart::Summary SummaryOf(const PlotModel& model) {
    // Each car on its own: its figures depend only on its own records, and the span is the
    // stretch of all of them. Times count back from the view's latest record.
    chart::Summary summary;
    const uint32_t latest = model.LatestMs();
    int64_t first = 0, last = 0;
    bool any = false;
    for (uint8_t car : model.Cars()) {
        chart::SummaryAccumulator one;
        model.ForEachSample(car, [&](const Sample& s) {
            const int64_t t = -static_cast<int64_t>(latest - s.TimeMs);
            one.Add(t, car, s.Drive, s.Brake, s.LaneChange);
            first = any ? std::min(first, t) : t;
            last = any ? std::max(last, t) : t;
            any = true;
        });
        const chart::Summary own = one.Result();
        if (!own.cars.empty()) summary.cars.push_back(own.cars.front());
    }
    std::sort(summary.cars.begin(), summary.cars.end(), [](const auto& a, const auto& b) { return a.car < b.car; });
    summary.spanMs = last - first;
    return summary;
}

PlotWindow::PlotWindow(PlotModel& model, QWidget* parent) : QWidget(parent, Qt::Window), FModel(model) {
    setWindowTitle(QStringLiteral("Throttle plot"));

    WindowBox = new QComboBox(this);
    for (int seconds : PlotModel::kWindowChoices) WindowBox->addItem(QStringLiteral("Last %1 s").arg(seconds), seconds);
    WindowBox->setCurrentIndex(WindowBox->findData(FModel.WindowSeconds()));
    WindowBox->setFocusPolicy(Qt::NoFocus);  // Space belongs to pause, not to opening the list
    connect(WindowBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        FModel.SetWindowSeconds(WindowBox->itemData(index).toInt());
        Refresh();
    });

    PauseButton = new QPushButton(QStringLiteral("Pause"), this);
    PauseButton->setCheckable(true);
    PauseButton->setFocusPolicy(Qt::NoFocus);
    PauseButton->setToolTip(QStringLiteral("Freeze the view; records are still kept (Space)"));
    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) {
        FModel.SetPaused(paused);
        PauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        Refresh();
    });
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, PauseButton, &QPushButton::toggle);

    Canvas = new PlotCanvas(FModel, this);
    Canvas->setFocusPolicy(Qt::StrongFocus);

    Legend = chart::NewCarLegend(this);
    connect(Legend, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { ToggleCar(item); });

    Latest = new QPlainTextEdit(this);
    Latest->setReadOnly(true);
    Latest->setFocusPolicy(Qt::NoFocus);
    Latest->setLineWrapMode(QPlainTextEdit::NoWrap);
    Latest->setMaximumHeight(5 * Latest->fontMetrics().lineSpacing() + 12);

    Summary = new chart::SummaryTable(this);
    Summary->setToolTip(QStringLiteral("Per car, over the records the plot holds (the last minute)"));
    Summary->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // a row per car; the plot takes the rest

    auto* controls = new QHBoxLayout;
    controls->addWidget(WindowBox);
    controls->addWidget(PauseButton);
    controls->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(Canvas, 1);
    middle->addWidget(Legend);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(middle, 1);
    layout->addWidget(Latest);
    layout->addWidget(Summary);

    FFrameTimer.setSingleShot(true);
    FFrameTimer.setTimerType(Qt::PreciseTimer);
    connect(&FFrameTimer, &QTimer::timeout, this, [this] { Frame(); });
    FTextTimer.setSingleShot(true);
    FTextTimer.setInterval(kTextIntervalMs);
    connect(&FTextTimer, &QTimer::timeout, this, [this] { UpdateText(); });
    // Figures over a minute of records: once a second is as often as they say anything new.
    FSummaryTimer.setInterval(1000);
    connect(&FSummaryTimer, &QTimer::timeout, this, [this] { UpdateSummary(); });
    resize(760, 560);
    // A remembered place may be off today's screens; with none, it opens over the capture window.
    toolkit::KeepOnScreenWhenShown(*this, parent);
}

int PlotWindow::FrameIntervalMs() const {
    const QScreen* s = screen();
    const qreal hz = s != nullptr ? s->refreshRate() : 60.0;
    const double refreshMs = 1000.0 / (hz >= 1.0 ? hz : 60.0);
    // However many cars there are, painting may take only its share of the main thread, which
    // must keep up with the line: a costly picture is simply drawn less often.
    const double budgetMs = static_cast<double>(FLastFrameNs) / 1e6 * kPaintShareInverse;
    return static_cast<int>(std::ceil(std::min(std::max(refreshMs, budgetMs), static_cast<double>(kSlowestFrameMs))));
}

void PlotWindow::RecordAdded() {
    // Runs for every record: only the cheapest checks here. Paused, nothing shown changes;
    // minimised, nothing is seen (showing it again refreshes it).
    if (!isVisible() || isMinimized() || FModel.Paused()) return;
    if (!FFrameTimer.isActive()) FFrameTimer.start(FrameIntervalMs());
    if (!FTextTimer.isActive()) FTextTimer.start();
}

void PlotWindow::Refresh() {
    FFrameTimer.stop();
    FTextTimer.stop();
    Frame();
    UpdateText();
}

void PlotWindow::Frame() {
    if (Legend->count() != static_cast<int>(FModel.Cars().size())) SyncLegend();
    // Painted and handed to the screen here and now, so the frame's whole cost can be timed.
    QElapsedTimer took;
    took.start();
    Canvas->repaint();
    FLastFrameNs = took.nsecsElapsed();
}

void PlotWindow::UpdateText() {
    const QString text = LatestValuesText(FModel);
    if (text != Latest->toPlainText()) Latest->setPlainText(text);
}

void PlotWindow::UpdateSummary() {
    if (isMinimized()) return;
    Summary->Show(SummaryOf(FModel), [this](uint8_t car) { return QColor::fromRgba(chart::CarColourIn(FModel.Cars(), car)); });
}

QString PlotWindow::LatestText() const { return Latest->toPlainText(); }

void PlotWindow::SyncLegend() {
    const std::vector<uint8_t>& cars = FModel.Cars();
    // Cars only ever join, in the order first seen, so the entries so far stay as they are.
    for (size_t i = static_cast<size_t>(Legend->count()); i < cars.size(); ++i) {
        chart::AddLegendEntry(*Legend, QColor::fromRgba(chart::CarColour(i)), cars[i]);
    }
}

void PlotWindow::ToggleCar(QListWidgetItem* item) {
    const uint8_t car = chart::LegendCar(*item);
    const bool hide = !Canvas->IsHidden(car);
    Canvas->SetHidden(car, hide);
    chart::MarkLegendEntry(*item, hide, palette());
}

void PlotWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    UpdateSummary();
    FSummaryTimer.start();
    if (!event->spontaneous() && OnShownOrHidden) OnShownOrHidden(true);
}

void PlotWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FFrameTimer.stop();
    FTextTimer.stop();
    FSummaryTimer.stop();
    // Hidden by its own close, isHidden() is already true; hidden because the capture window
    // closed, it is still open as far as the user is concerned.
    if (!event->spontaneous() && isHidden() && OnShownOrHidden) OnShownOrHidden(false);
}

void PlotWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible() && OnGeometryChanged) OnGeometryChanged();
}

void PlotWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible() && OnGeometryChanged) OnGeometryChanged();
}

} // namespace plot
