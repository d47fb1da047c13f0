#pragma once
// The event thread: waits for line events on the open port and hands each set of them to the
// component, on the main thread while the thread blocks (SyncEvents) or on itself.
//
// The wait is an epoll on the port, a stop eventfd and a kick eventfd (a modem-line change seen
// by the helper thread, or room made in a full input queue). When received data is watched the
// thread moves what the port has into the component's input queue, so EV_RXCHAR means "new bytes
// arrived": bytes a handler leaves unread do not wake the thread again. A full queue takes the
// port out of the wait set until a read makes room. After a hang-up the port leaves the set for
// good and the thread parks until it is stopped.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "VaObjects.h"
#include "platform/UniqueFd.h"
#include "toolkit/Thread.h"

class TVaCustomComm;
namespace serialdev {
class SerialDevice;
}

class TVaCommEventThread : public toolkit::TThread {
public:
    explicit TVaCommEventThread(TVaCustomComm* AOwner);
    ~TVaCommEventThread() override;
    std::string ClassName() const override { return "TVaCommEventThread"; }

    // Sets the terminated flag and wakes the thread wherever it is; a delivery already handed to
    // the main thread still runs there first.
    void Stop();
    // Ends the modem-line helper; safe from any thread, and more than once. Must have run before
    // the device goes away.
    void StopModemWatch();
    // The component gave the thread up from inside one of its own deliveries: the rest of that
    // delivery is skipped and the thread ends as soon as it returns.
    void Retire() { FRetired.store(true); }
    // The event character changed while the port is open: look for the new one from now on.
    void SetEventChar(uint8_t Value);

    void DeliverEvents();
    void ProcessEvents();

    uint32_t ReceivedMask = 0;  // the events being delivered
    TVaWaitEvent WaitSignal;    // set while a mask waits for or is in delivery
    TVaCustomComm* Owner;
    bool SyncEvents = true;

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    struct KickFd;  // shared with the input queue's room-made callback

    // Blocks until there are events to deliver (their mask) or the thread is stopped (0).
    uint32_t WaitForEvents();
    void WatchPort(bool watch);
    void HandleHangup();
    void ModemWatchLoop();
    void Kick();

    serialdev::SerialDevice* FDevice;
    const uint32_t FEventMask;
    const bool FFillsQueue;  // received data is watched: read the port into the input queue
    std::atomic<int> FEventChar;  // -1: EV_RXFLAG not watched
    serialdev::UniqueFd FEpoll;
    serialdev::UniqueFd FStopFd;
    std::shared_ptr<KickFd> FKick;
    bool FPortWatched = false;
    bool FParked = false;  // hung up or failed: nothing more until Close
    bool FHungUp = false;
    std::atomic<uint32_t> FModemEvents{0};
    std::atomic<bool> FRetired{false};
    std::mutex FModemLock;
    std::thread FModemThread;
};
