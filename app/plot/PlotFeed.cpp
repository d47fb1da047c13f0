#include "app/plot/PlotFeed.h"

namespace plot {

int64_t PlotFeed::SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

PlotFeed::PlotFeed(ReceiveDecoder& decoder, PlotModel& model, ClockMs clock)
    : FDecoder(decoder), FModel(model), FClock(std::move(clock)) {
    FDecoder.AddObserver(this);
}

PlotFeed::~PlotFeed() { FDecoder.RemoveObserver(this); }

void PlotFeed::StatusShown(const ShownStatusRecord& record) {
    FModel.Add(FClock(), record.Car, record.DrivePwm, record.BrakePwm, record.LastLb, record.LaneChange);
    if (OnRecord) OnRecord();
}

} // namespace plot
