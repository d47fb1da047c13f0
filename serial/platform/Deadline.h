#pragma once
// A time-out in milliseconds (SerialDevice::kNoTimeout: none) turned into a fixed point in time,
// so a wait that is interrupted and resumed never waits longer in total.
#include <chrono>

namespace serialdev {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(int timeoutMs)
        : FUnlimited(timeoutMs < 0), FAt(Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs)) {}

    // Milliseconds left, rounded up so a wait never ends early: -1 without a limit, 0 once passed.
    int RemainingMs() const {
        if (FUnlimited) return -1;
        const auto left = FAt - Clock::now();
        if (left <= Clock::duration::zero()) return 0;
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }

private:
    bool FUnlimited;
    Clock::time_point FAt;
};

} // namespace serialdev
