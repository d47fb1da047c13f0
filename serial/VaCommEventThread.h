#pragma once
// The event thread: waits through the device for line events on the open port and hands each
// set of them to the component, on the main thread (SyncEvents) or on itself.
//
// A set of events for the main thread is posted, not waited for: the thread goes back to its
// wait while the handlers run, and reads what arrives meanwhile into the input queue. Only one
// delivery is ever on its way; events that come before it has ended wait for it, so they are
// handed over one set at a time and in order. The thread never waits for the main thread
// otherwise, so the main thread may stop and join it even from inside one of its deliveries.
//
// When received data is watched the thread moves what the port has into the component's input
// queue, so EV_RXCHAR means "new bytes arrived": bytes a handler leaves unread do not wake the
// thread again. The queue looks for the event character and the 80 % mark in every byte that
// enters it, whoever reads, and the thread reports what it found. A full queue stops the thread
// reading until a read makes room. After a hang-up the thread parks until it is stopped.
//
// Modem-line changes come from a watcher thread of its own where the device can wait for them
// apart from the other events; it ends before the device goes (StopModemWatch).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "toolkit/Thread.h"

class TVaCustomComm;
class TVaInputQueue;
namespace serialdev {
class SerialDevice;
}

class TVaCommEventThread : public toolkit::TThread {
public:
    // Takes what it needs from the open component; starts the modem-line watcher when those
    // events are watched. Raises std::system_error when a thread cannot be made.
    explicit TVaCommEventThread(TVaCustomComm& AOwner);
    ~TVaCommEventThread() override;
    std::string ClassName() const override { return "TVaCommEventThread"; }

    bool SyncEvents() const { return FSyncEvents; }
    // The thread reads the port into the input queue as bytes arrive (received data is watched).
    bool FillsQueue() const { return FFillsQueue; }
    void SetSyncEvents(bool Value) { FSyncEvents = Value; }

    // Sets the terminated flag and wakes the thread wherever it waits. A delivery already
    // posted to the main thread still runs (FinishDelivery).
    void Stop() { Terminate(); }
    // Main thread, after the thread has ended: runs its posted delivery, and the calls queued
    // before it, if it has not run yet.
    void FinishDelivery();
    // Ends the modem-line watcher; safe from any thread, and more than once. Must have run
    // before the device goes away.
    void StopModemWatch();
    // The component gave the thread up from inside one of its own deliveries: the rest of that
    // delivery is skipped, and the thread is stopped and joined now, before the device goes.
    void Retire();

    // Also true while the main thread is inside this thread's posted delivery.
    bool SynchronizingWithCaller() const override;

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    // Blocks until there are events to deliver (their mask) or the thread is to end (0).
    uint32_t WaitForEvents();
    uint32_t CollectInput(bool portSignalled);
    void Park();
    void DeliverEvents(uint32_t mask);
    void ProcessEvents(uint32_t mask);
    void HandleHangup();
    // Runs fn on the main thread (posted, after the previous delivery has ended) or here.
    // Returns at once, without handing anything over, when the thread is stopped meanwhile.
    void Deliver(bool onMainThread, std::function<void()> fn);
    void ModemWatchLoop();

    TVaCustomComm& FOwner;
    serialdev::SerialDevice& FDevice;
    TVaInputQueue& FQueue;
    const uint32_t FEventMask;
    const bool FFillsQueue;  // received data is watched: read the port into the input queue
    bool FSyncEvents = true;
    bool FParked = false;  // hung up or failed: nothing more until Close
    bool FHungUp = false;
    std::atomic<uint32_t> FModemEvents{0};
    // Shared with the delivery on its way, which may outlive the thread's stop.
    struct Delivery {
        std::mutex Lock;
        std::condition_variable Ended;
        bool Posted = false;   // handed to the main thread, not ended yet
        bool Running = false;  // the main thread is inside it
        std::atomic<bool> Cancelled{false};  // the port was closed from inside it
    };
    const std::shared_ptr<Delivery> FDelivery = std::make_shared<Delivery>();
    std::mutex FParkLock;
    std::condition_variable FParkWake;
    std::mutex FModemLock;
    std::thread FModemThread;
};
