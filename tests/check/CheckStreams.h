#pragma once
// Record streams for the throttle check's tests: a model of throttle taken through the check's
// steps by the simulated bench user, or a drive laid out by hand.
#include <cstdint>
#include <vector>

#include "BenchThrottles.h"
#include "app/check/CarCheck.h"

namespace checktest {

// `seconds` of one car of `model` at `perSecond` records a second, the bench user at the trigger.
inline std::vector<check::Sample> BenchStream(unitsim::ThrottleModel model, double perSecond, double seconds,
                                              uint32_t seed = 7, uint8_t car = 1) {
    unitsim::ThrottleUnit unit(car, model, seed);
    unitsim::BenchUser user(seed);
    std::vector<check::Sample> samples;
    const int64_t startMs = 1'765'000'000'000;
    for (double t = 0; t < seconds; t += 1.0 / perSecond) {
        const unitsim::ThrottleUnit::Reading r = unit.Read(t, user.At(t));
        samples.push_back({startMs + static_cast<int64_t>(t * 1000), car, r.drive, r.brake, r.laneChange});
    }
    return samples;
}

inline check::CarResult Checked(const std::vector<check::Sample>& samples, const check::Thresholds& t = {}) {
    check::CarCheck car(samples.empty() ? 0 : samples.front().car, t);
    for (const check::Sample& s : samples) car.Add(s);
    return car.Result();
}

// Appends records every `stepMs` from the last one's time (or 0) for `ms`, the drive going
// linearly from `from` to `to`.
inline void Ramp(std::vector<check::Sample>& out, int from, int to, int64_t ms, int64_t stepMs = 10, bool lane = false) {
    const int64_t start = out.empty() ? 0 : out.back().ms + stepMs;
    for (int64_t t = 0; t <= ms; t += stepMs) {
        const int drive = from + static_cast<int>((to - from) * t / (ms == 0 ? 1 : ms));
        out.push_back({start + t, 1, static_cast<uint8_t>(drive), 0, lane});
    }
}

} // namespace checktest
