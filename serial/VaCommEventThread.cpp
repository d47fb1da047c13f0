#include "VaCommEventThread.h"

#include <cerrno>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "VaComm.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr uint32_t kInputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
constexpr uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

serialdev::UniqueFd MakeEventFd() {
    serialdev::UniqueFd fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd.Valid()) throw toolkit::Exception("Cannot create the event thread's wake-up");
    return fd;
}

void Signal(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Drain(int fd) {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &value, sizeof value);
}

void AddToEpoll(int epoll, int fd, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
        throw toolkit::Exception("Cannot watch the port for events");
}

} // namespace

// An eventfd that outlives the thread while the input queue may still call it.
struct TVaCommEventThread::KickFd {
    serialdev::UniqueFd Fd = MakeEventFd();
};

TVaCommEventThread::TVaCommEventThread(TVaCustomComm* AOwner)
    : toolkit::TThread(true),
      Owner(AOwner),
      FDevice(AOwner->Device()),
      FEventMask(AOwner->EventMask()),
      FFillsQueue((FEventMask & kInputEvents) != 0 && AOwner->InputQueue().Capacity() > 0),
      FEventChar((FEventMask & EV_RXFLAG) ? AOwner->EventChars().EventChar() : -1),
      FEpoll(::epoll_create1(EPOLL_CLOEXEC)),
      FStopFd(MakeEventFd()),
      FKick(std::make_shared<KickFd>()) {
    if (!FEpoll.Valid() || FDevice == nullptr) throw toolkit::Exception("Cannot watch the port for events");
    AddToEpoll(FEpoll.Get(), FStopFd.Get(), EPOLLIN);
    AddToEpoll(FEpoll.Get(), FKick->Fd.Get(), EPOLLIN);
    if (FFillsQueue) {
        std::weak_ptr<KickFd> kick = FKick;
        Owner->InputQueue().SetOnSpaceFreed([kick] {
            if (auto k = kick.lock()) Signal(k->Fd.Get());
        });
    }
}

TVaCommEventThread::~TVaCommEventThread() {
    Stop();
    if (Started()) WaitFor();
    StopModemWatch();
    if (FFillsQueue && !FRetired.load()) Owner->InputQueue().SetOnSpaceFreed(nullptr);
}

void TVaCommEventThread::Stop() {
    Terminate();
    WaitSignal.SetSignal();
}

void TVaCommEventThread::SetEventChar(uint8_t Value) {
    if (FEventMask & EV_RXFLAG) FEventChar.store(Value);
}

void TVaCommEventThread::TerminatedSet() { Signal(FStopFd.Get()); }

void TVaCommEventThread::Kick() { Signal(FKick->Fd.Get()); }

void TVaCommEventThread::StopModemWatch() {
    std::lock_guard<std::mutex> lock(FModemLock);
    if (!FModemThread.joinable()) return;
    FDevice->CancelModemWait();
    FModemThread.join();
}

void TVaCommEventThread::ModemWatchLoop() {
    for (;;) {
        uint32_t events = 0;
        const serialdev::WaitOutcome outcome = FDevice->WaitModemChange(events);
        if (outcome == serialdev::WaitOutcome::Ready) {
            FModemEvents.fetch_or(events);
            Kick();
            continue;
        }
        // A hang-up shows on the port as well; anything else (unsupported, cancelled, failed)
        // just ends the watch.
        if (outcome == serialdev::WaitOutcome::HungUp) Kick();
        return;
    }
}

void TVaCommEventThread::WatchPort(bool watch) {
    if (watch == FPortWatched) return;
    const int port = FDevice->PollFd();
    if (watch) {
        epoll_event ev{};
        // Without an input queue to fill, bytes stay in the port: only their arrival wakes us.
        ev.events = FFillsQueue ? EPOLLIN : (EPOLLIN | EPOLLET);
        ev.data.fd = port;
        if (::epoll_ctl(FEpoll.Get(), EPOLL_CTL_ADD, port, &ev) != 0) {
            FParked = true;  // cannot wait on it: no events until the port is opened again
            return;
        }
    } else {
        ::epoll_ctl(FEpoll.Get(), EPOLL_CTL_DEL, port, nullptr);
    }
    FPortWatched = watch;
}

void TVaCommEventThread::Execute() {
    if ((FEventMask & kModemEvents) != 0) {
        std::lock_guard<std::mutex> lock(FModemLock);
        FModemThread = std::thread([this] { ModemWatchLoop(); });
    }
    bool hangupNoticeDue = true;
    while (!Terminated()) {
        const uint32_t mask = WaitForEvents();
        if (Terminated()) break;
        if (mask != 0) {
            ReceivedMask = mask;
            WaitSignal.SetSignal();
            DeliverEvents();
            if (Terminated()) break;  // the device may be gone already
        }
        if (FHungUp && hangupNoticeDue) {
            hangupNoticeDue = false;
            HandleHangup();
        }
    }
    if (!FRetired.load()) StopModemWatch();  // a retired thread's helper was stopped by Close
}

uint32_t TVaCommEventThread::WaitForEvents() {
    for (;;) {
        if (Terminated()) return 0;
        WatchPort(!FParked && !(FFillsQueue && Owner->InputQueue().Full()));
        epoll_event ready[4];
        const int n = ::epoll_wait(FEpoll.Get(), ready, 4, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            // The wait itself failed: no events until the port is opened again; only Stop ends this.
            FParked = true;
            pollfd stop{FStopFd.Get(), POLLIN, 0};
            while (!Terminated() && ::poll(&stop, 1, -1) < 0 && errno == EINTR) {
            }
            return 0;
        }
        if (Terminated()) return 0;
        bool portReady = false;
        bool portHungUp = false;
        for (int i = 0; i < n; ++i) {
            const int fd = ready[i].data.fd;
            if (fd == FStopFd.Get()) return 0;
            if (fd == FKick->Fd.Get()) {
                Drain(fd);
            } else if (FPortWatched && fd == FDevice->PollFd()) {
                portReady = true;
                portHungUp = (ready[i].events & (EPOLLHUP | EPOLLERR)) != 0;
            }
        }
        if (FParked) continue;  // only a stop matters now

        uint32_t mask = FModemEvents.exchange(0);
        if (portReady) {
            if (FFillsQueue) {
                TVaInputQueue& queue = Owner->InputQueue();
                const TVaInputQueue::FillResult fill = queue.FillFrom(*FDevice, FEventChar.load());
                if (fill.Added > 0) {
                    mask |= EV_RXCHAR;
                    if (fill.SawByte) mask |= EV_RXFLAG;
                    if (queue.AtHighMark()) mask |= EV_RX80FULL;
                }
                if (fill.Error != 0) {
                    FParked = true;  // reading fails: nothing more until the port is opened again
                    WatchPort(false);
                }
                portHungUp = portHungUp || fill.HungUp;
            } else {
                mask |= EV_RXCHAR;
            }
        }
        if (portHungUp || FDevice->HungUp()) {
            FHungUp = true;
            FParked = true;
            WatchPort(false);
        }
        uint32_t lineEvents = 0;
        if (!FParked && FDevice->CollectLineEvents(lineEvents) == 0) mask |= lineEvents;
        mask &= FEventMask;
        // Bytes that came before a hang-up are delivered first; the hang-up follows.
        if (mask != 0 || FParked) return mask;
    }
}

void TVaCommEventThread::HandleHangup() {
    StopModemWatch();
    RunReporting(SyncEvents, [this] {
        if (!FRetired.load() && Owner->OnHangup) Owner->OnHangup(Owner);
    });
    // Parked: only Stop ends the wait from here on.
}

void TVaCommEventThread::DeliverEvents() {
    if (Terminated()) return;
    RunReporting(SyncEvents, [this] { ProcessEvents(); });
    WaitSignal.ResetSignal();
}

void TVaCommEventThread::ProcessEvents() {
    if (TVaDisplay* display = Owner->Display()) display->UpdateDisplay(Owner);
    if (ReceivedMask & EV_RXCHAR) {
        Owner->HandleRxChar();
        ReceivedMask &= ~EV_RXCHAR;
    }
    if (FRetired.load()) return;  // a handler closed the port
    if (ReceivedMask != 0) Owner->HandleEvents(ReceivedMask);
}
