#pragma once
// Takes each status record the decoder shows into the plot model, stamped with a clock that does
// not jump when the wall clock is set, and tells the one who draws that there is something new.
#include <chrono>
#include <cstdint>
#include <functional>

#include "app/ReceiveDecoder.h"
#include "app/plot/PlotModel.h"

namespace plot {

class PlotFeed : public RecordObserver {
public:
    using ClockMs = std::function<int64_t()>;
    static int64_t SteadyMs();

    PlotFeed(ReceiveDecoder& decoder, PlotModel& model, ClockMs clock = SteadyMs);
    ~PlotFeed() override;
    PlotFeed(const PlotFeed&) = delete;
    PlotFeed& operator=(const PlotFeed&) = delete;

    // Called after each record is taken; must be cheap, it runs at line rate.
    std::function<void()> OnRecord;

    void StatusShown(const ShownStatusRecord& record) override;
    void NameReceived(const ReceivedNameRecord&) override {}

private:
    ReceiveDecoder& FDecoder;
    PlotModel& FModel;
    ClockMs FClock;
};

} // namespace plot
