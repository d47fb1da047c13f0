#include "app/workbook/LibraryPaths.h"

#include <windows.h>

#include <optional>

namespace workbook {

namespace {

// The name in the ANSI code page, when every character has its own there.
std::optional<std::string> AnsiName(const std::wstring& name) {
    if (name.empty()) return std::nullopt;
    const int wide = static_cast<int>(name.size());
    BOOL lossy = FALSE;
    const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), wide, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), wide, out.data(), size, nullptr, &lossy);
    if (lossy) return std::nullopt;
    return out;
}

} // namespace

std::string LibraryFileName(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string LibraryTempFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring name(folder, length);
    while (name.size() > 3 && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
    if (std::optional<std::string> ansi = AnsiName(name)) return *ansi;
    wchar_t shortName[MAX_PATH + 1];
    const DWORD shortLength = ::GetShortPathNameW(name.c_str(), shortName, MAX_PATH + 1);
    if (shortLength == 0 || shortLength > MAX_PATH) return {};
    return AnsiName(std::wstring(shortName, shortLength)).value_or(std::string());
}

} // namespace workbook
