#pragma once
// A session file while it is being written: created only where no file is, marked in use by the
// operating system for as long as it is open (a lock on Linux, the open file's share mode on
// Windows), so that the size cap of another window recording into the same folder never deletes
// it. One implementation per system.
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace recording {

// Creates path for writing (binary) and marks it in use until it is closed; nullptr with errno set
// on failure (EEXIST when something is already there).
std::FILE* CreateLiveFile(const std::filesystem::path& path);

// Whether another writer holds the file open as a live session file.
bool InUse(const std::filesystem::path& path);

enum class RemoveOutcome { Removed, InUse, Gone, Failed };
// Deletes a session file unless a writer holds it.
RemoveOutcome RemoveUnlessInUse(const std::filesystem::path& path);

// Where an open file is now: removed (no name left), or the path it has now (empty when the
// system cannot say).
struct Whereabouts {
    bool removed = false;
    std::filesystem::path path;
};
Whereabouts WhereaboutsOf(std::FILE* file);

// Cuts the open file back to size bytes; 0, or the system's error number.
int TruncateOpenFile(std::FILE* file, uint64_t size);

} // namespace recording
