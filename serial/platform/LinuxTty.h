#pragma once
// A Linux tty opened for exclusive use.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>

#include "SerialDevice.h"
#include "UniqueFd.h"

namespace serialdev {

class LinuxTty final : public SerialDevice {
public:
    static OpenResult Open(const std::string& path);
    ~LinuxTty() override;

    const std::string& Path() const override { return FPath; }
    int ApplySettings(const LineSettings& settings) override;
    int SetQueueSizes(uint32_t input, uint32_t output) override;
    int SetTimeouts() override { return 0; }
    int SetEventMask(uint32_t mask) override;
    int QueryStatus(DeviceStatus& status) override;
    int CollectLineEvents(uint32_t& events) override;
    int Purge(bool input, bool output) override;
    int Read(uint8_t* buffer, size_t count, size_t& received) override;
    int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) override;
    int PollFd() const override { return FFd.Get(); }
    bool Readable() override;
    bool HungUp() const override { return FHungUp.load(); }
    WaitOutcome WaitReadable(int timeoutMs) override;
    void Wake() override;
    void ResetWake() override;
    WaitOutcome WaitModemChange(uint32_t& events) override;
    void CancelModemWait() override;

    // The largest input queue the component may ask for.
    static constexpr uint32_t kMaxQueueSize = 16u * 1024 * 1024;

private:
    LinuxTty(std::string path, UniqueFd fd, UniqueFd wake);
    // Adds the line errors counted since the last look to the pending ones; returns the new.
    uint32_t UpdateLineErrors();
    void MarkHungUp() { FHungUp.store(true); }

    std::string FPath;
    UniqueFd FFd;
    UniqueFd FWake;  // eventfd: ends WaitReadable
    std::atomic<bool> FHungUp{false};
    std::atomic<uint32_t> FEventMask{0};

    std::mutex FCountsMutex;
    bool FCountsSupported = true;
    int FLastFrame = 0, FLastOverrun = 0, FLastParity = 0, FLastBreak = 0, FLastBufOverrun = 0;
    uint32_t FPendingErrors = 0;    // for QueryStatus
    uint32_t FUnreportedEvents = 0; // for CollectLineEvents

    std::mutex FModemMutex;
    std::condition_variable FModemLeft;
    bool FModemWaiting = false;
    bool FModemCancelled = false;
    pthread_t FModemThread{};
};

} // namespace serialdev
