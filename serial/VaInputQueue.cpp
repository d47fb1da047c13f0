#include "VaInputQueue.h"

#include <algorithm>
#include <cstring>

#include "platform/SerialDevice.h"

TVaInputQueue::TVaInputQueue(size_t capacity) : FRing(capacity) {}

void TVaInputQueue::Reset(size_t capacity) {
    std::lock_guard<std::mutex> lock(FMutex);
    FRing.assign(capacity, 0);
    FRing.shrink_to_fit();
    FHead = 0;
    FCount = 0;
}

size_t TVaInputQueue::Capacity() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRing.size();
}

size_t TVaInputQueue::Count() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCount;
}

bool TVaInputQueue::Full() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCount == FRing.size();
}

bool TVaInputQueue::AtHighMark() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return !FRing.empty() && FCount * 5 >= FRing.size() * 4;
}

TVaInputQueue::FillResult TVaInputQueue::FillFrom(serialdev::SerialDevice& device, int watched) {
    FillResult result;
    std::lock_guard<std::mutex> lock(FMutex);
    // At most two reads: up to the end of the ring, then from its start.
    while (FCount < FRing.size()) {
        const size_t tail = (FHead + FCount) % FRing.size();
        const size_t room = std::min(FRing.size() - FCount, FRing.size() - tail);
        size_t got = 0;
        result.Error = device.Read(FRing.data() + tail, room, got);
        if (result.Error != 0) break;
        if (watched >= 0 && !result.SawByte) {
            result.SawByte = std::memchr(FRing.data() + tail, watched, got) != nullptr;
        }
        FCount += got;
        result.Added += got;
        if (got < room) break;
    }
    result.HungUp = device.HungUp();
    return result;
}

int TVaInputQueue::Read(serialdev::SerialDevice* device, uint8_t* buffer, size_t count, size_t& received) {
    int error = 0;
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        wasFull = !FRing.empty() && FCount == FRing.size();
        received = TakeLocked(buffer, count);
        if (received < count && device != nullptr) {
            size_t direct = 0;
            error = device->Read(buffer + received, count - received, direct);
            received += direct;
        }
    }
    if (received > 0) NotifySpaceFreed(wasFull);
    return error;
}

size_t TVaInputQueue::Take(uint8_t* buffer, size_t count) {
    size_t taken = 0;
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        wasFull = !FRing.empty() && FCount == FRing.size();
        taken = TakeLocked(buffer, count);
    }
    if (taken > 0) NotifySpaceFreed(wasFull);
    return taken;
}

void TVaInputQueue::Clear() {
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        wasFull = !FRing.empty() && FCount == FRing.size();
        FHead = 0;
        FCount = 0;
    }
    NotifySpaceFreed(wasFull);
}

void TVaInputQueue::SetOnSpaceFreed(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(FMutex);
    FOnSpaceFreed = std::move(callback);
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

void TVaInputQueue::NotifySpaceFreed(bool wasFull) {
    if (!wasFull) return;
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        callback = FOnSpaceFreed;
    }
    if (callback) callback();
}
