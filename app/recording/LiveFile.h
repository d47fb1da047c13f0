#pragma once
// A session file while it is being written: created only where no file is, marked in use by the
// operating system for as long as it is open (a lock on Linux, the open file's share mode on
// Windows), so that the size cap of another window recording into the same folder never deletes
// it. One implementation per system.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

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

// The size of a file another writer may be writing at this moment (a folder listing may lag
// behind it); nullopt when it cannot be read.
std::optional<uint64_t> LiveFileSize(const std::filesystem::path& path);

// Where a file or folder that was taken away from its place went, when the system keeps a
// record of it (the desktop's trash); nullopt when that cannot be known.
std::optional<std::filesystem::path> WhereMovedAway(const std::filesystem::path& path);

// Held by a writer while it measures a captures folder, deletes in it and writes into it, so
// that no other writer, in this program or another, measures the folder in between: each then
// sees every other session at its size now, and the folder stays under its cap however many
// windows record into it. Waits for the holder before it; a folder that cannot be locked
// (a file system without locks) is measured unlocked.
class FolderSizeLock {
public:
    explicit FolderSizeLock(const std::filesystem::path& folder);
    ~FolderSizeLock();
    FolderSizeLock(const FolderSizeLock&) = delete;
    FolderSizeLock& operator=(const FolderSizeLock&) = delete;

private:
    std::intptr_t FHandle = -1;  // the folder's descriptor, or the folder's named mutex
};

} // namespace recording
