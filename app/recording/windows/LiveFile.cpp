#include "app/recording/LiveFile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "toolkit/UniqueFd.h"
#include "toolkit/windows/UniqueHandle.h"

namespace recording {

namespace fs = std::filesystem;
using toolkit::UniqueFd;
using toolkit::UniqueHandle;

namespace {
int ErrnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

HANDLE HandleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))); }

// The folder's one name for every writer, however it was reached (case, short names, links).
std::wstring FolderIdentity(const fs::path& folder) {
    std::wstring name;
    const UniqueHandle handle(::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.Valid()) {
        name.resize(MAX_PATH);
        DWORD length = ::GetFinalPathNameByHandleW(handle.Get(), name.data(), static_cast<DWORD>(name.size()),
                                                   FILE_NAME_NORMALIZED);
        if (length >= name.size()) {
            name.resize(length + 1);
            length = ::GetFinalPathNameByHandleW(handle.Get(), name.data(), static_cast<DWORD>(name.size()),
                                                 FILE_NAME_NORMALIZED);
        }
        name.resize(length < name.size() ? length : 0);
    }
    if (name.empty()) {
        std::error_code ec;
        name = fs::absolute(folder, ec).lexically_normal().wstring();
    }
    if (!name.empty()) ::CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}
} // namespace

std::FILE* CreateLiveFile(const fs::path& path) {
    // Others may read the file while it is written, but neither write to it nor delete or rename
    // it: that is what marks it in use.
    UniqueHandle handle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        errno = ErrnoFor(::GetLastError());
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_BINARY);
    if (fd < 0) {
        handle.Reset();  // before the delete: the file is not shared for deleting
        ::DeleteFileW(path.c_str());
        errno = EMFILE;
        return nullptr;
    }
    handle.Release();  // the descriptor owns it now
    UniqueFd descriptor(fd);
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        descriptor.Reset();  // before the delete, as above
        ::DeleteFileW(path.c_str());
        errno = error;
        return nullptr;
    }
    descriptor.Release();  // and the stream owns that
    return file;
}

bool InUse(const fs::path& path) {
    // Refusing others write access fails while a writer has the file open for writing.
    const UniqueHandle handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !handle.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

RemoveOutcome RemoveUnlessInUse(const fs::path& path) {
    if (::DeleteFileW(path.c_str())) return RemoveOutcome::Removed;
    switch (::GetLastError()) {
    case ERROR_SHARING_VIOLATION:
        return RemoveOutcome::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return RemoveOutcome::Gone;
    default:
        return RemoveOutcome::Failed;
    }
}

Whereabouts WhereaboutsOf(std::FILE* file) {
    Whereabouts where;
    const HANDLE handle = HandleOf(file);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle, &info) && info.nNumberOfLinks == 0) {
        where.removed = true;
        return where;
    }
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (length >= name.size()) {
        name.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    }
    if (length == 0 || length >= name.size()) return where;
    name.resize(length);
    // The call answers in the long form (\\?\C:\...); messages show the form people type.
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) name = L"\\\\" + name.substr(8);
    else if (name.rfind(L"\\\\?\\", 0) == 0) name = name.substr(4);
    where.path = fs::path(name);
    return where;
}

int TruncateOpenFile(std::FILE* file, uint64_t size) {
    return ::_chsize_s(::_fileno(file), static_cast<long long>(size)) == 0 ? 0 : errno;
}

std::optional<uint64_t> LiveFileSize(const fs::path& path) {
    // The folder's listing gets a file's size only when its writer closes it: ask the file.
    const UniqueHandle handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!handle.Valid() || !::GetFileSizeEx(handle.Get(), &size)) return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
}

std::optional<fs::path> WhereMovedAway(const fs::path&) {
    // Windows moves neither a folder nor a file that a writer holds: nothing is taken away
    // from under a session except by the system itself, which keeps no record of it.
    return std::nullopt;
}

FolderSizeLock::FolderSizeLock(const fs::path& folder) {
    // A named mutex per folder: directories take no byte-range locks. Local to the logon
    // session, where every window of this user's runs.
    const std::wstring identity = FolderIdentity(folder);
    uint64_t hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 name
    for (const wchar_t c : identity) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ull;
    }
    std::wstring name = L"Local\\torvane-capture-folder-";
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) return;
    const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
    // Abandoned: a writer ended while holding it; the folder is as it left it, and now ours.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return;
    }
    FHandle = reinterpret_cast<std::intptr_t>(mutex);
}

FolderSizeLock::~FolderSizeLock() {
    if (FHandle == -1) return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(FHandle);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

} // namespace recording
