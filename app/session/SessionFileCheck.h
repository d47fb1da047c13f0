#pragma once
// Looking at a session file before a window opens for it. A file that is not a regular one is
// refused by its kind, unopened (recording::NonRegularFileKind). Plain C++.
#include <filesystem>
#include <string>

namespace session {

// Why the file cannot be opened as a session (the reason names it), or empty when it is a
// regular file whose first line is a session header. May still wait on a hung file system:
// meant for a thread that may wait.
std::string SessionFileProblem(const std::filesystem::path& path);

} // namespace session
