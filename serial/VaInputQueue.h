#pragma once
// The component's own input queue, filled from the port by the event thread and read by
// ReadBuf. Thread-safe on its own (an internal mutex), so the event thread needs no lock of
// the component. Every read of the port goes through the queue under that mutex, which keeps
// bytes in line order when the event thread and a reader touch the port at the same time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace serialdev {
class SerialDevice;
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
    // At least 80 % of the capacity is taken.
    bool AtHighMark() const;

    struct FillResult {
        size_t Added = 0;
        bool SawByte = false;  // the watched byte was among those added
        bool HungUp = false;
        int Error = 0;         // errno of a failed read
    };
    // Appends what the port has, up to the free space; `watched` (-1: none) is looked for
    // among the new bytes.
    FillResult FillFrom(serialdev::SerialDevice& device, int watched = -1);

    // Takes up to `count` bytes: from the queue first, then straight from the port.
    // Returns the errno of a failed port read (0 otherwise); `received` counts both parts.
    int Read(serialdev::SerialDevice* device, uint8_t* buffer, size_t count, size_t& received);
    // Takes up to `count` bytes from the queue only.
    size_t Take(uint8_t* buffer, size_t count);
    void Clear();

    // Called (without the queue's lock held) when a read makes room in a full queue, so a
    // filler that stopped at a full queue can go on.
    void SetOnSpaceFreed(std::function<void()> callback);

private:
    size_t TakeLocked(uint8_t* buffer, size_t count);
    void NotifySpaceFreed(bool wasFull);

    mutable std::mutex FMutex;
    std::vector<uint8_t> FRing;
    size_t FHead = 0;   // index of the oldest byte
    size_t FCount = 0;
    std::function<void()> FOnSpaceFreed;
};
