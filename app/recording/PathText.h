#pragma once
// Paths to and from UTF-8 text, the same on every system (C++20 made u8string a char8_t string).
#include <filesystem>
#include <string>
#include <string_view>

namespace recording {

inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace recording
