#include "VaCommEventThread.h"

#include "VaComm.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/Os.h"

namespace {

constexpr uint32_t kInputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
constexpr uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

} // namespace

TVaCommEventThread::TVaCommEventThread(TVaCustomComm& AOwner)
    : TVaCommThread(AOwner),
      FDevice(*AOwner.Device()),
      FQueue(AOwner.InputQueue()),
      FEventMask(AOwner.EventMask()),
      FFillsQueue((FEventMask & kInputEvents) != 0 && AOwner.InputQueue().Capacity() > 0) {
    if ((FEventMask & kModemEvents) != 0) FModemThread = std::thread([this] { ModemWatchLoop(); });
}

TVaCommEventThread::~TVaCommEventThread() {
    // A retired thread's device may be gone: only a thread nobody stopped is woken here.
    if (!Terminated()) Stop();
    if (Started()) {
        // Handing over never waits for the main thread, so a plain join cannot hang.
        if (SyncEvents()) Join();
        else WaitFor();
    }
    StopModemWatch();
    DropQueuedDelivery();
}

void TVaCommEventThread::TerminatedSet() {
    FDevice.WakeEvents();
    {
        std::lock_guard<std::mutex> lock(FParkLock);
        FParkWake.notify_all();
    }
    TVaCommThread::TerminatedSet();
}

void TVaCommEventThread::StopModemWatch() {
    std::lock_guard<std::mutex> lock(FModemLock);
    if (!FModemThread.joinable()) return;
    FDevice.CancelModemWait();
    FModemThread.join();
}

void TVaCommEventThread::ModemWatchLoop() {
    for (;;) {
        uint32_t events = 0;
        const serialdev::WaitOutcome outcome = FDevice.WaitModemChange(events);
        if (outcome == serialdev::WaitOutcome::Ready) {
            FModemEvents.fetch_or(events);
            FDevice.WakeEvents();
            continue;
        }
        // A hang-up shows in the event wait as well; anything else (unsupported, cancelled,
        // failed) just ends the watch.
        if (outcome == serialdev::WaitOutcome::HungUp) FDevice.WakeEvents();
        return;
    }
}

void TVaCommEventThread::Execute() {
    toolkit::os::NameCurrentThread("serial-events");
    bool noticeDue = true;  // of the hang-up or the failure, whichever came
    while (!Terminated()) {
        const uint32_t mask = WaitForEvents();
        if (Terminated()) break;
        if (mask != 0) {
            DeliverEvents(mask);
            if (Terminated()) break;  // the device may be gone already
        }
        if ((FHungUp || FFailed) && noticeDue) {
            noticeDue = false;
            if (FHungUp) HandleHangup();
            else HandleFailure();
        }
    }
}

bool TVaCommEventThread::LookAgain() {
    if (!Pause(TVaFailureWatch::kInterval)) return false;
    if (FDevice.CheckGone()) FHungUp = FParked = true;
    else if (FFailures.Looked(TVaFailureWatch::Clock::now())) FFailed = FParked = true;
    return true;
}

uint32_t TVaCommEventThread::WaitForEvents() {
    for (;;) {
        if (Terminated()) return 0;
        if (FFailures.Watching() && !FParked) {
            // A hang-up or final failure found here is told by Execute before the park.
            if (!LookAgain() || FParked) return 0;
        }
        if (FParked) {
            Park();
            return 0;
        }
        serialdev::ByteWatch watch = serialdev::ByteWatch::None;
        if ((FEventMask & kInputEvents) != 0) {
            // Without an input queue to fill, bytes stay in the port: only their arrival counts.
            if (!FFillsQueue) watch = serialdev::ByteWatch::Arrival;
            else if (!FQueue.Full()) watch = serialdev::ByteWatch::Waiting;
        }
        uint32_t events = 0;
        const serialdev::WaitOutcome outcome = FDevice.WaitEvents(watch, events);
        if (Terminated()) return 0;
        const bool hungUp = outcome == serialdev::WaitOutcome::HungUp;
        bool failed = outcome == serialdev::WaitOutcome::Failed;
        int error = failed ? FDevice.WaitError() : 0;
        uint32_t mask = FModemEvents.exchange(0) | (events & ~EV_RXCHAR);
        mask |= CollectInput((events & EV_RXCHAR) != 0 || hungUp, failed, error);
        if (hungUp || FDevice.HungUp()) FHungUp = FParked = true;
        else if (failed) FFailures.Failed(error, TVaFailureWatch::Clock::now());
        else if (outcome == serialdev::WaitOutcome::Ready) FFailures.Worked();
        mask &= FEventMask;
        // Bytes that came before a hang-up are delivered first; the hang-up follows.
        if (mask != 0 || FParked) return mask;
    }
}

uint32_t TVaCommEventThread::CollectInput(bool portSignalled, bool& readFailed, int& readError) {
    uint32_t mask = 0;
    if (portSignalled && !FFillsQueue) return EV_RXCHAR;
    if (portSignalled) {
        const TVaInputQueue::FillResult fill = FQueue.FillFrom(FDevice);
        if (fill.Added > 0) mask |= EV_RXCHAR;
        if (fill.Error != 0) {
            readFailed = true;
            readError = fill.Error;
        }
        if (fill.HungUp) FHungUp = FParked = true;
    }
    // What any read found on its way into the queue, this thread's or a handler's.
    return mask | FQueue.TakePendingEvents();
}

void TVaCommEventThread::Park() {
    std::unique_lock<std::mutex> lock(FParkLock);
    FParkWake.wait(lock, [this] { return Terminated(); });
}

bool TVaCommEventThread::Pause(std::chrono::milliseconds span) {
    std::unique_lock<std::mutex> lock(FParkLock);
    return !FParkWake.wait_for(lock, span, [this] { return Terminated(); });
}

void TVaCommEventThread::HandleHangup() {
    StopModemWatch();
    Deliver([this] {
        if (FOwner.OnHangup) FOwner.OnHangup(&FOwner);
    });
    // Parked: only Stop ends the wait from here on.
}

void TVaCommEventThread::HandleFailure() {
    StopModemWatch();
    const int error = FFailures.Error();
    Deliver([this, error] {
        if (FOwner.OnPortFailure) FOwner.OnPortFailure(&FOwner, error);
    });
    // Parked as after a hang-up.
}

void TVaCommEventThread::DeliverEvents(uint32_t mask) {
    Deliver([this, mask] { ProcessEvents(mask); });
}

void TVaCommEventThread::ProcessEvents(uint32_t mask) {
    if (TVaDisplay* display = FOwner.Display()) display->UpdateDisplay(&FOwner);
    if (mask & EV_RXCHAR) FOwner.HandleRxChar();
    if (DeliveryCancelled()) return;  // a handler closed the port
    if (const uint32_t rest = mask & ~EV_RXCHAR) FOwner.HandleEvents(rest);
}
