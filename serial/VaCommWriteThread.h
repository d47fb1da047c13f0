#pragma once
// The writer thread: drains the component's output queue to the port while WriteBuf returns at
// once, and reports an emptied queue (EV_TXEMPTY) and failed writes (EV_ERR). Its reports are
// posted to the main thread as TVaCommThread describes: the writer goes on writing while the
// handlers run.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>

#include "VaCommThread.h"

namespace serialdev {
class SerialDevice;
}

// A byte queue of fixed capacity; the held bytes always start at Memory.
class TVaCommBuffer {
public:
    explicit TVaCommBuffer(int32_t ACapacity);
    TVaCommBuffer(const TVaCommBuffer&) = delete;
    TVaCommBuffer& operator=(const TVaCommBuffer&) = delete;

    const uint8_t* Memory() const { return FMemory.get(); }
    int32_t Size() const { return FSize; }
    int32_t Capacity() const { return FCapacity; }
    void Clear() { FSize = 0; }
    // Refuses (raises) what would not fit, rather than write past the block.
    void Append(const void* Data, int32_t N);
    // Removes at most the bytes held.
    void Remove(int32_t N);

private:
    std::unique_ptr<uint8_t[]> FMemory;
    int32_t FCapacity;
    int32_t FSize = 0;
};

class TVaCommWriteThread : public TVaCommThread {
public:
    // Its queue holds the component's WriteSize.
    explicit TVaCommWriteThread(TVaCustomComm& AOwner);
    ~TVaCommWriteThread() override;
    std::string ClassName() const override { return "TVaCommWriteThread"; }

    // Caller's thread: waits up to WriteTimeout for room, appends, asks for a write.
    bool Enqueue(const void* Data, int32_t Count);
    // Caller's thread: has the writer drop the queued bytes; false when it did not answer within
    // 2000 ms (the queue then keeps them).
    bool Flush();
    // Bytes queued and not yet written; readable from any thread.
    int32_t QueuedBytes() const { return FQueued.load(); }

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    enum TSignal { WriteSignal, CloseSignal, FlushSignal, FlushDoneSignal, SignalCount };
    static constexpr int kForever = -1;

    void SetSignal(TSignal Signal);
    // Index in `signals` of the first one set, or -1 once timeoutMs passed (kForever: never).
    int WaitAny(std::initializer_list<TSignal> signals, int timeoutMs);
    // Waits for a stop or a flush request (up to timeoutMs) and answers the flush.
    void WaitForStopOrFlush(int timeoutMs);
    void AcknowledgeFlush();
    void WriteStep();
    void WriteDone(int32_t N);
    void Report(uint32_t Mask);
    void QueueChanged();  // with the write lock held

    serialdev::SerialDevice& FDevice;
    TVaCommBuffer FQueue;
    mutable std::mutex FSignalLock;
    std::condition_variable FSignalChanged;  // for both sides: a signal set, room made, flush answered
    bool FSignals[SignalCount] = {};
    std::atomic<int32_t> FQueued{0};  // FQueue.Size, readable without the write lock
};
