#include "WorkbookFile.h"

#include <system_error>

namespace workbook {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> DestinationProblem(const std::filesystem::path& source, const std::filesystem::path& destination) {
    std::error_code ec;
    if (destination.empty()) return "no file named for the workbook";
    if (std::filesystem::is_directory(destination, ec)) return Utf8(destination) + ": is a folder";
    if (std::filesystem::equivalent(source, destination, ec)) {
        return Utf8(destination) + ": is the file being exported itself; name another file for the workbook";
    }
    return std::nullopt;
}

std::filesystem::path PartialPath(const std::filesystem::path& destination) {
    std::filesystem::path partial = destination;
    partial += ".partial";
    return partial;
}

std::optional<std::string> PutInPlace(const std::filesystem::path& partial, const std::filesystem::path& destination) {
    std::error_code ec;
    std::filesystem::rename(partial, destination, ec);
    if (!ec) return std::nullopt;
    Discard(partial);
    return Utf8(destination) + ": cannot be written: " + ec.message();
}

void Discard(const std::filesystem::path& partial) {
    std::error_code ec;
    std::filesystem::remove(partial, ec);
}

} // namespace workbook
