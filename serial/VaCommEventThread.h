#pragma once
// The event thread: waits through the device for line events on the open port and hands each
// set of them to the component, on the main thread (SyncEvents) or on itself.
//
// A set of events for the main thread is posted as TVaCommThread describes: the thread goes back
// to its wait while the handlers run, and reads what arrives meanwhile into the input queue;
// events that come before the delivery has ended wait for it.
//
// When received data is watched the thread moves what the port has into the component's input
// queue, so EV_RXCHAR means "new bytes arrived": bytes a handler leaves unread do not wake the
// thread again. The queue looks for the event character and the 80 % mark in every byte that
// enters it, whoever reads, and the thread reports what it found. A full queue stops the thread
// reading until a read makes room. After a hang-up the thread parks until it is stopped.
//
// A wait or read that fails while the line is still up starts a watch (TVaFailureWatch): the
// thread looks at the system's port list again every so often and retries. The port leaving
// the list is a hang-up; failures that go on while it stays listed are reported once
// (OnPortFailure), and the thread parks as after a hang-up. Nothing parks without a word.
//
// Modem-line changes come from a watcher thread of its own where the device can wait for them
// apart from the other events; it ends before the device goes (StopModemWatch).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "VaCommThread.h"
#include "VaFailureWatch.h"

class TVaInputQueue;
namespace serialdev {
class SerialDevice;
}

class TVaCommEventThread : public TVaCommThread {
public:
    // Takes what it needs from the open component; starts the modem-line watcher when those
    // events are watched. Raises std::system_error when a thread cannot be made.
    explicit TVaCommEventThread(TVaCustomComm& AOwner);
    ~TVaCommEventThread() override;
    std::string ClassName() const override { return "TVaCommEventThread"; }

    // The thread reads the port into the input queue as bytes arrive (received data is watched).
    bool FillsQueue() const { return FFillsQueue; }

    // Ends the modem-line watcher; safe from any thread, and more than once. Must have run
    // before the device goes away.
    void StopModemWatch();

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    // Blocks until there are events to deliver (their mask) or the thread is to end (0).
    uint32_t WaitForEvents();
    // The bytes and queue events for the mask; sets readFailed and readError when the read fails.
    uint32_t CollectInput(bool portSignalled, bool& readFailed, int& readError);
    // Between two looks of a failure watch: to the next look, or to the hang-up or final failure.
    // False when the thread is to end.
    bool LookAgain();
    void Park();
    // Waits up to `span` or until the thread is to end; false for the latter.
    bool Pause(std::chrono::milliseconds span);
    void DeliverEvents(uint32_t mask);
    void ProcessEvents(uint32_t mask);
    void HandleHangup();
    void HandleFailure();
    void ModemWatchLoop();

    serialdev::SerialDevice& FDevice;
    TVaInputQueue& FQueue;
    const uint32_t FEventMask;
    const bool FFillsQueue;  // received data is watched: read the port into the input queue
    bool FParked = false;  // hung up or failed: nothing more until Close
    bool FHungUp = false;
    bool FFailed = false;  // failures went on while the port stayed listed
    TVaFailureWatch FFailures;
    std::atomic<uint32_t> FModemEvents{0};
    std::mutex FParkLock;
    std::condition_variable FParkWake;
    std::mutex FModemLock;
    std::thread FModemThread;
};
