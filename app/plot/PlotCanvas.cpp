#include "app/plot/PlotCanvas.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QPen>

#include "app/plot/PlotMargins.h"
#include "app/plot/Raster.h"

namespace plot {

namespace {
// Distinct on white and told apart by most eyes; later cars step round the hue circle.
const QColor kPalette[] = {QColor(31, 119, 180), QColor(214, 39, 40),  QColor(44, 160, 44),  QColor(255, 127, 14),
                           QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207),
                           QColor(188, 189, 34),  QColor(60, 60, 60)};

int TimeStepSeconds(int windowSeconds) {
    if (windowSeconds <= 10) return 1;
    return windowSeconds <= 30 ? 5 : 10;
}
} // namespace

QColor CarColour(size_t index) {
    if (index < std::size(kPalette)) return kPalette[index];
    const int hue = static_cast<int>((index * 137) % 360);  // the golden angle spreads them out
    return QColor::fromHsv(hue, 200, index % 2 == 0 ? 200 : 150);
}

PlotCanvas::PlotCanvas(const PlotModel& model, QWidget* parent) : QWidget(parent), FModel(model) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 200);
}

void PlotCanvas::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) FBackground = QImage();
    QWidget::changeEvent(event);
}

void PlotCanvas::SetHidden(uint8_t car, bool hidden) {
    if (FHidden[car] == hidden) return;
    FHidden[car] = hidden;
    update();
}

void PlotCanvas::paintEvent(QPaintEvent*) {
    QElapsedTimer took;
    took.start();
    ++FPaintCount;
    Paint();
    FLastPaintNs = took.nsecsElapsed();
    FPaintNs += FLastPaintNs;
}

void PlotCanvas::Paint() {
    const qreal paneHeight = (height() - kTop - kGap - kBottom - kTop) / 2.0;
    const qreal plotWidth = width() - kLeft - kRight;
    if (paneHeight < 10 || plotWidth < 10) {
        QPainter(this).fillRect(rect(), Qt::white);
        return;
    }
    const Pane panes[] = {{QRectF(kLeft, kTop, plotWidth, paneHeight), "Drive PWM"},
                          {QRectF(kLeft, kTop + paneHeight + kGap + kTop, plotWidth, paneHeight), "Brake PWM"}};
    // The frame, grid and labels change only with the size and the time span: drawn once, copied.
    if (FBackground.size() != size() || FBackgroundSeconds != FModel.WindowSeconds()) {
        FBackground = QImage(size(), QImage::Format_RGB32);
        FBackgroundSeconds = FModel.WindowSeconds();
        QPainter frame(&FBackground);
        frame.fillRect(FBackground.rect(), Qt::white);
        frame.setFont(font());
        for (const Pane& pane : panes) DrawFrame(frame, pane);
        DrawTimeAxis(frame, panes[1].area);
    }
    FImage = FBackground;  // shares until the first pixel is drawn, then copies

    FDrawnCars.clear();
    const std::vector<uint8_t>& cars = FModel.Cars();
    const int widthPx = static_cast<int>(plotWidth);
    const QRect drive = panes[0].area.toAlignedRect();
    Raster curves(FImage, drive.united(panes[1].area.toAlignedRect()));
    for (size_t i = 0; i < cars.size(); ++i) {
        const uint8_t car = cars[i];
        if (FHidden[car]) continue;
        const DecimatedTrace trace = FModel.Decimate(car, widthPx);
        if (trace.Drive.empty()) continue;
        FDrawnCars.push_back(car);
        const QRgb colour = CarColour(i).rgb();
        curves.Polyline(ToPixels(panes[0], trace.Drive), colour);
        curves.Polyline(ToPixels(panes[1], trace.Brake), colour);
        const QRectF& a = panes[0].area;
        for (const PlotPoint& lane : trace.LaneChanges) {
            const int x = static_cast<int>(a.left() + lane.X);
            const int y = static_cast<int>(a.bottom() - lane.Value * a.height() / 255.0);
            curves.Fill(QRect(x - 1, y - kTickHalf, 3, 2 * kTickHalf + 1), colour);
        }
    }

    QPainter p(this);
    p.drawImage(0, 0, FImage);
    p.setPen(palette().color(QPalette::WindowText));
    if (cars.empty()) {
        p.drawText(panes[0].area, Qt::AlignCenter, QStringLiteral("Waiting for status records"));
    }
    if (FModel.Paused()) {
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(QRectF(kLeft, 0, plotWidth, kTop), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Paused"));
    }
}

void PlotCanvas::DrawFrame(QPainter& p, const Pane& pane) {
    const QRectF& a = pane.area;
    p.setPen(QColor(225, 225, 225));
    for (int v : kValueLines) {
        const qreal y = a.bottom() - v * a.height() / 255.0;
        p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(a);
    p.drawText(QRectF(a.left(), a.top() - kTop, a.width(), kTop), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromLatin1(pane.title));
    for (int v : kValueLines) {
        const qreal y = a.bottom() - v * a.height() / 255.0;
        p.drawText(QRectF(0, y - 8, kLeft - 4, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }
}

void PlotCanvas::DrawTimeAxis(QPainter& p, const QRectF& area) {
    const int window = FModel.WindowSeconds();
    const int step = TimeStepSeconds(window);
    for (int s = 0; s <= window; s += step) {
        const qreal x = area.right() - s * area.width() / window;
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 3));
        const QString label = s == 0 ? QStringLiteral("0 s") : QStringLiteral("-%1").arg(s);
        p.drawText(QRectF(x - 24, area.bottom() + 3, 48, kBottom - 3), Qt::AlignHCenter | Qt::AlignTop, label);
    }
}

const QPolygon& PlotCanvas::ToPixels(const Pane& pane, const std::vector<PlotPoint>& points) {
    const QRectF& a = pane.area;
    const qreal scale = (a.height() - 1) / 255.0;
    FPolyline.clear();
    for (const PlotPoint& point : points) {
        const QPoint at(static_cast<int>(a.left() + point.X), static_cast<int>(a.bottom() - point.Value * scale));
        // A point between two on the same row adds nothing to the line: flat stretches are common
        // (throttle at rest, brake off) and cost two points however long they are.
        const qsizetype n = FPolyline.size();
        if (n >= 2 && FPolyline[n - 1].y() == at.y() && FPolyline[n - 2].y() == at.y()) {
            FPolyline[n - 1] = at;
        } else if (n == 0 || FPolyline[n - 1] != at) {
            FPolyline.append(at);
        }
    }
    return FPolyline;
}

} // namespace plot
