#pragma once
// A Windows communications port opened for overlapped I/O, without sharing.
//
// The event wait is an overlapped WaitCommEvent beside a wake event; the byte count comes from
// ClearCommError, whose line errors are kept until QueryStatus takes them. Reads ask only for
// the bytes ClearCommError reports, so a read never stays pending. A write waits for its
// completion, the writer's wake or its time-out, and is cancelled and settled before it returns.
//
// The line counts as hung up on the errors a port gives once its line is gone, and on any error
// once the port has left HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (a USB adapter pulled out answers
// with whatever code its driver picks: 5, 22, 31, 995 among them).
#include "serial/platform/windows/Api.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

#include "serial/platform/SerialDevice.h"
#include "toolkit/windows/UniqueHandle.h"

namespace serialdev {

using toolkit::UniqueHandle;

class WindowsComm final : public SerialDevice {
public:
    static OpenResult Open(const std::string& path);
    ~WindowsComm() override;

    const std::string& Path() const override { return FPath; }
    NativeHandle Handle() const override { return FPort.Get(); }
    int ApplySettings(const LineSettings& settings) override;
    int SetQueueSizes(uint32_t input, uint32_t output) override;
    int SetTimeouts() override;
    int SetEventMask(uint32_t mask) override;
    int QueryStatus(DeviceStatus& status) override;
    int Purge(uint32_t flags) override;
    bool HungUp() const override { return FHungUp.load(); }
    int Read(uint8_t* buffer, size_t count, size_t& received) override;
    int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) override;
    void WakeWriter() override { ::SetEvent(FWriterWake.Get()); }
    WaitOutcome WaitEvents(ByteWatch bytes, uint32_t& events) override;
    void WakeEvents() override { ::SetEvent(FEventWake.Get()); }
    int WaitError() const override { return FWaitError; }
    bool CheckGone() override;
    // WaitCommEvent reports the modem lines itself.
    WaitOutcome WaitModemChange(uint32_t& events) override {
        events = 0;
        return WaitOutcome::Unsupported;
    }
    void CancelModemWait() override {}

    // The rule above for one error of the port at `path`, opened while listed or not.
    static bool MeansGone(DWORD error, const RemovalWatch& removal);

private:
    WindowsComm(std::string path, UniqueHandle port);
    int CreateEvents();

    // ClearCommError: the bytes waiting, line errors kept for QueryStatus. Marks a hang-up
    // when the port no longer answers.
    int Poll(COMSTAT& stat);
    // The mask the driver is to wait with: received bytes only as `bytes` asks; the event
    // character and the 80 % mark are found by the component in its own queue.
    uint32_t WaitMask(ByteWatch bytes) const;
    // One overlapped WaitCommEvent: the driver's mask, or 0 with `error` set; ended early by
    // the wake, or at once when `bytes` already wait.
    uint32_t WaitOnce(ByteWatch bytes, bool& woken, DWORD& error);
    // Ends a pending WaitCommEvent (SetCommMask; CancelIoEx does not reach it) and settles it.
    DWORD EndPendingWait();
    // Also wakes the event thread, which may wait in the driver while another thread finds the
    // line gone.
    void MarkHungUp() {
        FHungUp.store(true);
        ::SetEvent(FEventWake.Get());
    }
    bool MeansGone(DWORD error) const { return MeansGone(error, FRemoval); }
    // The event wait's answer to a failure: a hang-up when the line is gone, else Failed with
    // the error kept for WaitError.
    WaitOutcome GoneOrFailed(DWORD error);

    std::string FPath;
    UniqueHandle FPort;
    UniqueHandle FWaitDone, FReadDone, FWriteDone;  // the overlapped records' events
    UniqueHandle FEventWake, FWriterWake;
    std::atomic<bool> FHungUp{false};
    RemovalWatch FRemoval;

    int FWaitError = 0;        // the event thread's: behind the last Failed wait
    uint32_t FEventMask = 0;   // what the component watches
    uint32_t FDriverMask = 0;  // what the driver was last told
    DWORD FWaitResult = 0;     // WaitCommEvent's mask word: lives as long as its wait
    OVERLAPPED FWaitRecord{};

    std::mutex FStatusLock;  // ClearCommError and the errors it took
    uint32_t FPendingErrors = 0;
};

} // namespace serialdev
