#pragma once
// A Linux tty opened for exclusive use.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>

#include "serial/platform/SerialDevice.h"
#include "serial/platform/linux/EventFd.h"
#include "serial/platform/linux/TtySettings.h"
#include "toolkit/UniqueFd.h"

namespace serialdev {

using toolkit::UniqueFd;

class LinuxTty final : public SerialDevice {
public:
    static OpenResult Open(const std::string& path);
    ~LinuxTty() override;

    const std::string& Path() const override { return FPath; }
    NativeHandle Handle() const override { return FFd.Get(); }
    int ApplySettings(const LineSettings& settings) override;
    int SetQueueSizes(uint32_t input, uint32_t output) override;
    int SetTimeouts() override { return 0; }
    // Which events to report is the event thread's choice: nothing to tell the kernel.
    int SetEventMask(uint32_t) override { return 0; }
    int QueryStatus(DeviceStatus& status) override;
    int Purge(uint32_t flags) override;
    bool HungUp() const override { return FHungUp.load(); }
    int Read(uint8_t* buffer, size_t count, size_t& received) override;
    int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) override;
    void WakeWriter() override { FWriterWake.Signal(); }
    WaitOutcome WaitEvents(ByteWatch bytes, uint32_t& events) override;
    void WakeEvents() override { FEventWake.Signal(); }
    int WaitError() const override { return FWaitError; }
    bool CheckGone() override;
    WaitOutcome WaitModemChange(uint32_t& events) override;
    void CancelModemWait() override;

    // The largest input queue the component may ask for.
    static constexpr uint32_t kMaxQueueSize = 16u * 1024 * 1024;

private:
    LinuxTty(std::string path, UniqueFd fd);
    // The epoll set and the wake-ups of the waits; errno when the system refuses them.
    int CreateWaits();
    // Registers the tty in the event wait as `bytes` asks; a hang-up is always seen.
    int WatchBytes(ByteWatch bytes);
    // Adds the line errors counted since the last look to the pending ones.
    void UpdateLineErrors();
    // EV_ERR / EV_BREAK for line errors or breaks that arrived since the previous call; the
    // errors stay pending for QueryStatus.
    uint32_t TakeLineEvents();
    void MarkHungUp() { FHungUp.store(true); }
    WaitOutcome FailedWith(int error) {
        FWaitError = error;
        return WaitOutcome::Failed;
    }
    // The port may belong to something else (a GPS, a modem, a console): what the probe changes
    // is put back at close.
    void SaveLineState();
    void RestoreLineState();

    std::string FPath;
    UniqueFd FFd;
    std::atomic<bool> FHungUp{false};
    RemovalWatch FRemoval;
    int FWaitError = 0;  // the event thread's

    UniqueFd FEpoll;  // the tty and FEventWake, for WaitEvents
    EventFd FEventWake;
    EventFd FWriterWake;
    ByteWatch FWatching = ByteWatch::None;
    bool FWatchRegistered = false;
    tty::SavedTermios FSavedTermios;
    bool FTermiosSaved = false;
    int FSavedSerialFlags = 0;
    bool FSerialFlagsSaved = false;

    std::mutex FCountsMutex;
    bool FCountsSupported = true;
    int FLastFrame = 0, FLastOverrun = 0, FLastParity = 0, FLastBreak = 0, FLastBufOverrun = 0;
    uint32_t FPendingErrors = 0;    // for QueryStatus
    uint32_t FUnreportedEvents = 0; // for WaitEvents

    std::mutex FModemMutex;
    std::condition_variable FModemLeft;
    bool FModemWaiting = false;
    bool FModemCancelled = false;
    pthread_t FModemThread{};
};

} // namespace serialdev
