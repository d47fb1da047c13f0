#pragma once
// Where things go in a throttle plot of a given size: drive PWM in the upper pane, brake PWM in
// the lower, the time labels below, in whole pixels. The live plot and the session window use the
// same places, so the two read alike. Plain C++.
#include <cstdint>

namespace chart {

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// x, y the top left pixel; the rectangle covers width x height pixels.
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int Left() const { return x; }
    int Top() const { return y; }
    int Right() const { return x + width - 1; }
    int Bottom() const { return y + height - 1; }
    bool Contains(Point p) const { return p.x >= x && p.x <= Right() && p.y >= y && p.y <= Bottom(); }
    bool operator==(const Rect&) const = default;
};

inline constexpr int kLeft = 34;      // room for the value labels
inline constexpr int kRight = 10;
inline constexpr int kTop = 18;       // room for a pane's title
inline constexpr int kGap = 24;       // between the panes
inline constexpr int kBottom = 20;    // room for the time labels
inline constexpr int kTickHalf = 5;   // lane-change mark, above and below the curve
inline constexpr int kValueLines[] = {0, 64, 128, 192, 255};

struct PlotLayout {
    Rect drive;  // the drive pane, frame included
    Rect brake;
    Rect axis;   // below the brake pane: the time labels (in the session window, where a dragged range zooms)
    bool Usable() const { return drive.width >= 10 && drive.height >= 10; }
    static PlotLayout For(int width, int height);
};

// The row of a value 0 to 255 in a pane.
int YForValue(const Rect& pane, int value);

// A stretch of time in milliseconds, start included: since 1970-01-01 UTC in the session window,
// on the live plot's own clock there.
struct TimeView {
    int64_t startMs = 0;
    int64_t endMs = 1;
    int64_t SpanMs() const { return endMs - startMs; }
    bool operator==(const TimeView&) const = default;
};

// Pixel column of a time and back, in the panes of the layout.
double XForTime(const PlotLayout& layout, const TimeView& view, int64_t timeMs);
int64_t TimeForX(const PlotLayout& layout, const TimeView& view, double x);

} // namespace chart
