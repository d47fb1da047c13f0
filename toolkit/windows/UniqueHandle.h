#pragma once
// Owns one kernel handle (file, port, event, thread, process). Both of the system's "no handle"
// values, null and INVALID_HANDLE_VALUE, count as none, so whatever a call returned on failure
// can be taken. Closing keeps the thread's last error for a caller about to report it.
#include <windows.h>

#include "toolkit/UniqueResource.h"

namespace toolkit {

struct HandleTraits {
    using Value = HANDLE;
    static HANDLE None() { return nullptr; }
    static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept {
        const DWORD saved = ::GetLastError();
        ::CloseHandle(handle);
        ::SetLastError(saved);
    }
};

using UniqueHandle = UniqueResource<HandleTraits>;

} // namespace toolkit
