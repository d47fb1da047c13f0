#pragma once
// The session window's picture: drive PWM above, brake PWM below, 0 to 255 against the records'
// local wall-clock time, one colour per car, lane changes as ticks on the drive curve, and the
// cursor. Built once as lines and marks in pixels, then either rasterised (the window, PNG) or
// written as SVG, so an exported file is the picture as shown. Each car's curve comes from the
// session's per-column extents, so a picture costs the same at any zoom.
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPolygon>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace session {
class SessionData;
}

namespace session::ui {

// A stretch of the session's time, in milliseconds since 1970-01-01 UTC, start included.
struct TimeView {
    int64_t startMs = 0;
    int64_t endMs = 1;
    int64_t SpanMs() const { return endMs - startMs; }
    bool operator==(const TimeView&) const = default;
};

// Where things go in a picture of a given size.
struct PlotLayout {
    QRect drive;  // the drive pane, frame included
    QRect brake;
    QRect axis;   // below the brake pane: the time labels, where a dragged range zooms
    bool Usable() const { return drive.width() >= 10 && drive.height() >= 10; }
    static PlotLayout For(QSize size);
};

struct AxisTick {
    int x = 0;
    QString label;
};

struct CarCurves {
    uint8_t car = 0;
    QRgb colour = 0;
    std::vector<QPolygon> drive;  // a new line after each silence of the car (its records stopped)
    std::vector<QPolygon> brake;
    std::vector<QRect> laneMarks;
};

struct PlotPicture {
    QSize size;
    PlotLayout layout;
    std::vector<AxisTick> ticks;
    std::vector<CarCurves> cars;
    int cursorX = -1;                  // -1: the cursor is outside the view
    int rangeFromX = -1, rangeToX = -1;  // a range being dragged on the axis
    QString note;                      // shown in the drive pane ("Loading...")
};

// Silence longer than this breaks a car's line, so a drop-out shows as a gap.
constexpr int64_t kLineBreakMs = 1000;

// The colour of the car at this place in the session's list of cars.
QColor SessionCarColour(size_t index);

// Pixel column of a time and back, in a pane of the layout.
double XForTime(const PlotLayout& layout, const TimeView& view, int64_t timeMs);
int64_t TimeForX(const PlotLayout& layout, const TimeView& view, double x);

// The label step for a view: the smallest of the round steps (1 ms to a day) that leaves at least
// minSpacingPx between labels.
int64_t TickStepMs(int64_t spanMs, int widthPx, int minSpacingPx);
// "9:43:51", "9:43" or "9:43:51.250": the local wall-clock time of timeMs (UTC) in the form
// that tells ticks stepMs apart.
QString TickLabel(int64_t timeMs, int utcOffsetMinutes, int64_t stepMs, const std::string& timeSeparator);

struct PictureRequest {
    const SessionData* data = nullptr;  // may be null (nothing loaded yet)
    TimeView view;
    QSize size;
    const std::array<bool, 256>* hidden = nullptr;  // cars left out
    std::optional<int64_t> cursorMs;
    std::string timeSeparator = ":";
    int minTickSpacingPx = 90;
};
PlotPicture BuildPicture(const PictureRequest& request);

// The picture as pixels (RGB32), labels in font.
QImage RenderPicture(const PlotPicture& picture, const QFont& font);
// The picture as an SVG document.
QByteArray PictureToSvg(const PlotPicture& picture, const QFont& font);

} // namespace session::ui
