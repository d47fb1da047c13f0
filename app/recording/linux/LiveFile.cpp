#include "app/recording/LiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "toolkit/UniqueFd.h"

namespace recording {

namespace fs = std::filesystem;
using toolkit::UniqueFd;

namespace {
// Tries the writer's lock on an open descriptor: true when another open file holds it.
bool Locked(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
    return errno == EWOULDBLOCK;
}
} // namespace

std::FILE* CreateLiveFile(const fs::path& path) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.Valid()) return nullptr;
    // flock, not fcntl locks: those belong to the process, so a test (or anything else in this
    // process) opening and closing the file would drop them. No other open file can hold a
    // lock on a file just made; a file system without locks records all the same, unmarked.
    ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    std::FILE* file = ::fdopen(fd.Get(), "wb");
    if (file == nullptr) {
        const int error = errno;
        ::unlink(path.c_str());
        errno = error;
        return nullptr;
    }
    fd.Release();  // the stream owns it now
    return file;
}

bool InUse(const fs::path& path) {
    // Closing it lets go of any lock taken to ask.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return fd.Valid() && Locked(fd.Get());
}

RemoveOutcome RemoveUnlessInUse(const fs::path& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.Valid()) return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Failed;
    // Held while the name goes, so no writer can take the file meanwhile.
    if (Locked(fd.Get())) return RemoveOutcome::InUse;
    if (::unlink(path.c_str()) == 0) return RemoveOutcome::Removed;
    return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Failed;
}

Whereabouts WhereaboutsOf(std::FILE* file) {
    Whereabouts where;
    const int fd = ::fileno(file);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
        where.removed = true;
        return where;
    }
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (!ec) where.path = std::move(target);
    return where;
}

int TruncateOpenFile(std::FILE* file, uint64_t size) {
    return ::ftruncate(::fileno(file), static_cast<off_t>(size)) == 0 ? 0 : errno;
}

} // namespace recording
