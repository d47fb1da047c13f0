#pragma once
// What the event and writer threads share: how each hands its deliveries to the main thread,
// and how the component ends it. One life-cycle for both.
//
// A delivery for the main thread is posted, never waited for: the thread goes on with its work
// while the handlers run. Only one delivery of a thread is on its way at a time; the next waits
// until it has ended (or the thread is stopped), so deliveries run one at a time and in order.
// Neither thread waits for the main thread otherwise, so the main thread can stop and join it
// from anywhere, from inside one of its deliveries too.
//
// The component holds each thread in a shared_ptr, and a delivery holds one while it runs: a
// handler that closes the port (and so lets go of the component's reference) never frees the
// thread under a wait on it or under a delivery still running. A thread must so be made with
// std::make_shared.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "toolkit/Thread.h"

class TVaCustomComm;

class TVaCommThread : public toolkit::TThread, public std::enable_shared_from_this<TVaCommThread> {
public:
    explicit TVaCommThread(TVaCustomComm& AOwner);
    std::string ClassName() const override { return "TVaCommThread"; }

    bool SyncEvents() const { return FSyncEvents; }
    // Before Resume: false runs the handlers on the thread itself.
    void SetSyncEvents(bool Value) { FSyncEvents = Value; }

    // Sets the terminated flag and wakes the thread wherever it waits. A delivery already
    // posted still runs (FinishDelivery).
    void Stop() { Terminate(); }

    // Main thread: true while it is inside this thread's delivery (somewhere down its stack).
    bool InsideDelivery() const;
    // Main thread, from inside this thread's delivery: the port was closed, the rest of the
    // delivery is skipped.
    void CancelDelivery();
    bool DeliveryCancelled() const { return FDelivery->Cancelled.load(); }
    // Main thread, after the thread has ended: runs its posted delivery, and the calls queued
    // before it, if it has not run yet.
    void FinishDelivery();

    // Also true while the main thread is inside this thread's delivery.
    bool SynchronizingWithCaller() const override;

protected:
    // Runs fn on the main thread (SyncEvents: posted, once the previous delivery has ended) or
    // here; what it throws goes to the central report with this thread as Sender. Returns at
    // once, handing nothing over, when the thread is stopped meanwhile.
    void Deliver(std::function<void()> fn);
    // Wakes a Deliver waiting for the previous delivery; derived classes call it from theirs.
    void TerminatedSet() override;
    // Derived destructors: the delivery still queued, if any, must not reach the object.
    void DropQueuedDelivery() { FDelivery->Cancelled.store(true); }

    TVaCustomComm& FOwner;

private:
    // Shared with the delivery on its way, which may outlive the thread's stop.
    struct DeliveryState {
        std::mutex Lock;
        std::condition_variable Ended;
        bool Posted = false;                 // handed to the main thread, not ended yet
        bool Running = false;                // the main thread is inside it
        std::atomic<bool> Cancelled{false};  // the port was closed from inside it
    };
    const std::shared_ptr<DeliveryState> FDelivery = std::make_shared<DeliveryState>();
    bool FSyncEvents = true;
};
