#pragma once
// What the window manager says about the frame it gives a top-level window, and about the part
// of the desktop it keeps free of panels, in the platform's own (device) pixels. On X11 the window manager frames a window only when it is mapped; asked
// with _NET_REQUEST_FRAME_EXTENTS beforehand, an EWMH window manager tells the frame it will
// give (as the window's _NET_FRAME_EXTENTS) without mapping it. Elsewhere the platform knows a
// window's frame before it is shown, and there is nothing to ask.
#include <QMargins>
#include <QRect>

#include <functional>
#include <optional>

class QWidget;

namespace toolkit {

// Asks for the frame `window` will have, so that it may be known before the window is first
// shown. Creates the window's native window (not shown). Harmless without a window manager.
void RequestFrameExtents(QWidget& window);

// The frame's margins as the window manager has told them for `window`, in device pixels;
// nothing where it has not (yet), or where the platform does not tell them this way.
std::optional<QMargins> ToldFrameExtents(const QWidget& window);

// Calls `told` on the window's thread, after the event that brought them, whenever the window
// manager tells `window` its frame's margins anew. Ends with the window.
void WatchFrameExtents(QWidget& window, std::function<void()> told);

// The desktop's work area as the window manager keeps it free of panels (on X11 its
// _NET_WORKAREA for the current desktop), in device pixels; nothing where it does not say, or
// where the platform's own screen areas already count every panel.
std::optional<QRect> WorkArea();

// Where the display server has `window`'s client area: its place on the screen and its size, in
// device pixels, as they are now rather than as the toolkit last heard of them; nothing where the
// platform's own idea of a window's geometry is the server's.
std::optional<QRect> ServerClientGeometry(const QWidget& window);

} // namespace toolkit
