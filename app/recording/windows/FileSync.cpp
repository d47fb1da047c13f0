#include "app/recording/FileSync.h"

#include <io.h>

#include <cerrno>

namespace recording {

int SyncFileToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0 ? 0 : errno; }

} // namespace recording
