#include "VaInputQueue.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/SerialDevice.h"

TVaInputQueue::TVaInputQueue(size_t capacity) : FRing(capacity) {}

void TVaInputQueue::Reset(size_t capacity) {
    std::lock_guard<std::mutex> lock(FMutex);
    FRing.assign(capacity, 0);
    FRing.shrink_to_fit();
    FHead = 0;
    FCount = 0;
    FPendingEvents = 0;
}

size_t TVaInputQueue::Capacity() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRing.size();
}

size_t TVaInputQueue::Count() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCount;
}

bool TVaInputQueue::CountUnlessFull(size_t& count) const {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FRing.empty() || FullLocked()) return false;
    count = FCount;
    return true;
}

bool TVaInputQueue::Full() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FullLocked();
}

void TVaInputQueue::Watch(int eventChar, bool highMark) {
    std::lock_guard<std::mutex> lock(FMutex);
    FEventChar = eventChar;
    FWatchHighMark = highMark;
}

TVaInputQueue::FillResult TVaInputQueue::FillLocked(serialdev::SerialDevice& device) {
    FillResult result;
    // At most two reads: up to the end of the ring, then from its start.
    while (FCount < FRing.size()) {
        const size_t tail = (FHead + FCount) % FRing.size();
        const size_t room = std::min(FRing.size() - FCount, FRing.size() - tail);
        size_t got = 0;
        result.Error = device.Read(FRing.data() + tail, room, got);
        if (result.Error != 0) break;
        if (FEventChar >= 0 && got > 0 && std::memchr(FRing.data() + tail, FEventChar, got) != nullptr) {
            FPendingEvents |= EV_RXFLAG;
        }
        FCount += got;
        result.Added += got;
        if (got < room) {
            result.PortEmptied = true;
            break;
        }
    }
    result.Queued = FCount;
    if (FWatchHighMark && result.Added > 0 && FCount * 5 >= FRing.size() * 4) FPendingEvents |= EV_RX80FULL;
    result.HungUp = device.HungUp();
    return result;
}

TVaInputQueue::FillResult TVaInputQueue::FillFrom(serialdev::SerialDevice& device) {
    std::lock_guard<std::mutex> lock(FMutex);
    return FillLocked(device);
}

TVaInputQueue::FillResult TVaInputQueue::Pull(serialdev::SerialDevice& device) {
    FillResult fill;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        const uint32_t before = FPendingEvents;
        fill = FillLocked(device);
        found = FPendingEvents != before;
    }
    WakeIf(found);
    return fill;
}

int TVaInputQueue::Read(serialdev::SerialDevice* device, uint8_t* buffer, size_t count, size_t& received) {
    int error = 0;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        const uint32_t before = FPendingEvents;
        wake = FullLocked();
        received = TakeLocked(buffer, count);
        if (device != nullptr && FRing.empty()) {
            // No queue to pass through: nothing watches the bytes, so they come straight.
            size_t direct = 0;
            error = device->Read(buffer + received, count - received, direct);
            received += direct;
        }
        while (device != nullptr && received < count && !FRing.empty()) {
            const FillResult fill = FillLocked(*device);
            error = fill.Error;
            if (fill.Added == 0) break;
            received += TakeLocked(buffer + received, count - received);
        }
        wake = (wake && received > 0) || FPendingEvents != before;
    }
    WakeIf(wake);
    return error;
}

size_t TVaInputQueue::Take(uint8_t* buffer, size_t count) {
    size_t taken = 0;
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        wasFull = FullLocked();
        taken = TakeLocked(buffer, count);
    }
    WakeIf(wasFull && taken > 0);
    return taken;
}

void TVaInputQueue::Clear() {
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        wasFull = FullLocked();
        FHead = 0;
        FCount = 0;
    }
    WakeIf(wasFull);
}

int TVaInputQueue::QueryStatus(serialdev::SerialDevice& device, serialdev::DeviceStatus& status) {
    // Under the lock every fill takes too, so no byte is on its way from one count to the other.
    std::lock_guard<std::mutex> lock(FMutex);
    const int error = device.QueryStatus(status);
    if (error == 0) status.InQueue += static_cast<uint32_t>(FCount);
    return error;
}

uint32_t TVaInputQueue::TakePendingEvents() {
    std::lock_guard<std::mutex> lock(FMutex);
    return std::exchange(FPendingEvents, 0);
}

void TVaInputQueue::SetOnWake(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(FMutex);
    FOnWake = std::move(callback);
}

size_t TVaInputQueue::TakeLocked(uint8_t* buffer, size_t count) {
    const size_t n = std::min(count, FCount);
    if (n == 0) return 0;
    const size_t first = std::min(n, FRing.size() - FHead);
    std::memcpy(buffer, FRing.data() + FHead, first);
    std::memcpy(buffer + first, FRing.data(), n - first);
    FHead = (FHead + n) % FRing.size();
    FCount -= n;
    if (FCount == 0) FHead = 0;
    return n;
}

void TVaInputQueue::WakeIf(bool due) {
    if (!due) return;
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        callback = FOnWake;
    }
    if (callback) callback();
}
