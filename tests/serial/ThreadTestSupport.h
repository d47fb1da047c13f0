#pragma once
// Shared by the event, write and hang-up tests: the test's own thread is the main thread, so it
// serves the synchronised calls itself while it waits.
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/ErrorReport.h"
#include "toolkit/Thread.h"

namespace threadtest {

constexpr std::chrono::milliseconds kPatience{10000};

// Serves queued calls until pred holds (re-checked after each call) or the patience runs out.
inline bool ServeUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = kPatience) {
    return toolkit::MainThreadQueue::Instance().ServeUntil(pred, limit);
}

// Serves for a while whatever arrives; for checking that nothing more comes.
inline void ServeFor(std::chrono::milliseconds span) {
    toolkit::MainThreadQueue::Instance().ServeUntil([] { return false; }, span);
}

// For conditions that change on other threads (bytes on the line, queue counts): looks again
// every few milliseconds, serving queued calls in between.
inline bool ServeUntilSeen(const std::function<bool()>& pred, std::chrono::milliseconds limit = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        ServeFor(std::chrono::milliseconds(2));
    }
    return true;
}

class ReportRecorder {
public:
    ReportRecorder() {
        FPrevious = toolkit::SetErrorReportSink([this](const toolkit::ErrorReportEntry& e) {
            std::lock_guard<std::mutex> lock(FLock);
            FEntries.push_back(e);
        });
    }
    ~ReportRecorder() { toolkit::SetErrorReportSink(FPrevious); }
    std::vector<toolkit::ErrorReportEntry> Entries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FEntries;
    }
    size_t Count() const { return Entries().size(); }

private:
    mutable std::mutex FLock;
    std::vector<toolkit::ErrorReportEntry> FEntries;
    toolkit::ErrorReportSink FPrevious;
};

} // namespace threadtest
