#include "LinuxTty.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "TtySettings.h"

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

bool Unsupported(int error) { return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == ENOSYS; }

void AskLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;  // not a UART driver: nothing to ask
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);  // a refusal only costs latency
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
    ioctl(fd.Get(), TIOCEXCL);  // where the driver offers it
    if (const int e = tty::MakeRaw(fd.Get())) {
        ioctl(fd.Get(), TIOCNXCL);
        result.Error = e;
        return result;
    }
    AskLowLatency(fd.Get());
    UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) {
        result.Error = errno;
        ioctl(fd.Get(), TIOCNXCL);
        return result;
    }
    auto device = std::unique_ptr<LinuxTty>(new LinuxTty(path, std::move(fd), std::move(wake)));
    device->UpdateLineErrors();  // baseline: errors from before the open are not ours
    device->FPendingErrors = 0;
    device->FUnreportedEvents = 0;
    result.Device = std::move(device);
    return result;
}

LinuxTty::LinuxTty(std::string path, UniqueFd fd, UniqueFd wake)
    : FPath(std::move(path)), FFd(std::move(fd)), FWake(std::move(wake)) {}

LinuxTty::~LinuxTty() {
    // Unsent output first: otherwise close may wait up to 30 s for a stalled line.
    tty::Flush(FFd.Get(), false, true);
    ioctl(FFd.Get(), TIOCNXCL);
    flock(FFd.Get(), LOCK_UN);
    // FFd and FWake close themselves.
}

int LinuxTty::ApplySettings(const LineSettings& settings) { return tty::ApplyLineSettings(FFd.Get(), settings); }

int LinuxTty::SetQueueSizes(uint32_t input, uint32_t output) {
    // The kernel's queues are fixed; the sizes are those of the component's own queues.
    if (input > kMaxQueueSize || output > kMaxQueueSize) return EINVAL;
    return 0;
}

int LinuxTty::SetEventMask(uint32_t mask) {
    FEventMask.store(mask);
    return 0;
}

uint32_t LinuxTty::UpdateLineErrors() {
    std::lock_guard<std::mutex> lock(FCountsMutex);
    if (!FCountsSupported) return 0;
    serial_icounter_struct counts{};
    if (ioctl(FFd.Get(), TIOCGICOUNT, &counts) != 0) {
        // A pseudo-terminal counts nothing: nothing to report, now or later.
        if (Unsupported(errno)) FCountsSupported = false;
        return 0;
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
    return fresh;
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

int LinuxTty::CollectLineEvents(uint32_t& events) {
    UpdateLineErrors();
    std::lock_guard<std::mutex> lock(FCountsMutex);
    events = FUnreportedEvents;
    FUnreportedEvents = 0;
    return 0;
}

int LinuxTty::Purge(bool input, bool output) {
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
    using Clock = std::chrono::steady_clock;
    written = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;  // a time-out is not an error: `written` tells how far it got
        pollfd p{FFd.Get(), POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return errno;
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLOUT)) {
            MarkHungUp();
            return EIO;
        }
    }
    return 0;
}

bool LinuxTty::Readable() {
    pollfd p{FFd.Get(), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) {
        MarkHungUp();
        return false;
    }
    return (p.revents & POLLIN) != 0;
}

WaitOutcome LinuxTty::WaitReadable(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p[2] = {{FWake.Get(), POLLIN, 0}, {FFd.Get(), POLLIN, 0}};
        const int ready = ::poll(p, 2, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return WaitOutcome::Failed;
        }
        if (ready == 0) return WaitOutcome::TimedOut;
        if (p[0].revents & POLLIN) return WaitOutcome::Woken;
        // A hung-up tty also reports POLLIN, but a read then only says the line is gone.
        if (p[1].revents & (POLLHUP | POLLERR)) {
            MarkHungUp();
            return WaitOutcome::HungUp;
        }
        if (p[1].revents & POLLIN) return WaitOutcome::Ready;
        if (p[1].revents & POLLNVAL) return WaitOutcome::Failed;
    }
}

void LinuxTty::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FWake.Get(), &one, sizeof one);
}

void LinuxTty::ResetWake() {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(FWake.Get(), &value, sizeof value);
}

WaitOutcome LinuxTty::WaitModemChange(uint32_t& events) {
    events = 0;
    int before = 0;
    if (const int e = ModemLines(FFd.Get(), before)) return Unsupported(e) ? WaitOutcome::Unsupported : WaitOutcome::Failed;
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
            return Unsupported(error) ? WaitOutcome::Unsupported : WaitOutcome::Failed;
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
