#pragma once
// Keeping top-level windows on the screen: where a window's designed or remembered place does
// not fit the screen's available area (the screen less task bars and panels), it is moved inside
// and, only where it must be, made smaller.
//
// Places are those of the window's frame (title bar and borders included), as a window's
// position is; sizes are client sizes, as a design gives them. The frame's margins come from the
// platform: on Windows known before the window is shown; on X11 asked of the window manager
// before the window is first shown (WindowManager.h), and where it has not answered by then, the
// margins of the last window it framed stand in until it does. A fit made at show time is made
// again whenever the margins turn out different, and, once the window has appeared, whenever the
// display server reports its frame outside the area (a report from before the last request, or
// a window manager that placed it by its own rules), a few times at most.
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>
#include <optional>

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

// The free area of a screen: its `available` area, less what the window manager's work area
// (`workArea`, in device pixels, for the whole desktop) leaves out of it. `screen` is the
// screen's logical geometry, whose top left is the same in device pixels; `ratio` its device
// pixels per logical one. The work area's edges are rounded inwards.
QRect FreeArea(const QRect& available, const QRect& screen, qreal ratio, const std::optional<QRect>& workArea);

// The area a frame may take on a screen whose device pixels are `ratio` of its logical ones.
// At a fractional ratio the platform rounds a window's place and size to device pixels, each
// edge by up to half a pixel; the area loses a logical pixel at each edge, so that the frame
// stays inside it however they round.
QRect SafeArea(const QRect& available, qreal ratio);

// Frame margins told in device pixels, in logical ones: rounded up, never less than they are.
QMargins LogicalMargins(const QMargins& device, qreal ratio);

// Where a window with no place of its own opens: its frame of `frameSize` centred on `anchor`
// (the frame of the window it belongs to), then kept inside `available` (KeepInside).
QRect PlaceNear(QSize frameSize, const QRect& anchor, const QRect& available);

// Puts a top-level window at `place`, its frame having `frame` for margins: the client area at
// the frame's place plus the margins, which leaves the frame where asked whatever margins the
// platform thinks the window has. Place and size reach the native window together.
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

// Calls `fit` with the area the window's frame may take on its screen (SafeArea of the screen's
// available area) and the frame's logical margins when the window is first shown, before it
// appears; again whenever the margins turn out different from those it was last given (the
// window manager has framed the window); and again, a few times at most, while the frame as the
// display server has it is found outside the area once the window has appeared. Owned by the
// window. The margins may be ones the window's frame geometry does not show yet: `fit` places
// the window with PlaceWindow.
using FitFn = std::function<void(const QRect& available, const QMargins& frame)>;
void FitToScreenWhenShown(QWidget& window, FitFn fit);

// For a window of the tool other than the main one (a plot, a session, a dialog): each time it
// is shown, its frame is kept inside the available area of the screen that holds most of it,
// moved by as little as needed and made smaller only where larger than the area. At its first
// show a window with no place of its own (never moved: no remembered place) opens centred on
// `anchor`'s frame (or, with no anchor, on its screen). Frames are handled as FitToScreenWhenShown
// does. Owned by the window.
void KeepOnScreenWhenShown(QWidget& window, const QWidget* anchor = nullptr);

} // namespace toolkit
