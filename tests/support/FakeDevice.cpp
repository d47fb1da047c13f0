#include "FakeDevice.h"

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <utility>

namespace serialdev {

// ---- FakeLine

void FakeLine::SetFailures(const Failures& failures) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FFailures = failures;
    }
    FChanged.notify_all();  // a wait that is to fail now
}

void FakeLine::SetWriteCapacity(int bytes) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FWriteCapacity = bytes;
    }
    FChanged.notify_all();
}

// Any value but the invalid one; no real device is behind it.
#ifdef _WIN32
NativeHandle FakeLine::DefaultHandle() { return reinterpret_cast<NativeHandle>(static_cast<intptr_t>(0x7ac0)); }
#else
NativeHandle FakeLine::DefaultHandle() { return 0x7ac0; }
#endif

void FakeLine::SetNativeHandle(NativeHandle handle) {
    std::lock_guard<std::mutex> lock(FMutex);
    FNativeHandle = handle;
}

void FakeLine::SetModemWaitSupported(bool supported) {
    std::lock_guard<std::mutex> lock(FMutex);
    FModemWaitSupported = supported;
}

void FakeLine::Feed(const std::string& bytes) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FInput.insert(FInput.end(), bytes.begin(), bytes.end());
        ++FArrivals;
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
    : FLine(std::move(line)), FPath(std::move(path)), FRemoval(FPath) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FLine->FOpen = true;
    FLine->FPath = FPath;
    FHandle = FLine->FNativeHandle;
}

FakeDevice::~FakeDevice() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FLine->FOpen = false;
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
    if (FLine->FFailures.QueryStatus) return FailsAsGone() ? 0 : FLine->FFailures.QueryStatus;
    status.Errors = std::exchange(FLine->FPendingErrors, 0);
    status.InQueue = static_cast<uint32_t>(FLine->FInput.size());
    return 0;
}

int FakeDevice::Purge(uint32_t flags) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    if (FLine->FFailures.Purge) return FailsAsGone() ? 0 : FLine->FFailures.Purge;
    ++FLine->FPurgeCount;
    if (flags & PURGE_RXCLEAR) FLine->FInput.clear();
    return 0;
}

bool FakeDevice::FailsAsGone() {
    if (!FRemoval.Gone()) return false;
    FLine->FHungUp = true;
    FLine->FChanged.notify_all();
    return true;
}

bool FakeDevice::HungUp() const {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    return FLine->FHungUp;
}

int FakeDevice::Read(uint8_t* buffer, size_t count, size_t& received) {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    received = 0;
    if (FLine->FFailures.Read) return FailsAsGone() ? 0 : FLine->FFailures.Read;
    while (received < count && !FLine->FInput.empty()) {
        buffer[received++] = FLine->FInput.front();
        FLine->FInput.pop_front();
    }
    return 0;
}

int FakeDevice::Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) {
    std::unique_lock<std::mutex> lock(FLine->FMutex);
    written = 0;
    if (FLine->FFailures.Write) {
        FailsAsGone();  // nothing went out either way
        return FLine->FFailures.Write;
    }
    auto room = [this] { return FLine->FWriteCapacity != 0; };
    if (count > 0 && !room() && timeoutMs != 0) {
        auto done = [&] { return room() || FWriterWoken || FLine->FFailures.Write != 0; };
        if (timeoutMs < 0) {
            FLine->FChanged.wait(lock, done);
        } else {
            FLine->FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
        }
        if (std::exchange(FWriterWoken, false) && !room()) return 0;
        if (FLine->FFailures.Write) return FLine->FFailures.Write;
    }
    size_t take = count;
    if (FLine->FWriteCapacity >= 0) {
        take = std::min(count, static_cast<size_t>(FLine->FWriteCapacity));
        FLine->FWriteCapacity -= static_cast<int>(take);
    }
    FLine->FWritten.append(reinterpret_cast<const char*>(buffer), take);
    written = take;
    return 0;
}

void FakeDevice::WakeWriter() {
    {
        std::lock_guard<std::mutex> lock(FLine->FMutex);
        FWriterWoken = true;
    }
    FLine->FChanged.notify_all();
}

WaitOutcome FakeDevice::WaitEvents(ByteWatch bytes, uint32_t& events) {
    std::unique_lock<std::mutex> lock(FLine->FMutex);
    events = 0;
    auto bytesReady = [&] {
        if (bytes == ByteWatch::Waiting) return !FLine->FInput.empty();
        if (bytes == ByteWatch::Arrival) return FLine->FArrivals != FArrivalsSeen;
        return false;
    };
    FLine->FChanged.wait(lock, [&] {
        return FEventsWoken || FLine->FHungUp || FLine->FUnreportedEvents != 0 || FLine->FFailures.Wait != 0 ||
               bytesReady();
    });
    FEventsWoken = false;
    if (FLine->FFailures.Wait && !FLine->FHungUp) {
        if (FailsAsGone()) return WaitOutcome::HungUp;
        FWaitError = FLine->FFailures.Wait;
        return WaitOutcome::Failed;
    }
    if (bytesReady()) events |= EV_RXCHAR;
    FArrivalsSeen = FLine->FArrivals;
    events |= std::exchange(FLine->FUnreportedEvents, 0);
    if (FLine->FHungUp) return WaitOutcome::HungUp;
    return events != 0 ? WaitOutcome::Ready : WaitOutcome::Woken;
}

void FakeDevice::WakeEvents() {
    {
        std::lock_guard<std::mutex> lock(FLine->FMutex);
        FEventsWoken = true;
    }
    FLine->FChanged.notify_all();
}

int FakeDevice::WaitError() const {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    return FWaitError;
}

bool FakeDevice::CheckGone() {
    std::lock_guard<std::mutex> lock(FLine->FMutex);
    FailsAsGone();
    return FLine->FHungUp;
}

WaitOutcome FakeDevice::WaitModemChange(uint32_t& events) {
    std::unique_lock<std::mutex> lock(FLine->FMutex);
    events = 0;
    if (!FLine->FModemWaitSupported) return WaitOutcome::Unsupported;
    FLine->FChanged.wait(lock, [this] { return FModemCancelled || FLine->FModemEvents != 0 || FLine->FHungUp; });
    if (FModemCancelled) return WaitOutcome::Woken;
    if (FLine->FModemEvents == 0) return WaitOutcome::HungUp;
    events = std::exchange(FLine->FModemEvents, 0);
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
