#include "ScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>
#include <utility>

namespace toolkit {

WindowPlace FitWindow(QPoint designFramePos, QSize designClient, const QRect& available, const QMargins& frame) {
    const QSize edges(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect placed = KeepInside(QRect(designFramePos, designClient + edges), available);
    // However small the area, the window keeps a client area to show.
    return {placed.topLeft(), (placed.size() - edges).expandedTo(QSize(1, 1))};
}

void PlaceWindow(QWidget& window, const WindowPlace& place, const QMargins& frame) {
    window.resize(place.Client);
    // A window's position is its frame's, by the margins the window knows. Where those are the
    // ones given, the frame is placed (and on X11 the window manager puts it there as it frames
    // the window); where the platform knows better, the client area is placed inside them.
    if (FrameMarginsOf(window) == frame) window.move(place.FramePos);
    else window.setGeometry(QRect(place.FramePos + QPoint(frame.left(), frame.top()), place.Client));
}

QRect KeepInside(const QRect& frame, const QRect& available) {
    if (available.isEmpty()) return frame;
    const QSize size = frame.size().boundedTo(available.size());
    const int x = std::clamp(frame.x(), available.left(), available.left() + available.width() - size.width());
    const int y = std::clamp(frame.y(), available.top(), available.top() + available.height() - size.height());
    return {QPoint(x, y), size};
}

QScreen* ScreenFor(const QRect& frame) {
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = frame & screen->availableGeometry();
        const qint64 area = static_cast<qint64>(common.width()) * common.height();
        if (!common.isEmpty() && area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (best == nullptr) best = QGuiApplication::screenAt(frame.center());
    return best != nullptr ? best : QGuiApplication::primaryScreen();
}

QMargins FrameMarginsOf(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

void KeepOnScreen(QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QScreen* screen = ScreenFor(frame);
    if (screen == nullptr) return;
    const QRect inside = KeepInside(frame, screen->availableGeometry());
    if (inside == frame) return;
    window.resize(inside.size().shrunkBy(FrameMarginsOf(window)));
    window.move(inside.topLeft());  // a window's position is its frame's
}

namespace {

// The frame's margins as the platform knows them now. A window's own frame geometry is only
// brought up to date when it moves or is resized, and an X11 window manager may tell the
// margins later than that; margins it has not told yet read as none, and a frame still being
// built may read as negative ones: those are not margins yet.
std::optional<QMargins> PlatformFrameMargins(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    const QMargins m = handle != nullptr ? handle->frameMargins() : FrameMarginsOf(window);
    if (m.left() < 0 || m.top() < 0 || m.right() < 0 || m.bottom() < 0) return std::nullopt;
    return m;
}

class ScreenFitter final : public QObject {
public:
    ScreenFitter(QWidget& window, FitFn fit) : QObject(&window), FWindow(window), FFit(std::move(fit)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (FFitting) return false;
        if (watched == &FWindow && event->type() == QEvent::Show && !FShown) {
            // Sent before the window appears: fitted now, it never shows at a place it leaves.
            FShown = true;
            if (QWindow* handle = FWindow.windowHandle()) handle->installEventFilter(this);
            Fit(PlatformFrameMargins(FWindow).value_or(QMargins()));
            return false;
        }
        if (!FShown) return false;
        switch (event->type()) {
        case QEvent::Expose:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
        case QEvent::Paint:
            // One of these follows the window manager's framing of the window: its margins
            // may be known now.
            if (const std::optional<QMargins> m = PlatformFrameMargins(FWindow); m && *m != FMargins) Fit(*m);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Fit(const QMargins& margins) {
        FFitting = true;
        FMargins = margins;
        const QRect client = FWindow.geometry();
        const QRect frame = client.marginsAdded(margins);
        if (const QScreen* screen = ScreenFor(frame)) FFit(screen->availableGeometry(), margins);
        FFitting = false;
    }

    QWidget& FWindow;
    FitFn FFit;
    QMargins FMargins;
    bool FShown = false;
    bool FFitting = false;
};

} // namespace

void FitToScreenWhenShown(QWidget& window, FitFn fit) { new ScreenFitter(window, std::move(fit)); }

} // namespace toolkit
