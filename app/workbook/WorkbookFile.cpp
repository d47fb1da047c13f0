#include "WorkbookFile.h"

#include <system_error>

#include "app/session/SessionScan.h"

namespace workbook {

std::optional<std::string> DestinationProblem(const std::filesystem::path& source, const std::filesystem::path& destination) {
    std::error_code ec;
    if (destination.empty()) return "no file named for the workbook";
    if (std::filesystem::is_directory(destination, ec)) return session::PathText(destination) + ": is a folder";
    if (std::filesystem::equivalent(source, destination, ec)) {
        return session::PathText(destination) + ": is the file being exported itself; name another file for the workbook";
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
    return session::PathText(destination) + ": cannot be written: " + ec.message();
}

void Discard(const std::filesystem::path& partial) {
    std::error_code ec;
    std::filesystem::remove(partial, ec);
}

} // namespace workbook
