#pragma once
// Owns one C stream. Closing on the way out keeps errno and ignores fclose's result: where a
// failed close must be reported, CloseFile says so.
#include <cerrno>
#include <cstdio>
#include <memory>

namespace toolkit {

struct FileCloser {
    void operator()(std::FILE* file) const {
        const int saved = errno;
        std::fclose(file);
        errno = saved;
    }
};

using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Closes now: 0, or the errno of a failed fclose (EIO when it gives none). Holds none afterwards.
inline int CloseFile(UniqueFile& file) {
    if (!file) return 0;
    errno = 0;
    const int result = std::fclose(file.release());
    return result == 0 ? 0 : (errno != 0 ? errno : EIO);
}

} // namespace toolkit
