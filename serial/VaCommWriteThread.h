#pragma once
// The writer thread: drains the component's output queue to the port while WriteBuf returns at
// once, and reports an emptied queue (EV_TXEMPTY) and failed writes (EV_ERR).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>

#include "platform/UniqueFd.h"
#include "toolkit/Thread.h"

class TVaCustomComm;
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

class TVaCommWriteThread : public toolkit::TThread {
public:
    enum TSignal { WriteSignal, CloseSignal, FlushSignal, FlushDoneSignal, OverlappedSignal, SignalCount };

    explicit TVaCommWriteThread(TVaCustomComm* AOwner);
    ~TVaCommWriteThread() override;
    std::string ClassName() const override { return "TVaCommWriteThread"; }

    // Caller's thread: waits up to WriteTimeout for room, appends, asks for a write.
    bool Enqueue(const void* Data, int32_t Count);
    // Caller's thread: has the writer drop the queued bytes; false when it did not answer within
    // 2000 ms (the queue then keeps them).
    bool Flush();
    void Stop() { SetSignal(CloseSignal); }

    void WriteDone(int32_t N);
    void ReportTxEmpty();
    void ReportError();

    bool SignalIsSet(TSignal Signal) const;
    int32_t QueuedBytes() const { return FQueued.load(); }

    TVaCommBuffer Queue;
    TVaCustomComm* Owner;
    bool SyncEvents = true;

protected:
    void Execute() override;
    void TerminatedSet() override { SetSignal(CloseSignal); }

private:
    void SetSignal(TSignal Signal);
    void ResetSignal(TSignal Signal);
    // Index in `signals` of the first one set; OverlappedSignal in the list stands for "the port
    // takes bytes again". Returns -1 on the time-out (-1 ms: none).
    int WaitAny(std::initializer_list<TSignal> signals, int timeoutMs);
    void AcknowledgeFlush();
    void WriteStep();
    void Report(uint32_t Mask);
    void QueueChanged();  // with the write lock held

    serialdev::SerialDevice* FDevice;
    serialdev::UniqueFd FWakeFd;  // written on every signal change: the writer's waits see them
    mutable std::mutex FSignalLock;
    std::condition_variable FSignalChanged;  // for callers: room made, flush answered
    bool FSignals[SignalCount] = {};
    std::atomic<int32_t> FQueued{0};  // Queue.Size, readable without the write lock
    bool FStalled = false;            // the last write took nothing although the port seemed ready
};
