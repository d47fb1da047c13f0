#pragma once
// Opens the ports the search probes on a thread of its own, so that an open that never returns
// (a wedged driver, a device on a hung network mount) cannot stall the window: the window asks,
// goes on serving its events, and takes the device when the open has ended. An open that
// outlives its deadline is given up: its thread is left to it and closes the device should it
// still come. One port is never asked for again while its previous open still hangs, and only
// so many opens may hang at once, so a wedged port costs one thread, not one per pass. Plain C++.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/platform/SerialDevice.h"

class ProbeOpener {
public:
    using Clock = std::chrono::steady_clock;
    // Told on the opening thread when an open has ended and its result waits to be taken. Must
    // return at once (post to the window's thread); never called for an open given up.
    using EndedHook = std::function<void()>;

    static constexpr std::chrono::milliseconds kDefaultDeadline{3000};
    static constexpr size_t kMaxHanging = 4;

    enum class Refusal : uint8_t {
        None,
        StillHanging,   // this path's previous open has not returned yet
        TooManyHanging, // kMaxHanging opens of other paths have not returned yet
    };

    explicit ProbeOpener(EndedHook ended, std::chrono::milliseconds deadline = kDefaultDeadline);
    // Stops the waiting thread and joins it; an open under way is given up.
    ~ProbeOpener();
    ProbeOpener(const ProbeOpener&) = delete;
    ProbeOpener& operator=(const ProbeOpener&) = delete;

    // Starts opening the device at path (nothing there: the absence's error at once, without an
    // open). One open at a time: a pending one must be taken or given up first.
    Refusal Start(const std::string& path);
    // An open started and neither taken nor given up.
    bool Pending() const { return FPending; }
    const std::string& PendingPath() const { return FPendingPath; }
    // The pending open's result is in.
    bool Ended() const;
    // The pending open has not ended by its deadline.
    bool Overdue(Clock::time_point now = Clock::now()) const;
    // The pending open's result (after Ended); nothing is pending afterwards.
    serialdev::OpenResult Take();
    // Gives up the pending open: its result is dropped (a device closed) whenever it comes.
    void GiveUp();
    // Opens given up that have not returned yet.
    size_t Hanging() const;

private:
    struct Worker;
    std::shared_ptr<Worker> StartWorker();

    EndedHook FEnded;
    std::chrono::milliseconds FDeadline;
    std::shared_ptr<Worker> FWorker;                 // waits for the next open
    std::vector<std::shared_ptr<Worker>> FGivenUp;   // each stuck in an open given up
    bool FPending = false;
    std::string FPendingPath;
    Clock::time_point FPendingSince;
};
