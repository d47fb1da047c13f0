#include "VaCommWriteThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "VaComm.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr int kFlushAnswerMs = 2000;
// Pause before trying a failed write again, and after a port that reported room took nothing.
constexpr int kStallPauseMs = 20;

} // namespace

// ---- TVaCommBuffer ----------------------------------------------------------------------------

TVaCommBuffer::TVaCommBuffer(int32_t ACapacity)
    : FMemory(std::make_unique<uint8_t[]>(static_cast<size_t>(std::max(ACapacity, 0)))),
      FCapacity(std::max(ACapacity, 0)) {}

void TVaCommBuffer::Append(const void* Data, int32_t N) {
    if (N <= 0) return;
    if (N > FCapacity - FSize) throw toolkit::Exception("Output queue overflow");
    std::memcpy(FMemory.get() + FSize, Data, static_cast<size_t>(N));
    FSize += N;
}

void TVaCommBuffer::Remove(int32_t N) {
    N = std::clamp(N, 0, FSize);
    std::memmove(FMemory.get(), FMemory.get() + N, static_cast<size_t>(FSize - N));
    FSize -= N;
}

// ---- TVaCommWriteThread -----------------------------------------------------------------------

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm* AOwner)
    : toolkit::TThread(true),
      Queue(AOwner->Buffers().WriteSize()),
      Owner(AOwner),
      FDevice(AOwner->Device()),
      FWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!FWakeFd.Valid() || FDevice == nullptr) throw toolkit::Exception("Cannot start the writer thread");
}

TVaCommWriteThread::~TVaCommWriteThread() {
    Stop();
    if (Started()) WaitFor();
}

void TVaCommWriteThread::SetSignal(TSignal Signal) {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FSignals[Signal] = true;
    }
    FSignalChanged.notify_all();
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FWakeFd.Get(), &one, sizeof one);
}

void TVaCommWriteThread::ResetSignal(TSignal Signal) {
    std::lock_guard<std::mutex> lock(FSignalLock);
    FSignals[Signal] = false;
}

bool TVaCommWriteThread::SignalIsSet(TSignal Signal) const {
    std::lock_guard<std::mutex> lock(FSignalLock);
    return FSignals[Signal];
}

int TVaCommWriteThread::WaitAny(std::initializer_list<TSignal> signals, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const bool watchPort = std::find(signals.begin(), signals.end(), OverlappedSignal) != signals.end();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(FSignalLock);
            int index = 0;
            for (TSignal s : signals) {
                if (FSignals[s]) return index;
                ++index;
            }
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return -1;
            wait = static_cast<int>(left);
        }
        pollfd fds[2] = {{FWakeFd.Get(), POLLIN, 0}, {FDevice->PollFd(), POLLOUT, 0}};
        const int ready = ::poll(fds, watchPort ? 2 : 1, wait);
        if (ready < 0 && errno != EINTR) return -1;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            uint64_t value = 0;
            [[maybe_unused]] const ssize_t n = ::read(FWakeFd.Get(), &value, sizeof value);
        }
        if (watchPort && ready > 0 && fds[1].revents != 0) {
            // Room on the line (or an error the next write will report): the write goes on.
            std::lock_guard<std::mutex> lock(FSignalLock);
            int index = 0;
            for (TSignal s : signals) {
                if (FSignals[s] || s == OverlappedSignal) return index;
                ++index;
            }
        }
    }
}

bool TVaCommWriteThread::Enqueue(const void* Data, int32_t Count) {
    if (Count < 0) return false;
    // Room is measured against the queue's real capacity too: WriteSize may have been changed
    // (and refused) while the port was open.
    const int32_t limit = std::min(Owner->Buffers().WriteSize(), Queue.Capacity());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Owner->Buffers().WriteTimeout());
    {
        std::unique_lock<std::mutex> lock(FSignalLock);
        auto fits = [&] { return static_cast<int64_t>(FQueued.load()) + Count <= limit; };
        if (!FSignalChanged.wait_until(lock, deadline, fits)) return false;
    }
    // Only this (the caller's) thread appends, so the room found above is still there.
    std::lock_guard<TVaCriticalSection> writeLock(Owner->FWriteLock);
    Queue.Append(Data, Count);
    QueueChanged();
    SetSignal(WriteSignal);  // under the write lock: WriteDone cannot clear it in between
    return true;
}

void TVaCommWriteThread::QueueChanged() {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FQueued.store(Queue.Size());
    }
    FSignalChanged.notify_all();
}

bool TVaCommWriteThread::Flush() {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FSignals[FlushDoneSignal] = false;
    }
    SetSignal(FlushSignal);
    std::unique_lock<std::mutex> lock(FSignalLock);
    const bool answered = FSignalChanged.wait_for(lock, std::chrono::milliseconds(kFlushAnswerMs),
                                                  [this] { return FSignals[FlushDoneSignal]; });
    if (!answered) FSignals[FlushSignal] = false;  // withdrawn: the queue keeps its bytes
    // The writer emptied the queue when it answered, before its next write could start.
    return answered;
}

void TVaCommWriteThread::AcknowledgeFlush() {
    std::lock_guard<TVaCriticalSection> writeLock(Owner->FWriteLock);
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        if (!FSignals[FlushSignal]) return;  // the caller gave up meanwhile
        FSignals[FlushSignal] = false;
        Queue.Clear();
        FQueued.store(0);
        FSignals[FlushDoneSignal] = true;
    }
    FSignalChanged.notify_all();
}

void TVaCommWriteThread::Execute() {
    while (!Terminated()) {
        switch (WaitAny({CloseSignal, FlushSignal, WriteSignal}, -1)) {
        case 0: Terminate(); break;
        case 1: AcknowledgeFlush(); break;
        case 2: WriteStep(); break;
        default: break;
        }
    }
}

void TVaCommWriteThread::WriteStep() {
    if (FDevice->HungUp()) {
        // Nothing will go out again; wait for Close (or a flush) without spinning.
        switch (WaitAny({CloseSignal, FlushSignal}, -1)) {
        case 0: Terminate(); break;
        case 1: AcknowledgeFlush(); break;
        default: break;
        }
        return;
    }
    const uint8_t* data = nullptr;
    int32_t size = 0;
    {
        std::lock_guard<TVaCriticalSection> writeLock(Owner->FWriteLock);
        data = Queue.Memory();
        size = Queue.Size();
    }
    // Appends land behind these bytes and nothing else moves them until WriteDone or a flush,
    // both on this thread, so they stay valid without the lock.
    size_t written = 0;
    const int error = size > 0 ? FDevice->Write(data, static_cast<size_t>(size), 0, written) : 0;
    if (error != 0) {
        ReportError();
        // The bytes stay queued and are tried again after a pause, not in a tight loop.
        switch (WaitAny({CloseSignal, FlushSignal}, kStallPauseMs)) {
        case 0: Terminate(); break;
        case 1: AcknowledgeFlush(); break;
        default: break;
        }
        return;
    }
    if (written > 0 || size == 0) {
        FStalled = false;
        WriteDone(static_cast<int32_t>(written));
        return;
    }
    // The line takes nothing now: wait until it does. A port that reports room and then takes
    // nothing again gets a pause instead of a tight loop.
    const int waitMs = FStalled ? kStallPauseMs : -1;
    FStalled = true;
    switch (WaitAny({CloseSignal, FlushSignal, OverlappedSignal}, waitMs)) {
    case 0: Terminate(); break;
    case 1: AcknowledgeFlush(); break;
    default: break;  // WriteSignal is still set: the next pass writes again
    }
}

void TVaCommWriteThread::WriteDone(int32_t N) {
    bool emptied = false;
    {
        // Look and signal change under the write lock, where Enqueue appends and signals.
        std::lock_guard<TVaCriticalSection> writeLock(Owner->FWriteLock);
        Queue.Remove(N);
        QueueChanged();
        if (Queue.Size() > 0) {
            SetSignal(WriteSignal);
        } else {
            ResetSignal(WriteSignal);
            emptied = true;
        }
    }
    if (emptied) ReportTxEmpty();
}

void TVaCommWriteThread::ReportTxEmpty() { Report(EV_TXEMPTY); }

void TVaCommWriteThread::ReportError() { Report(EV_ERR); }

void TVaCommWriteThread::Report(uint32_t Mask) {
    // A handler's exception is reported and the writer goes on: ending the thread would leave
    // the queued bytes unsent and every later write failing, without a word.
    RunReporting(SyncEvents, [this, Mask] { Owner->HandleEvents(Mask); });
}
