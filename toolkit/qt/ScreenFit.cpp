#include "ScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "toolkit/qt/WindowManager.h"

namespace toolkit {

WindowPlace FitWindow(QPoint designFramePos, QSize designClient, const QRect& available, const QMargins& frame) {
    const QSize edges(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect placed = KeepInside(QRect(designFramePos, designClient + edges), available);
    // However small the area, the window keeps a client area to show.
    return {placed.topLeft(), (placed.size() - edges).expandedTo(QSize(1, 1))};
}

void PlaceWindow(QWidget& window, const WindowPlace& place, const QMargins& frame) {
    // By the client area: a move() would place the frame by the margins the platform knows,
    // which on X11 are none until the window manager has framed the window.
    const QRect client(place.FramePos + QPoint(frame.left(), frame.top()), place.Client);
    // The native window is given the place and the size together. Given a widget geometry whose
    // size it already has, the toolkit moves the native window with the size the display server
    // last reported, and while a window manager frames the window that report can be one from
    // before the latest resize: the resize would be undone.
    if (QWindow* handle = window.windowHandle(); handle != nullptr) handle->setGeometry(client);
    window.setGeometry(client);
}

QRect FreeArea(const QRect& available, const QRect& screen, qreal ratio, const std::optional<QRect>& workArea) {
    if (!workArea || workArea->isEmpty() || ratio <= 0) return available;
    const auto inward = [ratio](int device, int origin, bool up) {
        const double logical = (device - origin) / ratio;
        return origin + static_cast<int>(up ? std::ceil(logical - 1e-9) : std::floor(logical + 1e-9));
    };
    const QPoint topLeft(inward(workArea->left(), screen.left(), true), inward(workArea->top(), screen.top(), true));
    const QPoint end(inward(workArea->left() + workArea->width(), screen.left(), false),
                     inward(workArea->top() + workArea->height(), screen.top(), false));
    const QRect free = available & QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
    // A work area that leaves nothing of the screen is not one to go by.
    return free.isEmpty() ? available : free;
}

QRect SafeArea(const QRect& available, qreal ratio) {
    if (ratio == std::floor(ratio) || available.width() <= 2 || available.height() <= 2) return available;
    return available.adjusted(1, 1, -1, -1);
}

QMargins LogicalMargins(const QMargins& device, qreal ratio) {
    if (ratio <= 0) return device;
    // A hair below the whole number, so that 30 device pixels at 1.5 stay 20 rather than 21.
    const auto up = [ratio](int px) { return static_cast<int>(std::ceil(px / ratio - 1e-9)); };
    return {up(device.left()), up(device.top()), up(device.right()), up(device.bottom())};
}

QRect PlaceNear(QSize frameSize, const QRect& anchor, const QRect& available) {
    QRect frame(QPoint(0, 0), frameSize);
    frame.moveCenter(anchor.center());
    return KeepInside(frame, available);
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
    const QMargins margins = FrameMarginsOf(window);
    PlaceWindow(window, {inside.topLeft(), inside.size().shrunkBy(margins)}, margins);  // place and size together
}

namespace {

// The margins of the last frame a window manager told, for a window whose own are not told yet:
// a window manager frames the windows of one application alike.
std::optional<QMargins>& LastToldMargins() {
    static std::optional<QMargins> margins;
    return margins;
}

qreal RatioOf(const QWidget& window) {
    const QScreen* screen = window.screen();
    return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

// The frame's logical margins as far as they are known, and whether the platform told them
// (rather than their being the last window's, or none). A frame still being built may read as
// negative margins: those are not margins yet.
std::pair<QMargins, bool> KnownMargins(const QWidget& window) {
    const qreal ratio = RatioOf(window);
    if (const std::optional<QMargins> told = ToldFrameExtents(window)) {
        LastToldMargins() = *told;
        return {LogicalMargins(*told, ratio), true};
    }
    const QWindow* handle = window.windowHandle();
    const QMargins m = handle != nullptr ? handle->frameMargins() : FrameMarginsOf(window);
    if (!m.isNull() && m.left() >= 0 && m.top() >= 0 && m.right() >= 0 && m.bottom() >= 0) {
        // Rounded to logical pixels by the platform: at a fractional ratio, one more to be sure.
        const int more = ratio == std::floor(ratio) ? 0 : 1;
        return {m + QMargins(more, more, more, more), true};
    }
    if (LastToldMargins()) return {LogicalMargins(*LastToldMargins(), ratio), false};
    return {QMargins(), false};
}

using FrameFn = std::function<QRect(const QMargins& frame)>;

class ScreenFitter final : public QObject {
public:
    // `frameFor` gives the frame the window would have with the given margins, from which its
    // screen is chosen; `fit` places it inside that screen's area.
    ScreenFitter(QWidget& window, FitFn fit, FrameFn frameFor, bool everyShow)
        : QObject(&window), FWindow(window), FFit(std::move(fit)), FFrameFor(std::move(frameFor)), FEveryShow(everyShow) {
        window.installEventFilter(this);
        // Asked now, the window manager has until the window is shown to answer.
        RequestFrameExtents(window);
        WatchFrameExtents(window, [this] { Check(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (FFitting) return false;
        if (watched == &FWindow && event->type() == QEvent::Show && !event->spontaneous() && (FEveryShow || !FShown)) {
            // Sent before the window appears: fitted now, it never shows at a place it leaves.
            FShown = true;
            FAppeared = false;
            FSettled = false;
            FCorrections = 0;
            FCorrected.reset();
            if (QWindow* handle = FWindow.windowHandle(); handle != nullptr && handle != FHandle) {
                handle->installEventFilter(this);
                FHandle = handle;
                WatchFrameExtents(FWindow, [this] { Check(); });  // the native window may be a new one
            }
            Fit(KnownMargins(FWindow).first);
            return false;
        }
        if (!FShown) return false;
        switch (event->type()) {
        case QEvent::Expose:
            // The window has appeared: the window manager has taken it in.
            FAppeared = true;
            Check(true);
            break;
        case QEvent::Move:
        case QEvent::Resize:
            // The display server reports where the window is (or the toolkit where it asked).
            Check(true, event->type() == QEvent::Resize);
            break;
        case QEvent::WindowActivate:
        case QEvent::Paint:
            // One of these follows the window manager's framing of the window: its margins
            // may be known now.
            Check();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Check(bool reported = false, bool resized = false) {
        if (FFitting || !FShown || !FWindow.isVisible()) return;
        const auto [margins, told] = KnownMargins(FWindow);
        if (margins != FMargins) {
            Fit(margins);
        } else if (resized && FEveryShow) {
            // Grown by its contents (a layout's least size) past what the screen holds, which
            // no user can drag it to: squeezed back.
            const QRect frame = FWindow.geometry().marginsAdded(margins);
            const QRect area = AreaFor(frame);
            if (!area.isEmpty() && (frame.width() > area.width() || frame.height() > area.height())) Fit(margins);
        }
        if (reported && told && FAppeared && !FSettled && !FFitting) Settle(margins);
    }

    // Shown and framed with the margins it was placed by: where the window is, as the display
    // server has it, is checked at each report until its frame is found inside the free area.
    // Reports can still be of places from before the last request (the window manager works
    // through the requests in turn), and a window manager may place a window by its own rules:
    // a frame outside is placed again, a few times at most, so as never to fight the window
    // manager. Later moves and sizes are the user's.
    void Settle(const QMargins& margins) {
        const std::optional<QRect> frame = ServerFrame();
        const bool inside = frame ? DeviceFreeArea(*frame).contains(*frame) : [this, &margins] {
            const QRect logical = FWindow.geometry().marginsAdded(margins);
            return AreaFor(logical).contains(logical);
        }();
        if (inside) {
            FSettled = true;
            return;
        }
        if (frame && frame == FCorrected) return;  // this place has been answered already
        FCorrected = frame;
        if (++FCorrections > kMaxCorrections) {
            FSettled = true;
            return;
        }
        Fit(margins);
    }

    // The window's frame as the display server has it, in device pixels: its client area there
    // and the margins the window manager told. Nothing where either is not known.
    std::optional<QRect> ServerFrame() const {
        const std::optional<QRect> client = ServerClientGeometry(FWindow);
        const std::optional<QMargins> extents = ToldFrameExtents(FWindow);
        if (!client || !extents) return std::nullopt;
        return client->marginsAdded(*extents);
    }

    // The free area of the screen that holds most of `deviceFrame`, in device pixels: the
    // screen's available area with its edges rounded inwards, less what the work area leaves out.
    static QRect DeviceFreeArea(const QRect& deviceFrame) {
        const QScreen* screen = ScreenForDevice(deviceFrame);
        if (screen == nullptr) return {};
        const qreal ratio = screen->devicePixelRatio();
        const QPoint origin = screen->geometry().topLeft();
        const QRect available = screen->availableGeometry();
        const auto device = [ratio](int logical, int from, bool up) {
            const double d = from + (logical - from) * ratio;
            return static_cast<int>(up ? std::ceil(d - 1e-9) : std::floor(d + 1e-9));
        };
        const QPoint topLeft(device(available.left(), origin.x(), true), device(available.top(), origin.y(), true));
        const QPoint end(device(available.left() + available.width(), origin.x(), false),
                         device(available.top() + available.height(), origin.y(), false));
        const QRect free(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
        const std::optional<QRect> work = WorkArea();
        const QRect inWork = work ? free & *work : free;
        return inWork.isEmpty() ? free : inWork;
    }

    // ScreenFor, for a frame in device pixels.
    static QScreen* ScreenForDevice(const QRect& deviceFrame) {
        for (QScreen* screen : QGuiApplication::screens()) {
            const qreal ratio = screen->devicePixelRatio();
            const QRect g = screen->geometry();
            const QRect device(g.topLeft(), QSize(qRound(g.width() * ratio), qRound(g.height() * ratio)));
            if (device.contains(deviceFrame.center())) return screen;
        }
        return ScreenFor(deviceFrame);
    }

    QRect AreaFor(const QRect& frame) const {
        const QScreen* screen = ScreenFor(frame);
        if (screen == nullptr) return {};
        const qreal ratio = screen->devicePixelRatio();
        return SafeArea(FreeArea(screen->availableGeometry(), screen->geometry(), ratio, WorkArea()), ratio);
    }

    void Fit(const QMargins& margins) {
        FFitting = true;
        FMargins = margins;
        if (const QRect area = AreaFor(FFrameFor(margins)); !area.isEmpty()) FFit(area, margins);
        FFitting = false;
    }

    static constexpr int kMaxCorrections = 3;
    QWidget& FWindow;
    FitFn FFit;
    FrameFn FFrameFor;
    bool FEveryShow;
    QWindow* FHandle = nullptr;
    QMargins FMargins;
    bool FShown = false;
    bool FAppeared = false;
    bool FSettled = false;
    int FCorrections = 0;
    std::optional<QRect> FCorrected;  // the server's place of the frame last placed again
    bool FFitting = false;
};

} // namespace

void FitToScreenWhenShown(QWidget& window, FitFn fit) {
    new ScreenFitter(
        window, std::move(fit), [&window](const QMargins& frame) { return window.geometry().marginsAdded(frame); }, false);
}

void KeepOnScreenWhenShown(QWidget& window, const QWidget* anchor) {
    const QPointer<const QWidget> near(anchor);
    // Whether the window had its place when first shown; later shows keep the one it has.
    auto placed = std::make_shared<bool>(false);
    // What a window with no place of its own opens centred on; nothing once it has a place.
    auto centreOn = [&window, near, placed]() -> QRect {
        if (*placed || window.testAttribute(Qt::WA_Moved)) return {};
        if (near != nullptr && near->isVisible()) return near->frameGeometry();
        const QScreen* screen = near != nullptr ? near->screen() : QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->availableGeometry() : QRect();
    };
    auto frameFor = [&window, centreOn](const QMargins& frame) {
        QRect now = window.geometry().marginsAdded(frame);
        if (const QRect over = centreOn(); !over.isEmpty()) now.moveCenter(over.center());
        return now;
    };
    auto fit = [&window, centreOn, placed](const QRect& available, const QMargins& frame) {
        if (window.layout() != nullptr) window.layout()->activate();  // its least size, as shown
        const QRect now = window.geometry().marginsAdded(frame);
        const QRect over = centreOn();
        const QRect inside = over.isEmpty() ? KeepInside(now, available) : PlaceNear(now.size(), over, available);
        *placed = true;
        const QSize edges(frame.left() + frame.right(), frame.top() + frame.bottom());
        const QSize client = (inside.size() - edges).expandedTo(QSize(1, 1));
        // On a screen smaller than the window's least size, the window is squeezed to the screen
        // rather than left hanging off it.
        if (const QSize least = window.minimumSize().boundedTo(client); least != window.minimumSize()) {
            window.setMinimumSize(least);
        }
        if (inside != now) PlaceWindow(window, {inside.topLeft(), client}, frame);
    };
    new ScreenFitter(window, std::move(fit), std::move(frameFor), true);
}

} // namespace toolkit
