#include "app/recording/LiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A trash record's Path= value: an absolute path with %XX escapes, kept as bytes.
std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string TrashedFrom(const fs::path& info) {
    std::ifstream in(info, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Path=", 0) == 0) return Unescaped(line.substr(5));
    }
    return {};
}

// The desktop's trash in the home folder: a folder or file "deleted" in a file manager from a
// file system with no trash of its own is copied there, with a record of where it was.
fs::path HomeTrash() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') return fs::path(dataHome) / "Trash";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return fs::path(home) / ".local" / "share" / "Trash";
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

std::optional<uint64_t> LiveFileSize(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<fs::path> WhereMovedAway(const fs::path& path) {
    const fs::path trash = HomeTrash();
    if (trash.empty()) return std::nullopt;
    const fs::path wanted = path.lexically_normal();
    std::optional<fs::path> latest;
    fs::file_time_type latestTime{};
    std::error_code ec;
    // The same path may have been trashed before: the latest record is this time's.
    for (fs::directory_iterator it(trash / "info", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& info = it->path();
        if (info.extension() != ".trashinfo") continue;
        if (fs::path(TrashedFrom(info)).lexically_normal() != wanted) continue;
        std::error_code timeEc;
        const fs::file_time_type time = fs::last_write_time(info, timeEc);
        const fs::path item = trash / "files" / info.stem();
        if (timeEc || !fs::exists(item, timeEc) || (latest && time < latestTime)) continue;
        latest = item;
        latestTime = time;
    }
    return latest;
}

FolderSizeLock::FolderSizeLock(const fs::path& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) return;
    // flock, as for the live files: a lock of this open file, so two writers of one program
    // exclude each other as two programs do.
    int result = 0;
    do {
        result = ::flock(fd.Get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result == 0) FHandle = fd.Release();
}

FolderSizeLock::~FolderSizeLock() {
    if (FHandle >= 0) ::close(static_cast<int>(FHandle));  // lets go of the lock
}

} // namespace recording
