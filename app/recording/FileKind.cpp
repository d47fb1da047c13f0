#include "FileKind.h"

#include <system_error>

namespace recording {

std::string NonRegularFileKind(const std::filesystem::path& path) {
    std::error_code ec;
    switch (std::filesystem::status(path, ec).type()) {
    case std::filesystem::file_type::directory:
        return "a directory";
    case std::filesystem::file_type::fifo:
        return "a FIFO";
    case std::filesystem::file_type::character:
        return "a character device";
    case std::filesystem::file_type::block:
        return "a block device";
    case std::filesystem::file_type::socket:
        return "a socket";
    case std::filesystem::file_type::unknown:
        return "not a regular file";
    default:  // regular, or nothing there (or not to be looked at): the open says why
        return {};
    }
}

} // namespace recording
