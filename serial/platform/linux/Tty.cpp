#include "serial/platform/linux/Tty.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <utility>

#include "serial/platform/Deadline.h"
#include "serial/platform/linux/TtySettings.h"

namespace serialdev {

namespace {

// Interrupts a TIOCMIWAIT in another thread; the handler only has to exist.
int ModemWakeSignal() { return SIGRTMIN + 4; }

void InstallModemWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the ioctl must return EINTR
        sigaction(ModemWakeSignal(), &action, nullptr);
    });
}

void AskLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;  // not a UART driver: nothing to ask
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);  // a refusal only costs latency
}

bool HeldExclusively(int fd) {
    int exclusive = 0;
    // A kernel without the query cannot tell; the lock is then all there is.
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

int ModemLines(int fd, int& lines) { return ioctl(fd, TIOCMGET, &lines) == 0 ? 0 : errno; }

} // namespace

OpenResult LinuxTty::Open(const std::string& path) {
    OpenResult result;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        result.Error = errno;
        return result;
    }
    if (!isatty(fd.Get())) {
        result.Error = ENOTTY;
        return result;
    }
    // root passes TIOCEXCL, so the lock is what keeps a second program out.
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        result.Error = errno == EWOULDBLOCK ? EBUSY : errno;
        return result;
    }
    // A program may hold the line with TIOCEXCL alone, without a lock; root would get past that
    // too. Asked before anything is written to the line or its settings changed.
    if (HeldExclusively(fd.Get())) {
        result.Error = EBUSY;
        return result;
    }
    // From here on the device's destructor undoes what opening changed, also when opening fails.
    auto device = std::unique_ptr<LinuxTty>(new LinuxTty(path, std::move(fd)));
    const int port = device->FFd.Get();
    device->SaveLineState();
    ioctl(port, TIOCEXCL);  // where the driver offers it
    if (const int e = tty::MakeRaw(port)) {
        result.Error = e;
        return result;
    }
    AskLowLatency(port);
    if (const int e = device->CreateWaits()) {
        result.Error = e;
        return result;
    }
    device->UpdateLineErrors();  // baseline: errors from before the open are not ours
    device->FPendingErrors = 0;
    device->FUnreportedEvents = 0;
    result.Device = std::move(device);
    return result;
}

LinuxTty::LinuxTty(std::string path, UniqueFd fd) : FPath(std::move(path)), FFd(std::move(fd)), FRemoval(FPath) {}

bool LinuxTty::CheckGone() {
    if (FRemoval.Gone()) MarkHungUp();
    return HungUp();
}

int LinuxTty::CreateWaits() {
    if (!FEventWake.Valid() || !FWriterWake.Valid()) return errno;
    FEpoll = UniqueFd(::epoll_create1(EPOLL_CLOEXEC));
    if (!FEpoll.Valid()) return errno;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = FEventWake.Get();
    if (::epoll_ctl(FEpoll.Get(), EPOLL_CTL_ADD, FEventWake.Get(), &ev) != 0) return errno;
    return 0;
}

LinuxTty::~LinuxTty() {
    // Unsent output first: otherwise close may wait up to 30 s for a stalled line.
    tty::Flush(FFd.Get(), false, true);
    RestoreLineState();
    ioctl(FFd.Get(), TIOCNXCL);
    flock(FFd.Get(), LOCK_UN);
    // The descriptors close themselves.
}

void LinuxTty::SaveLineState() {
    FTermiosSaved = tty::SaveTermios(FFd.Get(), FSavedTermios) == 0;
    serial_struct info{};
    if (ioctl(FFd.Get(), TIOCGSERIAL, &info) == 0) {  // a UART driver; a pseudo-terminal has none
        FSavedSerialFlags = info.flags;
        FSerialFlagsSaved = true;
    }
}

void LinuxTty::RestoreLineState() {
    // A line that hung up refuses both; there is nothing left to put back then.
    if (FTermiosSaved) tty::RestoreTermios(FFd.Get(), FSavedTermios);
    if (!FSerialFlagsSaved) return;
    serial_struct info{};
    if (ioctl(FFd.Get(), TIOCGSERIAL, &info) != 0 || info.flags == FSavedSerialFlags) return;
    info.flags = FSavedSerialFlags;
    ioctl(FFd.Get(), TIOCSSERIAL, &info);
}

int LinuxTty::ApplySettings(const LineSettings& settings) { return tty::ApplyLineSettings(FFd.Get(), settings); }

int LinuxTty::SetQueueSizes(uint32_t input, uint32_t output) {
    // The kernel's queues are fixed; the sizes are those of the component's own queues.
    if (input > kMaxQueueSize || output > kMaxQueueSize) return EINVAL;
    return 0;
}

void LinuxTty::UpdateLineErrors() {
    std::lock_guard<std::mutex> lock(FCountsMutex);
    if (!FCountsSupported) return;
    serial_icounter_struct counts{};
    if (ioctl(FFd.Get(), TIOCGICOUNT, &counts) != 0) {
        // A pseudo-terminal counts nothing: nothing to report, now or later.
        if (IsUnsupported(errno)) FCountsSupported = false;
        return;
    }
    uint32_t fresh = 0;
    if (counts.frame != FLastFrame) fresh |= CE_FRAME;
    if (counts.overrun != FLastOverrun) fresh |= CE_OVERRUN;
    if (counts.parity != FLastParity) fresh |= CE_RXPARITY;
    if (counts.brk != FLastBreak) fresh |= CE_BREAK;
    if (counts.buf_overrun != FLastBufOverrun) fresh |= CE_RXOVER;
    FLastFrame = counts.frame;
    FLastOverrun = counts.overrun;
    FLastParity = counts.parity;
    FLastBreak = counts.brk;
    FLastBufOverrun = counts.buf_overrun;
    FPendingErrors |= fresh;
    if (fresh & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) FUnreportedEvents |= EV_ERR;
    if (fresh & CE_BREAK) FUnreportedEvents |= EV_BREAK;
}

int LinuxTty::QueryStatus(DeviceStatus& status) {
    status = DeviceStatus{};
    int waiting = 0;
    if (ioctl(FFd.Get(), FIONREAD, &waiting) != 0) {
        if (errno != EIO) return errno;
        MarkHungUp();  // a pseudo-terminal whose other side went away
        waiting = 0;
    }
    int unsent = 0;
    if (ioctl(FFd.Get(), TIOCOUTQ, &unsent) != 0) {
        if (errno != EIO) return errno;
        unsent = 0;
    }
    UpdateLineErrors();
    {
        std::lock_guard<std::mutex> lock(FCountsMutex);
        status.Errors = FPendingErrors;
        FPendingErrors = 0;
    }
    status.InQueue = static_cast<uint32_t>(waiting > 0 ? waiting : 0);
    status.OutQueue = static_cast<uint32_t>(unsent > 0 ? unsent : 0);
    return 0;
}

uint32_t LinuxTty::TakeLineEvents() {
    UpdateLineErrors();
    std::lock_guard<std::mutex> lock(FCountsMutex);
    return std::exchange(FUnreportedEvents, 0);
}

int LinuxTty::Purge(uint32_t flags) {
    // Reads never stay outstanding here; a write waiting for room is what there is to abort.
    if (flags & PURGE_TXABORT) WakeWriter();
    const bool input = (flags & PURGE_RXCLEAR) != 0;
    const bool output = (flags & PURGE_TXCLEAR) != 0;
    if (!input && !output) return 0;
    return tty::Flush(FFd.Get(), input, output);
}

int LinuxTty::Read(uint8_t* buffer, size_t count, size_t& received) {
    received = 0;
    if (count == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(FFd.Get(), buffer, count);
        if (n > 0) {
            received = static_cast<size_t>(n);
            return 0;
        }
        if (n == 0) {
            MarkHungUp();  // VMIN=1: 0 bytes only ever means the line is gone
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        if (errno == EIO) {
            MarkHungUp();  // what a pseudo-terminal answers once its other side closed
            return 0;
        }
        return errno;
    }
}

int LinuxTty::Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) {
    written = 0;
    const Deadline deadline(timeoutMs);
    while (written < count) {
        const ssize_t n = ::write(FFd.Get(), buffer + written, count - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            if (errno == EIO) MarkHungUp();
            return errno;
        }
        const int left = deadline.RemainingMs();
        if (left == 0) return 0;  // a time-out is not an error: `written` tells how far it got
        pollfd p[2] = {{FFd.Get(), POLLOUT, 0}, {FWriterWake.Get(), POLLIN, 0}};
        const int ready = ::poll(p, 2, left);
        if (ready < 0 && errno != EINTR) return errno;
        if (ready <= 0) continue;
        if (p[1].revents & POLLIN) {
            FWriterWake.Drain();
            return 0;
        }
        if ((p[0].revents & (POLLHUP | POLLERR)) && !(p[0].revents & POLLOUT)) {
            MarkHungUp();
            return EIO;
        }
    }
    return 0;
}

int LinuxTty::WatchBytes(ByteWatch bytes) {
    if (FWatchRegistered && bytes == FWatching) return 0;
    epoll_event ev{};
    // With no EPOLLIN the tty is still in the set: a hang-up is reported all the same.
    if (bytes == ByteWatch::Waiting) ev.events = EPOLLIN;
    if (bytes == ByteWatch::Arrival) ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = FFd.Get();
    const int op = FWatchRegistered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(FEpoll.Get(), op, FFd.Get(), &ev) != 0) return errno;
    FWatchRegistered = true;
    FWatching = bytes;
    return 0;
}

WaitOutcome LinuxTty::WaitEvents(ByteWatch bytes, uint32_t& events) {
    events = 0;
    if (const int e = WatchBytes(bytes)) return FailedWith(e);
    for (;;) {
        epoll_event ready[2];
        const int n = ::epoll_wait(FEpoll.Get(), ready, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FailedWith(errno);
        }
        bool woken = false;
        bool hungUp = false;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.fd == FEventWake.Get()) {
                FEventWake.Drain();
                woken = true;
                continue;
            }
            // A hung-up tty reports EPOLLIN as well: what is left is read before the hang-up.
            if (ready[i].events & EPOLLIN) events |= EV_RXCHAR;
            if (ready[i].events & (EPOLLHUP | EPOLLERR)) hungUp = true;
        }
        if (hungUp) {
            MarkHungUp();
            return WaitOutcome::HungUp;
        }
        // Errors and breaks arrive with (or as) received bytes, so each wake is the time to look.
        events |= TakeLineEvents();
        if (events != 0) return WaitOutcome::Ready;
        if (woken) return WaitOutcome::Woken;
    }
}

WaitOutcome LinuxTty::WaitModemChange(uint32_t& events) {
    events = 0;
    int before = 0;
    if (const int e = ModemLines(FFd.Get(), before)) return IsUnsupported(e) ? WaitOutcome::Unsupported : WaitOutcome::Failed;
    InstallModemWakeHandler();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(FModemMutex);
            if (FModemCancelled) return WaitOutcome::Woken;
            FModemWaiting = true;
            FModemThread = pthread_self();
        }
        const int r = ioctl(FFd.Get(), TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG);
        const int error = r == 0 ? 0 : errno;
        bool cancelled = false;
        {
            std::lock_guard<std::mutex> lock(FModemMutex);
            FModemWaiting = false;
            cancelled = FModemCancelled;
        }
        FModemLeft.notify_all();
        if (cancelled) return WaitOutcome::Woken;
        if (error == EINTR) continue;  // someone else's signal
        if (error != 0) {
            if (error == EIO) {
                MarkHungUp();
                return WaitOutcome::HungUp;
            }
            return IsUnsupported(error) ? WaitOutcome::Unsupported : WaitOutcome::Failed;
        }
        int after = 0;
        if (ModemLines(FFd.Get(), after) != 0) return WaitOutcome::Failed;
        const int changed = before ^ after;
        if (changed & TIOCM_CTS) events |= EV_CTS;
        if (changed & TIOCM_DSR) events |= EV_DSR;
        if (changed & TIOCM_CD) events |= EV_RLSD;
        if (changed & TIOCM_RNG) events |= EV_RING;
        if (events != 0) return WaitOutcome::Ready;
        before = after;  // a pulse too short to see: wait again
    }
}

void LinuxTty::CancelModemWait() {
    std::unique_lock<std::mutex> lock(FModemMutex);
    FModemCancelled = true;
    // The signal may land just before the waiter enters the ioctl; repeat it until it is out.
    while (FModemWaiting) {
        pthread_kill(FModemThread, ModemWakeSignal());
        FModemLeft.wait_for(lock, std::chrono::milliseconds(50));
    }
}

} // namespace serialdev
