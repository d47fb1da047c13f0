#pragma once
// Owns one system resource of a kind its Traits describe:
//   using Value = ...;                  the system's type for it (a descriptor, a HANDLE)
//   static Value None();                what "none held" looks like
//   static bool Valid(Value);           false for every value the system uses for none
//   static void Close(Value) noexcept;  gives a valid one back, keeping the caller's error
// A close whose result matters is the kind's own function (CloseFd), never a destructor's.
#include <utility>

namespace toolkit {

template <class Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Value value) : FValue(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : FValue(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Value Get() const { return FValue; }
    bool Valid() const { return Traits::Valid(FValue); }
    // Gives back the one held (if any) and takes `value`.
    void Reset(Value value = Traits::None()) {
        if (Valid()) Traits::Close(FValue);
        FValue = value;
    }
    // Hands the resource over (none when none is held); this owner holds none afterwards.
    Value Release() {
        const Value value = Valid() ? FValue : Traits::None();
        FValue = Traits::None();
        return value;
    }

private:
    Value FValue = Traits::None();
};

} // namespace toolkit
