#pragma once
// Keeping top-level windows on the screen: where a window's designed or remembered place does
// not fit the screen's available area (the screen less task bars and panels), it is moved inside
// and, only where it must be, made smaller.
//
// Places are those of the window's frame (title bar and borders included), as a window's
// position is; sizes are client sizes, as a design gives them. The frame's margins come from the
// platform: exact on Windows before the window is shown, on X11 only once the window manager has
// framed it, so a fit made at show time is made again when they turn out different.
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QScreen;
class QWidget;

namespace toolkit {

struct WindowPlace {
    QPoint FramePos;  // top left of the frame
    QSize Client;
    bool operator==(const WindowPlace&) const = default;
};

// A window designed with its frame at `designFramePos` and a client area of `designClient`:
// unchanged where its frame lies inside `available`; otherwise moved inside by as little as
// needed, and its client area made smaller only by what the frame still lacks.
WindowPlace FitWindow(QPoint designFramePos, QSize designClient, const QRect& available, const QMargins& frame);

// Puts a top-level window at `place`, its frame having `frame` for margins.
void PlaceWindow(QWidget& window, const WindowPlace& place, const QMargins& frame);

// `frame` moved inside `available`, and made smaller only where it is larger than it.
QRect KeepInside(const QRect& frame, const QRect& available);

// The screen whose available area holds most of `frame`; for a frame on none of them (a
// screen since removed) the screen under its centre, or else the primary screen.
QScreen* ScreenFor(const QRect& frame);

// The margins of the frame a top-level window has, as far as the platform knows them yet.
QMargins FrameMarginsOf(const QWidget& window);

// Brings a top-level window that lies wholly or partly outside the available area of its
// screen (a remembered place on a screen that is gone, a smaller screen than before) back
// inside it. A window that lies inside is left as it is.
void KeepOnScreen(QWidget& window);

// Calls `fit` with the available area of the window's screen and the frame's margins when the
// window is first shown, and again whenever the frame's margins turn out different from those
// it was last given (the window manager has framed the window). Owned by the window. The
// margins are the platform's own, which a window's frame geometry may not show yet: `fit`
// places the window by its client area, at the frame's place plus the margins.
using FitFn = std::function<void(const QRect& available, const QMargins& frame)>;
void FitToScreenWhenShown(QWidget& window, FitFn fit);

} // namespace toolkit
