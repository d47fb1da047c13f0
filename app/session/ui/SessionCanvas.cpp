#include "app/session/ui/SessionCanvas.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "toolkit/DateTime.h"

namespace session::ui {

namespace {
// A press that moves less than this is a click.
constexpr int kClickSlopPx = 3;
// One notch of the wheel zooms by this factor.
constexpr double kWheelZoom = 1.25;
} // namespace

SessionCanvas::SessionCanvas(QWidget* parent) : QWidget(parent), FTimeSeparator(toolkit::LocaleTimeSeparator()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
}

void SessionCanvas::SetData(const SessionData* data) {
    FData = data;
    update();
}

void SessionCanvas::SetView(const TimeView& view) {
    if (view == FView) return;
    FView = view;
    update();
}

void SessionCanvas::SetCursorTime(std::optional<int64_t> timeMs) {
    if (timeMs == FCursorMs) return;
    FCursorMs = timeMs;
    update();
}

void SessionCanvas::SetHidden(uint8_t car, bool hidden) {
    if (FHidden[car] == hidden) return;
    FHidden[car] = hidden;
    update();
}

void SessionCanvas::SetNote(const QString& note) {
    if (note == FNote) return;
    FNote = note;
    update();
}

chart::Picture SessionCanvas::Picture() const {
    PictureRequest request;
    request.data = FData;
    request.view = FView;
    request.width = width();
    request.height = height();
    request.hidden = &FHidden;
    request.cursorMs = FCursorMs;
    request.note = FNote.toStdString();
    request.timeSeparator = FTimeSeparator;
    request.minTickSpacingPx = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 16;
    request.textWidth = chart::WidthIn(font());
    if (FDrag == Drag::Range && FRangeToX >= 0) request.rangeX = std::make_pair(FPressAt.x(), FRangeToX);
    return BuildPicture(request);
}

chart::Picture SessionCanvas::PictureWithLegend() const {
    chart::Picture picture = Picture();
    if (FData != nullptr) chart::AddLegend(picture, SessionCars(*FData, &FHidden), fontMetrics().height(), chart::WidthIn(font()));
    return picture;
}

void SessionCanvas::paintEvent(QPaintEvent*) {
    QElapsedTimer took;
    took.start();
    ++FPaintCount;
    QPainter(this).drawImage(0, 0, FImage.Draw(Picture(), font(), devicePixelRatioF()));
    FLastPaintNs = took.nsecsElapsed();
}

void SessionCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    FPressAt = event->position().toPoint();
    FLastX = FPressAt.x();
    FRangeToX = -1;
    FDrag = Layout().axis.Contains({FPressAt.x(), FPressAt.y()}) ? Drag::Range : Drag::PanOrClick;
}

void SessionCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const PlotLayout layout = Layout();
    switch (FDrag) {
    case Drag::None:
        return;
    case Drag::Range:
        FRangeToX = std::clamp(at.x(), layout.drive.Left(), layout.drive.Right());
        update();
        return;
    case Drag::PanOrClick:
        if (std::abs(at.x() - FPressAt.x()) < kClickSlopPx && std::abs(at.y() - FPressAt.y()) < kClickSlopPx) return;
        FDrag = Drag::Panning;
        [[fallthrough]];
    case Drag::Panning: {
        const int dx = at.x() - FLastX;
        FLastX = at.x();
        const double msPerPx = static_cast<double>(FView.SpanMs()) / std::max(layout.drive.width, 1);
        if (dx != 0 && OnPan) OnPan(-static_cast<int64_t>(std::llround(dx * msPerPx)));
        return;
    }
    }
}

void SessionCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || FDrag == Drag::None) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = FDrag;
    FDrag = Drag::None;
    const PlotLayout layout = Layout();
    const QPoint at = event->position().toPoint();
    const bool moved = std::abs(at.x() - FPressAt.x()) >= kClickSlopPx;
    if (drag == Drag::Range) {
        update();  // the range goes
        if (moved) {
            const int to = std::clamp(at.x(), layout.drive.Left(), layout.drive.Right());
            const int64_t a = TimeForX(layout, FView, std::min(FPressAt.x(), to));
            const int64_t b = TimeForX(layout, FView, std::max(FPressAt.x(), to) + 1);
            if (OnRange) OnRange(a, b);
            return;
        }
    }
    if (drag != Drag::Panning && OnClicked) {
        const int x = std::clamp(at.x(), layout.drive.Left(), layout.drive.Right());
        OnClicked(TimeForX(layout, FView, x + 0.5));
    }
}

void SessionCanvas::wheelEvent(QWheelEvent* event) {
    FWheelEighths += event->angleDelta().y();
    const int notches = FWheelEighths / 120;
    if (notches == 0) return;
    FWheelEighths -= notches * 120;
    const PlotLayout layout = Layout();
    const double x = std::clamp(event->position().x(), static_cast<double>(layout.drive.Left()),
                                static_cast<double>(layout.drive.Right()));
    if (OnZoom) OnZoom(TimeForX(layout, FView, x), std::pow(kWheelZoom, notches));
    event->accept();
}

} // namespace session::ui
