#pragma once
// A throttle plot as a display list: lines, boxes and texts in whole pixels, and each car's
// curves and lane-change marks. Built once, then drawn by whoever shows it (the window, a PNG,
// an SVG), so every copy of a plot is the same picture. The live plot and the session window
// build theirs here from per-pixel-column extents of their records, so a picture costs the same
// however many records lie behind it. Plain C++.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/chart/Colours.h"
#include "app/chart/Layout.h"
#include "app/chart/TimeAxis.h"

namespace chart {

enum class Align { Left, Centre, Right };

// A text centred vertically in box, placed across it as align says.
struct Text {
    Rect box;
    Align align = Align::Left;
    std::string text;
    Argb colour = kBlack;
    bool bold = false;
    bool operator==(const Text&) const = default;
};

// A line one pixel wide, both ends included.
struct Line {
    Point from, to;
    Argb colour = kBlack;
    bool operator==(const Line&) const = default;
};

// A rectangle: filled (see-through where the colour's alpha says so) or its outline, one pixel
// inside the rectangle.
struct Box {
    Rect rect;
    Argb colour = kBlack;
    bool filled = false;
    bool operator==(const Box&) const = default;
};

// Drawn in this order: lines, boxes, texts.
struct Layer {
    std::vector<Line> lines;
    std::vector<Box> boxes;
    std::vector<Text> texts;
    bool operator==(const Layer&) const = default;
};

// One car's drawing: lines through each pixel column's first, extreme and last values (a new
// line after each silence of the car), and its lane-change marks, all inside the panes.
struct CarCurves {
    uint8_t car = 0;
    Argb colour = 0;
    std::vector<std::vector<Point>> drive;
    std::vector<std::vector<Point>> brake;
    std::vector<Rect> laneMarks;
};

struct Picture {
    int width = 0, height = 0;
    PlotLayout layout;
    TimeAxis axis;
    Layer frame;                 // grid, pane frames, titles, value and time labels
    std::vector<CarCurves> cars;  // clipped to the inside of the panes
    Layer overlay;               // a dragged range, offset changes, the cursor, notes
    Layer legend;                // the cars' list, right of the plot (AddLegend)
    int cursorX = -1;            // -1: no cursor in the view
};

// One pixel column of one car's records.
struct Column {
    uint32_t records = 0;  // the car's status records in the column; 0: nothing to draw
    uint8_t driveFirst = 0, driveMin = 0, driveMax = 0, driveLast = 0;
    uint8_t brakeFirst = 0, brakeMin = 0, brakeMax = 0, brakeLast = 0;
    bool laneChange = false;  // some record in the column has lane change set
    uint8_t laneDrive = 0;    // drive of the first such record, where the mark goes
};

// Silence longer than this breaks a car's line, so a drop-out shows as a gap.
constexpr int64_t kLineBreakMs = 1000;

// The width of a text in pixels, in the font it will be drawn in.
using TextWidth = std::function<int(std::string_view text)>;

struct PlotCar {
    uint8_t car = 0;
    Argb colour = 0;
    bool hidden = false;
};

struct PictureRequest {
    int width = 0, height = 0;
    TimeAxis axis;  // for this size (PlotLayout::For(width, height))
    std::vector<PlotCar> cars;
    // Fills out with `columns` columns of a car's records across the view.
    std::function<void(uint8_t car, int columns, std::vector<Column>& out)> columnsOf;
    double msPerColumn = 1;
    std::optional<int> cursorX;
    std::optional<std::pair<int, int>> rangeX;  // a range being dragged on the axis
    std::string note;    // across the drive pane ("Reading the session...")
    std::string corner;  // bold, top right ("Paused")
    TextWidth textWidth;  // keeps labels inside the picture; may be empty
};
Picture BuildPicture(const PictureRequest& request);

// Widens the picture by a list of its cars (swatch and name, hidden ones greyed), so a copy of it
// tells which colour is which car. lineHeight: a text line's height in pixels.
void AddLegend(Picture& picture, const std::vector<PlotCar>& cars, int lineHeight, const TextWidth& textWidth);

} // namespace chart
