#include "VaCommWriteThread.h"

#include <algorithm>
#include <cstring>

#include "VaComm.h"
#include "toolkit/Os.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr int kFlushAnswerMs = 2000;
// Pause before trying a failed write again.
constexpr int kRetryPauseMs = 20;

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

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm& AOwner)
    : TVaCommThread(AOwner), FDevice(*AOwner.Device()), FQueue(AOwner.Buffers().WriteSize()) {}

TVaCommWriteThread::~TVaCommWriteThread() {
    // A retired thread's device may be gone: only a thread nobody stopped is woken here.
    if (!Terminated()) Stop();
    if (Started()) {
        // Handing over never waits for the main thread, so a plain join cannot hang.
        if (SyncEvents()) Join();
        else WaitFor();
    }
    DropQueuedDelivery();
}

void TVaCommWriteThread::TerminatedSet() {
    SetSignal(CloseSignal);
    FDevice.WakeWriter();  // a write waiting for room is abandoned
    TVaCommThread::TerminatedSet();
}

void TVaCommWriteThread::SetSignal(TSignal Signal) {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FSignals[Signal] = true;
    }
    FSignalChanged.notify_all();
}

int TVaCommWriteThread::WaitAny(std::initializer_list<TSignal> signals, int timeoutMs) {
    std::unique_lock<std::mutex> lock(FSignalLock);
    int found = -1;
    auto anySet = [&] {
        int index = 0;
        for (TSignal s : signals) {
            if (FSignals[s]) {
                found = index;
                return true;
            }
            ++index;
        }
        return false;
    };
    if (timeoutMs == kForever) {
        FSignalChanged.wait(lock, anySet);
    } else {
        FSignalChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), anySet);
    }
    return found;
}

bool TVaCommWriteThread::Enqueue(const void* Data, int32_t Count) {
    if (Count < 0) return false;
    // Room is measured against the queue's real capacity too: WriteSize may have been changed
    // (and refused) while the port was open.
    const int32_t limit = std::min(FOwner.Buffers().WriteSize(), FQueue.Capacity());
    {
        std::unique_lock<std::mutex> lock(FSignalLock);
        auto fits = [&] { return static_cast<int64_t>(FQueued.load()) + Count <= limit; };
        if (!FSignalChanged.wait_for(lock, std::chrono::milliseconds(FOwner.Buffers().WriteTimeout()), fits)) {
            return false;
        }
    }
    // Only this (the caller's) thread appends, so the room found above is still there.
    const auto writeLock = FOwner.WriteGuard();
    FQueue.Append(Data, Count);
    QueueChanged();
    SetSignal(WriteSignal);  // under the write lock: WriteDone cannot clear it in between
    return true;
}

void TVaCommWriteThread::QueueChanged() {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FQueued.store(FQueue.Size());
    }
    FSignalChanged.notify_all();
}

bool TVaCommWriteThread::Flush() {
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        FSignals[FlushDoneSignal] = false;
    }
    SetSignal(FlushSignal);
    FDevice.WakeWriter();  // a write waiting for room gives way to the flush
    std::unique_lock<std::mutex> lock(FSignalLock);
    const bool answered = FSignalChanged.wait_for(lock, std::chrono::milliseconds(kFlushAnswerMs),
                                                  [this] { return FSignals[FlushDoneSignal]; });
    if (!answered) FSignals[FlushSignal] = false;  // withdrawn: the queue keeps its bytes
    // The writer emptied the queue when it answered, before its next write could start.
    return answered;
}

void TVaCommWriteThread::AcknowledgeFlush() {
    const auto writeLock = FOwner.WriteGuard();
    {
        std::lock_guard<std::mutex> lock(FSignalLock);
        if (!FSignals[FlushSignal]) return;  // the caller gave up meanwhile
        FSignals[FlushSignal] = false;
        FQueue.Clear();
        FQueued.store(0);
        FSignals[FlushDoneSignal] = true;
    }
    FSignalChanged.notify_all();
}

void TVaCommWriteThread::Execute() {
    toolkit::os::NameCurrentThread("serial-writer");
    while (!Terminated()) {
        switch (WaitAny({CloseSignal, FlushSignal, WriteSignal}, kForever)) {
        case 1: AcknowledgeFlush(); break;
        case 2: WriteStep(); break;
        default: break;  // stopped: the loop ends
        }
    }
}

void TVaCommWriteThread::WaitForStopOrFlush(int timeoutMs) {
    if (WaitAny({CloseSignal, FlushSignal}, timeoutMs) == 1) AcknowledgeFlush();
}

void TVaCommWriteThread::WriteStep() {
    if (FDevice.HungUp()) {
        // Nothing will go out again; wait for Close (or a flush) without spinning.
        WaitForStopOrFlush(kForever);
        return;
    }
    const uint8_t* data = nullptr;
    int32_t size = 0;
    {
        const auto writeLock = FOwner.WriteGuard();
        data = FQueue.Memory();
        size = FQueue.Size();
    }
    // Appends land behind these bytes and nothing else moves them until WriteDone or a flush,
    // both on this thread, so they stay valid without the lock. The write waits for room as
    // long as it takes; a stop or a flush request ends that wait.
    size_t written = 0;
    const int error =
        size > 0 ? FDevice.Write(data, static_cast<size_t>(size), serialdev::SerialDevice::kNoTimeout, written) : 0;
    if (error != 0) {
        Report(EV_ERR);
        // The bytes stay queued and are tried again after a pause, not in a tight loop.
        WaitForStopOrFlush(kRetryPauseMs);
        return;
    }
    // Woken before anything went out: the signals say what comes next.
    if (written > 0 || size == 0) WriteDone(static_cast<int32_t>(written));
}

void TVaCommWriteThread::WriteDone(int32_t N) {
    bool emptied = false;
    {
        // Look and signal change under the write lock, where Enqueue appends and signals.
        const auto writeLock = FOwner.WriteGuard();
        FQueue.Remove(N);
        QueueChanged();
        std::lock_guard<std::mutex> lock(FSignalLock);
        emptied = FQueue.Size() == 0;
        FSignals[WriteSignal] = !emptied;
    }
    if (emptied) Report(EV_TXEMPTY);
}

void TVaCommWriteThread::Report(uint32_t Mask) {
    // A handler's exception is reported and the writer goes on: ending the thread would leave
    // the queued bytes unsent and every later write failing, without a word.
    Deliver([this, Mask] { FOwner.HandleEvents(Mask); });
}
