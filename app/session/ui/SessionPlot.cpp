#include "app/session/ui/SessionPlot.h"

#include <algorithm>
#include <cmath>

#include "app/chart/Colours.h"
#include "app/session/SessionData.h"

namespace session::ui {

std::vector<chart::PlotCar> SessionCars(const SessionData& data, const std::array<bool, 256>* hidden) {
    std::vector<chart::PlotCar> cars;
    const std::vector<uint8_t>& list = data.Cars();
    for (size_t i = 0; i < list.size(); ++i) {
        cars.push_back({list[i], chart::CarColour(i), hidden != nullptr && (*hidden)[list[i]]});
    }
    return cars;
}

chart::Picture BuildPicture(const PictureRequest& r) {
    chart::PictureRequest c;
    c.width = r.width;
    c.height = r.height;
    c.note = r.note;
    c.rangeX = r.rangeX;
    c.textWidth = r.textWidth;
    const chart::PlotLayout layout = chart::PlotLayout::For(r.width, r.height);
    if (r.data != nullptr && r.data->RecordCount() > 0 && r.view.SpanMs() > 0) {
        const SessionData& data = *r.data;
        c.axis = chart::LocalTimeAxis(layout, r.view, [&data](int64_t t) { return data.UtcOffsetMinutesAt(t); },
                                      r.minTickSpacingPx, r.timeSeparator);
        c.cars = SessionCars(data, r.hidden);
        c.columnsOf = [&data, &r](uint8_t car, int columns, std::vector<chart::Column>& out) {
            data.QueryColumns(car, r.view.startMs, r.view.endMs, columns, out);
        };
        c.msPerColumn = static_cast<double>(r.view.SpanMs()) / std::max(layout.drive.width, 1);
        if (r.cursorMs && *r.cursorMs >= r.view.startMs && *r.cursorMs <= r.view.endMs) {
            c.cursorX = static_cast<int>(std::floor(chart::XForTime(layout, r.view, *r.cursorMs)));
        }
    }
    return chart::BuildPicture(c);
}

size_t SessionTimes::Count() const { return FData.RecordCount(); }
int64_t SessionTimes::TimeMs(size_t index) const { return FData.Record(index).timeMs; }
size_t SessionTimes::LowerBound(int64_t timeMs) const { return FData.LowerBound(timeMs); }
size_t SessionTimes::Nearest(int64_t timeMs) const { return FData.NearestRecord(timeMs); }

} // namespace session::ui
