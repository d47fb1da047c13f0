#pragma once
// Owns one kernel handle (file, port, event, thread, process). Both of the system's "no handle"
// values, null and INVALID_HANDLE_VALUE, count as none, so whatever a call returned on failure
// can be taken. Closing keeps the thread's last error for a caller about to report it.
#include <windows.h>

#include <utility>

namespace toolkit {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : FHandle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
    // Closes the one held (if any) and takes `handle`.
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            const DWORD saved = ::GetLastError();
            ::CloseHandle(FHandle);
            ::SetLastError(saved);
        }
        FHandle = handle;
    }
    // Hands the handle over (null when none is held); this owner holds none afterwards.
    HANDLE Release() {
        const HANDLE handle = Valid() ? FHandle : nullptr;
        FHandle = nullptr;
        return handle;
    }

private:
    HANDLE FHandle = nullptr;
};

} // namespace toolkit
