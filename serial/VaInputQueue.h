#pragma once
// The component's own input queue. Every byte read from the port passes through it, whoever
// reads (the event thread, a delivery, a handler's read), and is looked at on the way in: so the
// event character and the 80 % mark are never missed, and a count of queue plus port taken under
// its lock never counts a byte twice. Thread-safe on its own (an internal mutex), so the event
// thread needs no lock of the component.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace serialdev {
class SerialDevice;
struct DeviceStatus;
}

class TVaInputQueue {
public:
    explicit TVaInputQueue(size_t capacity = 4096);
    TVaInputQueue(const TVaInputQueue&) = delete;
    TVaInputQueue& operator=(const TVaInputQueue&) = delete;

    // Empties the queue and gives it a new capacity.
    void Reset(size_t capacity);
    size_t Capacity() const;
    size_t Count() const;
    bool Full() const;
    // The count, where the queue has room (so a reader filling it has left nothing in the port
    // that it had seen); false for a full queue or one of no capacity.
    bool CountUnlessFull(size_t& count) const;

    // What filling looks for: the event character (-1: none) and the 80 % mark. Found ones
    // wait in PendingEvents as EV_RXFLAG / EV_RX80FULL.
    void Watch(int eventChar, bool highMark);

    struct FillResult {
        size_t Added = 0;
        bool HungUp = false;
        int Error = 0;  // the system's error number of a failed read
        // The port had no more than there was room for: it held nothing further when read.
        bool PortEmptied = false;
        size_t Queued = 0;  // bytes in the queue afterwards
    };
    // The event thread: appends what the port has, up to the free space.
    FillResult FillFrom(serialdev::SerialDevice& device);
    // A reader: the same, and a wake (see SetOnWake) when it found a watched event.
    FillResult Pull(serialdev::SerialDevice& device);
    // Takes up to `count` bytes: from the queue, then what the port has, through the queue.
    // Returns the error of a failed port read (0 otherwise); `received` counts every byte taken.
    int Read(serialdev::SerialDevice* device, uint8_t* buffer, size_t count, size_t& received);
    // Takes up to `count` bytes from the queue only.
    size_t Take(uint8_t* buffer, size_t count);
    void Clear();
    // The port's status with its input count plus the queue's, as one exact figure.
    int QueryStatus(serialdev::SerialDevice& device, serialdev::DeviceStatus& status);
    // EV_RXFLAG / EV_RX80FULL found since the last call.
    uint32_t TakePendingEvents();

    // Called (without the queue's lock held) when a read makes room in a full queue, or when a
    // reader's fill found a watched event: the event thread has something to look at.
    void SetOnWake(std::function<void()> callback);

private:
    FillResult FillLocked(serialdev::SerialDevice& device);
    size_t TakeLocked(uint8_t* buffer, size_t count);
    bool FullLocked() const { return !FRing.empty() && FCount == FRing.size(); }
    void WakeIf(bool due);

    mutable std::mutex FMutex;
    std::vector<uint8_t> FRing;
    size_t FHead = 0;  // index of the oldest byte
    size_t FCount = 0;
    int FEventChar = -1;
    bool FWatchHighMark = false;
    uint32_t FPendingEvents = 0;
    std::function<void()> FOnWake;
};
