// Windows knows a window's frame before the window is shown, and Qt reports it as the window's
// frame margins: there is no window manager to ask, and each screen's available area leaves out
// the task bar.
#include "toolkit/qt/WindowManager.h"

namespace toolkit {

void RequestFrameExtents(QWidget&) {}

std::optional<QMargins> ToldFrameExtents(const QWidget&) { return std::nullopt; }

void WatchFrameExtents(QWidget&, std::function<void()>) {}

// Each screen's available area already leaves out the task bar wherever it is.
std::optional<QRect> WorkArea() { return std::nullopt; }

std::optional<QRect> ServerClientGeometry(const QWidget&) { return std::nullopt; }

} // namespace toolkit
