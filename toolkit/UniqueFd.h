#pragma once
// Owns one POSIX file descriptor. Closing on the way out keeps errno, so an error a caller is
// about to return survives the clean-up; a close whose result matters goes through CloseFd.
#include <unistd.h>

#include <cerrno>

#include "toolkit/UniqueResource.h"

namespace toolkit {

struct FdTraits {
    using Value = int;
    static int None() { return -1; }
    static bool Valid(int fd) { return fd >= 0; }
    static void Close(int fd) noexcept {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
};

using UniqueFd = UniqueResource<FdTraits>;

// Closes now: 0, or the errno of a failed close. Holds none afterwards either way.
inline int CloseFd(UniqueFd& fd) {
    if (!fd.Valid()) return 0;
    return ::close(fd.Release()) == 0 ? 0 : errno;
}

} // namespace toolkit
