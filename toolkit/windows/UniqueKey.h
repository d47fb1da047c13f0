#pragma once
// Owns one open registry key.
#include <windows.h>

#include <utility>

namespace toolkit {

class UniqueKey {
public:
    UniqueKey() = default;
    explicit UniqueKey(HKEY key) : FKey(key) {}
    ~UniqueKey() { Reset(); }
    UniqueKey(UniqueKey&& other) noexcept : FKey(std::exchange(other.FKey, nullptr)) {}
    UniqueKey& operator=(UniqueKey&& other) noexcept {
        if (this != &other) {
            Reset();
            FKey = std::exchange(other.FKey, nullptr);
        }
        return *this;
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;

    HKEY Get() const { return FKey; }
    bool Valid() const { return FKey != nullptr; }
    void Reset() {
        if (FKey != nullptr) ::RegCloseKey(FKey);
        FKey = nullptr;
    }
    // The key at `path` under `parent`, opened (or created, then opened) with `access`; none
    // when the registry refuses.
    static UniqueKey Open(HKEY parent, const wchar_t* path, REGSAM access) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(parent, path, 0, access, &key) != ERROR_SUCCESS) return {};
        return UniqueKey(key);
    }
    static UniqueKey Create(HKEY parent, const wchar_t* path, REGSAM access) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr) != ERROR_SUCCESS) return {};
        return UniqueKey(key);
    }

private:
    HKEY FKey = nullptr;
};

} // namespace toolkit
