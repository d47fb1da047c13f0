#pragma once
// Asks the system to put a file's written data on the disk, so rows flushed before a power
// loss survive it. One implementation per system.
#include <cstdio>

namespace recording {

// 0, or the system's error number.
int SyncFileToDisk(std::FILE* file);

} // namespace recording
