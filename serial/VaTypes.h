#pragma once
// Integer types and small value types shared by the serial component.
#include <cstdint>
#include <initializer_list>
#include <type_traits>

using TVaIntW = int32_t;     // sizes and time-outs, 0 to 2147483647
using TVaPortInt = int32_t;  // port numbers, 0 to 2147483647
using PVaData = const uint8_t*;

// A set of enumeration members held in a fixed-width word, bit n for ordinal n.
template <class E, class Word>
class TVaSet {
public:
    constexpr TVaSet() = default;
    constexpr TVaSet(std::initializer_list<E> members) {
        for (E m : members) Include(m);
    }
    static constexpr TVaSet FromBits(Word bits) {
        TVaSet s;
        s.FBits = bits;
        return s;
    }

    constexpr bool Contains(E m) const { return (FBits & Bit(m)) != 0; }
    constexpr TVaSet& Include(E m) {
        FBits = static_cast<Word>(FBits | Bit(m));
        return *this;
    }
    constexpr TVaSet& Exclude(E m) {
        FBits = static_cast<Word>(FBits & ~Bit(m));
        return *this;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr Word Bits() const { return FBits; }
    friend constexpr bool operator==(TVaSet a, TVaSet b) { return a.FBits == b.FBits; }

private:
    static constexpr Word Bit(E m) { return static_cast<Word>(Word{1} << static_cast<unsigned>(m)); }
    Word FBits = 0;
};
