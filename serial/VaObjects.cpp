#include "VaObjects.h"

#include <cerrno>
#include <chrono>
#include <system_error>

TVaWaitResult TVaEvent::TimedWait(uint32_t Milliseconds) {
    try {
        std::unique_lock<std::mutex> lock(FMutex);
        if (Milliseconds == kVaInfinite) {
            FCondition.wait(lock, [this] { return FSignaled; });
            return TVaWaitResult::Signaled;
        }
        const bool signaled =
            FCondition.wait_for(lock, std::chrono::milliseconds(Milliseconds), [this] { return FSignaled; });
        return signaled ? TVaWaitResult::Signaled : TVaWaitResult::TimedOut;
    } catch (const std::system_error& e) {
        FLastError = static_cast<uint32_t>(e.code().value());
        return TVaWaitResult::Failed;
    }
}

void TVaWaitEvent::SetSignal() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSignaled = true;
    }
    FCondition.notify_all();
}

void TVaWaitEvent::ResetSignal() {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = false;
}
