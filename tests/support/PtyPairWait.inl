#pragma once
#include <chrono>
#include <thread>

namespace testsupport {

template <class Pred, class Pump>
bool WaitUntil(Pred pred, Pump pump, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        pump();
    }
    return true;
}

} // namespace testsupport
