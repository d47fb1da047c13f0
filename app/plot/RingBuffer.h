#pragma once
// A first-in first-out ring of values with a fixed upper bound. Storage grows as values arrive
// (doubling, up to the bound rounded up to a power of two) and shrinks again when most of it is unused, so many short-lived
// rings cost little while one busy ring may still use the whole bound.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <vector>

namespace plot {

template <typename T>
class RingBuffer {
public:
    explicit RingBuffer(size_t bound) : FBound(std::max<size_t>(bound, 1)) {}

    size_t Size() const { return FSize; }
    bool Empty() const { return FSize == 0; }
    size_t Bound() const { return FBound; }
    size_t StorageSize() const { return FStore.size(); }

    // Index 0 is the oldest value. Storage is a power of two, so wrapping is a mask.
    const T& operator[](size_t i) const { return FStore[(FHead + i) & (FStore.size() - 1)]; }
    const T& Front() const { return (*this)[0]; }
    const T& Back() const { return (*this)[FSize - 1]; }

    // Appends a value; at the bound the oldest one makes room for it.
    void Push(const T& value) {
        if (FSize == FBound) PopFront();
        if (FSize == FStore.size()) Resize(std::min(std::bit_ceil(FBound), std::max<size_t>(kMinStorage, FStore.size() * 2)));
        FStore[(FHead + FSize) & (FStore.size() - 1)] = value;
        ++FSize;
    }

    void PopFront() {
        if (FSize == 0) return;
        FHead = (FHead + 1) & (FStore.size() - 1);
        --FSize;
        if (FStore.size() > kMinStorage && FSize < FStore.size() / 4) Resize(FStore.size() / 2);
    }

private:
    static constexpr size_t kMinStorage = 64;

    void Resize(size_t storage) {
        std::vector<T> next(std::bit_ceil(storage));
        for (size_t i = 0; i < FSize; ++i) next[i] = (*this)[i];
        FStore.swap(next);
        FHead = 0;
    }

    size_t FBound;
    std::vector<T> FStore;
    size_t FHead = 0;
    size_t FSize = 0;
};

} // namespace plot
