#include "app/chart/Layout.h"

#include <algorithm>
#include <cmath>

namespace chart {

PlotLayout PlotLayout::For(int width, int height) {
    const int paneHeight = std::max((height - kTop - kGap - kBottom - kTop) / 2, 0);
    const int paneWidth = std::max(width - kLeft - kRight, 0);
    PlotLayout l;
    l.drive = {kLeft, kTop, paneWidth, paneHeight};
    l.brake = {kLeft, kTop + paneHeight + kGap + kTop, paneWidth, paneHeight};
    l.axis = {kLeft, l.brake.Bottom() + 1, paneWidth, kBottom};
    return l;
}

int YForValue(const Rect& pane, int value) {
    return pane.Bottom() - static_cast<int>(std::lround(value * (pane.height - 1) / 255.0));
}

double XForTime(const PlotLayout& layout, const TimeView& view, int64_t timeMs) {
    const double span = static_cast<double>(std::max<int64_t>(view.SpanMs(), 1));
    return layout.drive.Left() + static_cast<double>(timeMs - view.startMs) * layout.drive.width / span;
}

int64_t TimeForX(const PlotLayout& layout, const TimeView& view, double x) {
    const double width = std::max(layout.drive.width, 1);
    return view.startMs + static_cast<int64_t>(std::llround((x - layout.drive.Left()) * static_cast<double>(view.SpanMs()) / width));
}

} // namespace chart
