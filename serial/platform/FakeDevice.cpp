#include "FakeDevice.h"

#include <sys/eventfd.h>

#include <algorithm>

#include <cerrno>
#include <chrono>

namespace serialdev {

// ---- FakeLine

void FakeLine::SetFailures(const Failures& failures) {
    std::lock_guard<std::mutex> lock(FMutex);
    FFailures = failures;
}

void FakeLine::SetWriteCapacity(int bytes) {
    std::lock_guard<std::mutex> lock(FMutex);
    FWriteCapacity = bytes;
}

void FakeLine::SetModemWaitSupported(bool supported) {
    std::lock_guard<std::mutex> lock(FMutex);
    FModemWaitSupported = supported;
}

void FakeLine::Feed(const std::string& bytes) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FInput.insert(FInput.end(), bytes.begin(), bytes.end());
        if (FOnInput) FOnInput();
    }
    FChanged.notify_all();
}

void FakeLine::InjectLineErrors(uint32_t ceBits) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FPendingErrors |= ceBits;
        if (ceBits & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) FUnreportedEvents |= EV_ERR;
        if (ceBits & CE_BREAK) FUnreportedEvents |= EV_BREAK;
    }
    FChanged.notify_all();
}

void FakeLine::ChangeModemLines(uint32_t evBits) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FModemEvents |= evBits;
    }
    FChanged.notify_all();
}

void FakeLine::HangUp() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FHungUp = true;
        if (FOnInput) FOnInput();
    }
    FChanged.notify_all();
}

std::string FakeLine::Written() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FWritten;
}

LineSettings FakeLine::LastSettings() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FSettings;
}

int FakeLine::ApplyCount() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FApplyCount;
}

uint32_t FakeLine::EventMask() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FEventMask;
}

uint32_t FakeLine::QueueInput() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FQueueInput;
}

int FakeLine::PurgeCount() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FPurgeCount;
}

bool FakeLine::IsOpen() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FOpen;
}

std::string FakeLine::OpenedPath() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FPath;
}

// ---- FakeDevice

FakeDevice::FakeDevice(std::shared_ptr<FakeLine> line, std::string path)
    : FLine(std::move(line)), FPath(std::move(path)), FReadyFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FLine->FOpen = true;
    FLine->FPath = FPath;
    FLine->FOnInput = [this] { SyncReadyFd(); };
    SyncReadyFd();
}

FakeDevice::~FakeDevice() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FLine->FOpen = false;
    FLine->FOnInput = nullptr;
}

void FakeDevice::SyncReadyFd() {
    const bool ready = !FLine->FInput.empty() || FLine->FHungUp;
    if (ready == FReadyFdSet) return;
    uint64_t value = 1;
    if (ready) {
        [[maybe_unused]] const ssize_t n = ::write(FReadyFd.Get(), &value, sizeof value);
    } else {
        [[maybe_unused]] const ssize_t n = ::read(FReadyFd.Get(), &value, sizeof value);
    }
    FReadyFdSet = ready;
}

int FakeDevice::ApplySettings(const LineSettings& settings) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    if (FLine->FFailures.ApplySettings) return FLine->FFailures.ApplySettings;
    FLine->FSettings = settings;
    ++FLine->FApplyCount;
    return 0;
}

int FakeDevice::SetQueueSizes(uint32_t input, uint32_t) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    if (FLine->FFailures.SetQueueSizes) return FLine->FFailures.SetQueueSizes;
    FLine->FQueueInput = input;
    return 0;
}

int FakeDevice::SetTimeouts() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    return FLine->FFailures.SetTimeouts;
}

int FakeDevice::SetEventMask(uint32_t mask) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    if (FLine->FFailures.SetEventMask) return FLine->FFailures.SetEventMask;
    FLine->FEventMask = mask;
    return 0;
}

int FakeDevice::QueryStatus(DeviceStatus& status) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    status = DeviceStatus{};
    if (FLine->FFailures.QueryStatus) return FLine->FFailures.QueryStatus;
    status.Errors = FLine->FPendingErrors;
    FLine->FPendingErrors = 0;
    status.InQueue = static_cast<uint32_t>(FLine->FInput.size());
    return 0;
}

int FakeDevice::CollectLineEvents(uint32_t& events) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    events = FLine->FUnreportedEvents;
    FLine->FUnreportedEvents = 0;
    return 0;
}

int FakeDevice::Purge(bool input, bool) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    if (FLine->FFailures.Purge) return FLine->FFailures.Purge;
    ++FLine->FPurgeCount;
    if (input) FLine->FInput.clear();
    SyncReadyFd();
    return 0;
}

int FakeDevice::Read(uint8_t* buffer, size_t count, size_t& received) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    received = 0;
    if (FLine->FFailures.Read) return FLine->FFailures.Read;
    while (received < count && !FLine->FInput.empty()) {
        buffer[received++] = FLine->FInput.front();
        FLine->FInput.pop_front();
    }
    SyncReadyFd();
    return 0;
}

int FakeDevice::Write(const uint8_t* buffer, size_t count, int, size_t& written) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    written = 0;
    if (FLine->FFailures.Write) return FLine->FFailures.Write;
    size_t take = count;
    if (FLine->FWriteCapacity >= 0) {
        take = std::min(count, static_cast<size_t>(FLine->FWriteCapacity));
        FLine->FWriteCapacity -= static_cast<int>(take);
    }
    FLine->FWritten.append(reinterpret_cast<const char*>(buffer), take);
    written = take;
    return 0;
}

bool FakeDevice::Readable() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    return !FLine->FInput.empty();
}

bool FakeDevice::HungUp() const {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    return FLine->FHungUp;
}

WaitOutcome FakeDevice::WaitReadable(int timeoutMs) {
    std::unique_lock<std::mutex> lock(FLine->FMutex);
    auto done = [this] { return FWoken || FLine->FHungUp || !FLine->FInput.empty(); };
    if (timeoutMs < 0) {
        FLine->FChanged.wait(lock, done);
    } else if (!FLine->FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) {
        return WaitOutcome::TimedOut;
    }
    if (FWoken) return WaitOutcome::Woken;
    if (!FLine->FInput.empty()) return WaitOutcome::Ready;
    return WaitOutcome::HungUp;
}

void FakeDevice::Wake() {
    {
        std::lock_guard<std::mutex> lock(FLine->FMutex);
        FWoken = true;
    }
    FLine->FChanged.notify_all();
}

void FakeDevice::ResetWake() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FWoken = false;
}

WaitOutcome FakeDevice::WaitModemChange(uint32_t& events) {
    std::unique_lock<std::mutex> lock(FLine->FMutex);
    events = 0;
    if (!FLine->FModemWaitSupported) return WaitOutcome::Unsupported;
    FLine->FChanged.wait(lock, [this] { return FModemCancelled || FLine->FModemEvents != 0 || FLine->FHungUp; });
    if (FModemCancelled) return WaitOutcome::Woken;
    if (FLine->FModemEvents == 0) return WaitOutcome::HungUp;
    events = FLine->FModemEvents;
    FLine->FModemEvents = 0;
    return WaitOutcome::Ready;
}

void FakeDevice::CancelModemWait() {
    {
        std::lock_guard<std::mutex> lock(FLine->FMutex);
        FModemCancelled = true;
    }
    FLine->FChanged.notify_all();
}

// ---- FakeOpenerScope

FakeOpenerScope::FakeOpenerScope(std::shared_ptr<FakeLine> line) {
    FPrevious = SetDeviceOpener([line](const std::string& path) {
        OpenResult result;
        {
            std::lock_guard<std::mutex> lock(line->FMutex);
            result.Error = line->FFailures.Open;
        }
        if (result.Error == 0) result.Device = std::make_unique<FakeDevice>(line, path);
        return result;
    });
}

FakeOpenerScope::~FakeOpenerScope() { SetDeviceOpener(std::move(FPrevious)); }

} // namespace serialdev
