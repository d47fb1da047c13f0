#pragma once
// The tests' one way to wait: for a signal another thread gives (Flag), or for a condition,
// serving the main thread's queued calls meanwhile (the test's own thread is the main thread).
// Every wait has a limit, so a fault fails the test instead of hanging it.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "toolkit/Thread.h"

namespace testsupport {

constexpr std::chrono::milliseconds kPatience{10000};

// A signal that stays given once set; any thread may set it.
class Flag {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FSet = true;
        }
        FChanged.notify_all();
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FSet;
    }
    // Blocks (serving nothing) until set; false when the limit passed first.
    bool Wait(std::chrono::milliseconds limit = kPatience) const {
        std::unique_lock<std::mutex> lock(FLock);
        return FChanged.wait_for(lock, limit, [this] { return FSet; });
    }

private:
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    bool FSet = false;
};

// Holds another thread at a point of the test's choosing: that thread calls Pass() and stays there
// until the test calls Release(); the test may first wait for it to arrive.
class Gate {
public:
    void Pass() {
        std::unique_lock<std::mutex> lock(FLock);
        FEntered = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FOpen; });
    }
    void WaitUntilEntered() {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return FEntered; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(FLock);
        FOpen = true;
        FChanged.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FEntered = false;
    bool FOpen = false;
};

// Serves whatever arrives for a while: for checking that nothing more comes.
inline void ServeFor(std::chrono::milliseconds span) {
    toolkit::MainThreadQueue::Instance().ServeUntil([] { return false; }, span);
}

// Waits until pred holds or the limit passes, running `pump` in between (by default: serving
// the main thread's queued calls for a moment); returns the last value of pred. pred may read
// anything (locks included): it is never called under the queue's lock.
inline bool WaitUntil(
    const std::function<bool()>& pred, std::chrono::milliseconds limit = kPatience,
    const std::function<void()>& pump = [] { ServeFor(std::chrono::milliseconds(2)); }) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        pump();
    }
    return true;
}

// Given when a thread hands a call over to the main thread (and the queue's wake hook runs),
// without serving it: lets a test hold a delivery back while it changes the line. The hook
// installed before keeps being called, and comes back at the end of the scope.
class HandOverSignal {
public:
    HandOverSignal() {
        FPrevious = toolkit::MainThreadQueue::Instance().SetWakeHook([this] {
            if (FPrevious) FPrevious();
            {
                std::lock_guard<std::mutex> lock(FLock);
                ++FCount;
            }
            FChanged.notify_all();
        });
    }
    ~HandOverSignal() { toolkit::MainThreadQueue::Instance().SetWakeHook(std::move(FPrevious)); }
    HandOverSignal(const HandOverSignal&) = delete;
    HandOverSignal& operator=(const HandOverSignal&) = delete;

    // Blocks (serving nothing) until `count` calls in all have been handed over.
    bool Wait(std::chrono::milliseconds limit = kPatience, int count = 1) const {
        std::unique_lock<std::mutex> lock(FLock);
        return FChanged.wait_for(lock, limit, [&] { return FCount >= count; });
    }
    int Count() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FCount;
    }

private:
    toolkit::MainThreadQueue::WakeHook FPrevious;
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    int FCount = 0;
};

} // namespace testsupport
