#pragma once
// Eight bytes of text as one word, the first byte in the lowest eight bits, on any machine: what
// lets the row parser look at eight bytes at a time. Compilers make it one load where the
// machine is little-endian. Plain C++.
#include <cstdint>

namespace record {

inline uint64_t LoadWord(const char* p) {
    const auto b = [p](int i) { return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i); };
    return b(0) | b(1) | b(2) | b(3) | b(4) | b(5) | b(6) | b(7);
}

} // namespace record
