#pragma once
// What the event thread makes of port calls that fail while the line has not hung up. A driver
// may fail them before the system takes the port out of its list (a USB adapter pulled out: the
// order is the driver's to choose), so an error alone does not tell a pulled adapter from a port
// that fails while it stays. The thread reads the list again at every look, kInterval apart, and
// retries the failing call after each; a call that works again ends the watch, and failures that
// go on through kLooks looks make the port's failure final.
#include <chrono>

class TVaFailureWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{500};
    static constexpr int kLooks = 10;

    // A call failed with `error` (0: the system gave no number) at `now`.
    void Failed(int error, Clock::time_point now) {
        // A retry that waited as long as a whole watch before it failed had a working port
        // meanwhile: this is a new failure, not the old one going on.
        if (FWatching && now - FLookedAt >= kInterval * kLooks) FWatching = false;
        if (!FWatching) {
            FWatching = true;
            FLooks = 0;
            FLookedAt = now;
        }
        FError = error;
    }
    // A call worked: whatever failed before has passed.
    void Worked() { FWatching = false; }
    bool Watching() const { return FWatching; }
    // The latest failure's error.
    int Error() const { return FError; }
    // A look at the list, at `now`, found the port still there. True once the failures have gone
    // on through every look.
    bool Looked(Clock::time_point now) {
        FLookedAt = now;
        return ++FLooks >= kLooks;
    }

private:
    bool FWatching = false;
    int FLooks = 0;
    int FError = 0;
    Clock::time_point FLookedAt{};
};
