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

} // namespace recording
