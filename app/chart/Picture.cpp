#include "app/chart/Picture.h"

#include <algorithm>
#include <cstdlib>

namespace chart {

namespace {
const char* const kPaneTitles[] = {"Drive PWM", "Brake PWM"};
constexpr int kLegendPad = 8;
constexpr int kSwatch = 10;

// One pane's curve of one car from its columns: each column a vertical run through its first,
// extreme and last values, joined to the next column's first, so a spike narrower than a pixel
// still shows its peak.
class CurveBuilder {
public:
    CurveBuilder(const Rect& pane, std::vector<std::vector<Point>>& out) : FPane(pane), FOut(out) {}

    void Column(int x, uint8_t first, uint8_t min, uint8_t max, uint8_t last, bool breakBefore) {
        if (breakBefore || FOut.empty()) FOut.emplace_back();
        // Of the two extremes the one nearer the first value comes first.
        const bool minFirst = std::abs(first - min) <= std::abs(first - max);
        Add(x, first);
        Add(x, minFirst ? min : max);
        Add(x, minFirst ? max : min);
        Add(x, last);
    }

private:
    void Add(int x, uint8_t value) {
        const Point at{x, YForValue(FPane, value)};
        std::vector<Point>& line = FOut.back();
        if (line.empty() || line.back() != at) line.push_back(at);
    }
    Rect FPane;
    std::vector<std::vector<Point>>& FOut;
};

// A label's box of the text's width around x, moved inside [0, width) so none is cut off.
Rect LabelBox(int x, int y, int height, int textWidth, int width) {
    const int w = textWidth + 4;
    const int left = std::clamp(x - w / 2, 0, std::max(width - w, 0));
    return {left, y, w, height};
}

void AddFrame(Picture& pic, const TextWidth& textWidth) {
    const PlotLayout& l = pic.layout;
    const Rect panes[] = {l.drive, l.brake};
    Layer& f = pic.frame;
    for (const AxisTick& tick : pic.axis.ticks) {
        for (const Rect& a : panes) f.lines.push_back({{tick.x, a.Top()}, {tick.x, a.Bottom()}, kTimeLineColour});
    }
    for (size_t i = 0; i < 2; ++i) {
        const Rect& a = panes[i];
        for (int v : kValueLines) f.lines.push_back({{a.Left(), YForValue(a, v)}, {a.Right(), YForValue(a, v)}, kValueLineColour});
        f.boxes.push_back({a, kBlack, false});
        f.texts.push_back({{a.Left(), a.Top() - kTop, a.width, kTop}, Align::Left, kPaneTitles[i]});
        for (int v : kValueLines) f.texts.push_back({{0, YForValue(a, v) - 8, kLeft - 4, 16}, Align::Right, std::to_string(v)});
    }
    for (const AxisTick& tick : pic.axis.ticks) {
        f.lines.push_back({{tick.x, l.brake.Bottom()}, {tick.x, l.brake.Bottom() + 3}, kBlack});
        const int w = textWidth ? textWidth(tick.label) : static_cast<int>(tick.label.size()) * 8;
        f.texts.push_back({LabelBox(tick.x, l.axis.Top() + 3, kBottom - 3, w, pic.width), Align::Centre, tick.label});
    }
}

void AddCurves(Picture& pic, const PictureRequest& r) {
    const PlotLayout& l = pic.layout;
    const int columns = l.drive.width;
    std::vector<Column> extents;
    for (const PlotCar& car : r.cars) {
        if (car.hidden || !r.columnsOf) continue;
        r.columnsOf(car.car, columns, extents);
        CarCurves curves;
        curves.car = car.car;
        curves.colour = car.colour;
        CurveBuilder drive(l.drive, curves.drive), brake(l.brake, curves.brake);
        int lastColumn = -1;
        for (int c = 0; c < columns && c < static_cast<int>(extents.size()); ++c) {
            const Column& e = extents[static_cast<size_t>(c)];
            if (e.records == 0) continue;
            const bool silence = lastColumn >= 0 && (c - lastColumn - 1) * r.msPerColumn >= static_cast<double>(kLineBreakMs);
            const int x = l.drive.Left() + c;
            drive.Column(x, e.driveFirst, e.driveMin, e.driveMax, e.driveLast, silence);
            brake.Column(x, e.brakeFirst, e.brakeMin, e.brakeMax, e.brakeLast, silence);
            if (e.laneChange) curves.laneMarks.push_back({x - 1, YForValue(l.drive, e.laneDrive) - kTickHalf, 3, 2 * kTickHalf + 1});
            lastColumn = c;
        }
        if (lastColumn >= 0) pic.cars.push_back(std::move(curves));
    }
}

void AddOverlay(Picture& pic, const PictureRequest& r) {
    const PlotLayout& l = pic.layout;
    Layer& o = pic.overlay;
    if (r.rangeX) {
        const int from = std::min(r.rangeX->first, r.rangeX->second), to = std::max(r.rangeX->first, r.rangeX->second);
        for (const Rect& a : {l.drive, l.brake, l.axis}) o.boxes.push_back({{from, a.Top(), to - from + 1, a.height}, kRangeColour, true});
    }
    for (const OffsetChange& change : pic.axis.changes) {
        o.lines.push_back({{change.x, l.drive.Top()}, {change.x, l.brake.Bottom() + 3}, kOffsetChangeColour});
        const std::string text = OffsetText(change.offsetMinutes);
        const int w = r.textWidth ? r.textWidth(text) : static_cast<int>(text.size()) * 8;
        o.texts.push_back({{std::min(change.x + 3, std::max(pic.width - w - 4, 0)), l.drive.Top() - kTop, w + 4, kTop},
                           Align::Left, text, kOffsetChangeColour});
    }
    if (pic.cursorX >= 0) o.lines.push_back({{pic.cursorX, l.drive.Top()}, {pic.cursorX, l.brake.Bottom()}, kBlack});
    if (!r.note.empty()) o.texts.push_back({l.drive, Align::Centre, r.note});
    if (!r.corner.empty()) o.texts.push_back({{l.drive.Left(), 0, l.drive.width, kTop}, Align::Right, r.corner, kBlack, true});
}
} // namespace

Picture BuildPicture(const PictureRequest& r) {
    Picture pic;
    pic.width = std::max(r.width, 1);
    pic.height = std::max(r.height, 1);
    pic.layout = PlotLayout::For(r.width, r.height);
    if (!pic.layout.Usable()) return pic;
    pic.axis = r.axis;
    if (r.cursorX) pic.cursorX = std::clamp(*r.cursorX, pic.layout.drive.Left(), pic.layout.drive.Right());
    AddFrame(pic, r.textWidth);
    AddCurves(pic, r);
    AddOverlay(pic, r);
    return pic;
}

void AddLegend(Picture& pic, const std::vector<PlotCar>& cars, int lineHeight, const TextWidth& textWidth) {
    if (cars.empty()) return;
    std::vector<std::string> names;
    int widest = 0;
    for (const PlotCar& car : cars) {
        names.push_back("Car " + std::to_string(car.car) + (car.hidden ? " (hidden)" : ""));
        widest = std::max(widest, textWidth ? textWidth(names.back()) : static_cast<int>(names.back().size()) * 8);
    }
    const int left = pic.width + kLegendPad;
    const int rowHeight = std::max(lineHeight, kSwatch) + 4;
    for (size_t i = 0; i < cars.size(); ++i) {
        const int y = pic.layout.drive.Top() + static_cast<int>(i) * rowHeight;
        const Argb text = cars[i].hidden ? kGrey : kBlack;
        pic.legend.boxes.push_back({{left, y + (rowHeight - kSwatch) / 2, kSwatch, kSwatch}, cars[i].colour, true});
        pic.legend.texts.push_back({{left + kSwatch + 4, y, widest + 4, rowHeight}, Align::Left, names[i], text});
    }
    pic.width = left + kSwatch + 4 + widest + 4 + kLegendPad;
    pic.height = std::max(pic.height, pic.layout.drive.Top() + static_cast<int>(cars.size()) * rowHeight + kLegendPad);
}

} // namespace chart
