#include "app/recording/FileSync.h"

#include <unistd.h>

#include <cerrno>

namespace recording {

int SyncFileToDisk(std::FILE* file) {
    if (fdatasync(fileno(file)) == 0) return 0;
    // Devices and some file systems cannot sync; the data has still been written.
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP ? 0 : errno;
}

} // namespace recording
