#pragma once
// The session window's picture in the chart layer's terms: the session's cars and their columns
// over the view, its time axis in the records' own local time, the cursor; and the session's
// record times for the window's view model.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/chart/Picture.h"
#include "app/chart/Timeline.h"

namespace session {
class SessionData;
}

namespace session::ui {

struct PictureRequest {
    const SessionData* data = nullptr;  // null while the session is read: no made-up times then
    chart::TimeView view;
    int width = 0, height = 0;
    const std::array<bool, 256>* hidden = nullptr;  // cars left out
    std::optional<int64_t> cursorMs;
    std::optional<std::pair<int, int>> rangeX;
    std::string note;
    std::string timeSeparator = ":";
    int minTickSpacingPx = 90;
    chart::TextWidth textWidth;
};
chart::Picture BuildPicture(const PictureRequest& request);

// The session's cars in the order of its list, in their colours.
std::vector<chart::PlotCar> SessionCars(const SessionData& data, const std::array<bool, 256>* hidden);

// The session's records' times as the view model asks for them.
class SessionTimes : public chart::RecordTimes {
public:
    explicit SessionTimes(const SessionData& data) : FData(data) {}
    size_t Count() const override;
    int64_t TimeMs(size_t index) const override;
    size_t LowerBound(int64_t timeMs) const override;
    size_t Nearest(int64_t timeMs) const override;

private:
    const SessionData& FData;
};

} // namespace session::ui
