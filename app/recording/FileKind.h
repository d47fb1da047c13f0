#pragma once
// What a path names, for callers that must not open what is not a regular file: opening a FIFO
// waits for its other end, and opening a device may wait on its driver. Plain C++.
#include <filesystem>
#include <string>

namespace recording {

// "a FIFO", "a directory", "a character device", "a block device", "a socket", "not a regular
// file"; empty for a regular file (or a link to one) and for a path that names nothing. Opens
// nothing.
std::string NonRegularFileKind(const std::filesystem::path& path);

} // namespace recording
