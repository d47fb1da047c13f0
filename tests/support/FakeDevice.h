#pragma once
// A scripted device for tests: what a pseudo-terminal cannot do (refused settings, failing
// status queries and purges, line errors, modem-line changes, failed writes). A test keeps the
// FakeLine, installs FakeOpenerScope, and the component opens a FakeDevice on that line.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "serial/platform/SerialDevice.h"

namespace serialdev {

// The far side and the script. Every member is guarded by the line's mutex; use the methods.
class FakeLine {
public:
    // Failures to answer (errno, 0 = succeed).
    struct Failures {
        int Open = 0;
        int ApplySettings = 0;
        int SetQueueSizes = 0;
        int SetTimeouts = 0;
        int SetEventMask = 0;
        int QueryStatus = 0;
        int Purge = 0;
        int Read = 0;
        int Write = 0;
        int Wait = 0;  // WaitEvents answers Failed with this error
    };
    void SetFailures(const Failures& failures);
    // How many bytes a write takes before the line stalls (-1: no limit). A write that waits for
    // room waits until the capacity is raised or the writer is woken.
    void SetWriteCapacity(int bytes);
    void SetModemWaitSupported(bool supported);
    // The handle a device opened on the line gives (DefaultHandle unless set).
    void SetNativeHandle(NativeHandle handle);
    static NativeHandle DefaultHandle();

    void Feed(const std::string& bytes);   // the unit sends
    void InjectLineErrors(uint32_t ceBits); // CE_* bits, reported once
    void ChangeModemLines(uint32_t evBits); // EV_CTS / EV_DSR / EV_RLSD / EV_RING
    void HangUp();

    // What the component did.
    std::string Written() const;
    LineSettings LastSettings() const;
    int ApplyCount() const;
    uint32_t EventMask() const;
    uint32_t QueueInput() const;
    int PurgeCount() const;
    bool IsOpen() const;
    std::string OpenedPath() const;

private:
    friend class FakeDevice;
    friend class FakeOpenerScope;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    Failures FFailures;
    int FWriteCapacity = -1;
    bool FModemWaitSupported = true;
    NativeHandle FNativeHandle = DefaultHandle();
    std::deque<uint8_t> FInput;
    std::string FWritten;
    uint32_t FPendingErrors = 0;
    uint32_t FUnreportedEvents = 0;
    uint32_t FModemEvents = 0;
    bool FHungUp = false;
    LineSettings FSettings;
    int FApplyCount = 0;
    uint32_t FEventMask = 0;
    uint32_t FQueueInput = 0;
    int FPurgeCount = 0;
    bool FOpen = false;
    std::string FPath;
    uint64_t FArrivals = 0;  // Feed calls so far, for ByteWatch::Arrival
};

// A scripted failure on a port that has left the installed port list (SetPortListedCheck) is
// the device going away, as with the system's devices: the line hangs up.
class FakeDevice final : public SerialDevice {
public:
    FakeDevice(std::shared_ptr<FakeLine> line, std::string path);
    ~FakeDevice() override;

    const std::string& Path() const override { return FPath; }
    NativeHandle Handle() const override { return FHandle; }
    int ApplySettings(const LineSettings& settings) override;
    int SetQueueSizes(uint32_t input, uint32_t output) override;
    int SetTimeouts() override;
    int SetEventMask(uint32_t mask) override;
    int QueryStatus(DeviceStatus& status) override;
    int Purge(uint32_t flags) override;
    bool HungUp() const override;
    int Read(uint8_t* buffer, size_t count, size_t& received) override;
    int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) override;
    void WakeWriter() override;
    WaitOutcome WaitEvents(ByteWatch bytes, uint32_t& events) override;
    void WakeEvents() override;
    int WaitError() const override;
    bool CheckGone() override;
    WaitOutcome WaitModemChange(uint32_t& events) override;
    void CancelModemWait() override;

private:
    // A scripted failure, or, once the port has left the list, a hang-up (the line's lock held).
    bool FailsAsGone();

    std::shared_ptr<FakeLine> FLine;
    std::string FPath;
    NativeHandle FHandle = InvalidNativeHandle();  // the line's at open
    RemovalWatch FRemoval;
    // Guarded by the line's mutex.
    bool FEventsWoken = false;
    bool FWriterWoken = false;
    bool FModemCancelled = false;
    uint64_t FArrivalsSeen = 0;
    int FWaitError = 0;
};

// Makes every open in its lifetime a FakeDevice on `line`; restores the previous opener.
class FakeOpenerScope {
public:
    explicit FakeOpenerScope(std::shared_ptr<FakeLine> line);
    ~FakeOpenerScope();
    FakeOpenerScope(const FakeOpenerScope&) = delete;
    FakeOpenerScope& operator=(const FakeOpenerScope&) = delete;

private:
    DeviceOpener FPrevious;
};

} // namespace serialdev
