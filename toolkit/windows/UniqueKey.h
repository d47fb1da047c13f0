#pragma once
// Owns one open registry key.
#include <windows.h>

#include "toolkit/UniqueResource.h"

namespace toolkit {

struct KeyTraits {
    using Value = HKEY;
    static HKEY None() { return nullptr; }
    static bool Valid(HKEY key) { return key != nullptr; }
    static void Close(HKEY key) noexcept { ::RegCloseKey(key); }
};

using UniqueKey = UniqueResource<KeyTraits>;

// The key at `path` under `parent`, opened (or created, then opened) with `access`; none when
// the registry refuses.
inline UniqueKey OpenKey(HKEY parent, const wchar_t* path, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, path, 0, access, &key) != ERROR_SUCCESS) return {};
    return UniqueKey(key);
}
inline UniqueKey CreateKey(HKEY parent, const wchar_t* path, REGSAM access) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr) != ERROR_SUCCESS) return {};
    return UniqueKey(key);
}

} // namespace toolkit
