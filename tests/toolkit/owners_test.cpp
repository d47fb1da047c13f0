// The resource owners: each closes what it holds exactly once, hands it over on a move or a
// Release, keeps the error a caller is about to report, and, where a close can fail, says so.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "toolkit/UniqueFd.h"
#include "toolkit/UniqueFile.h"

#ifdef _WIN32
#include "toolkit/windows/UniqueHandle.h"
#include "toolkit/windows/UniqueKey.h"
#endif

namespace {

using toolkit::UniqueFd;
using toolkit::UniqueFile;

// A descriptor of our own on a temporary file (the stream keeps the file alive meanwhile).
struct ScratchFd {
    UniqueFile file{std::tmpfile()};
    int New() const { return file ? ::dup(::fileno(file.get())) : -1; }
};

bool IsOpen(int fd) {
    const int copy = ::dup(fd);
    if (copy < 0) return false;
    ::close(copy);
    return true;
}

} // namespace

TEST(UniqueFd, ClosesOnceOnItsWayOutAndNeverAfterAMoveOrRelease) {
    ScratchFd scratch;
    int fd = scratch.New();
    ASSERT_GE(fd, 0);
    {
        UniqueFd owner(fd);
        EXPECT_TRUE(owner.Valid());
    }
    EXPECT_FALSE(IsOpen(fd));

    fd = scratch.New();
    UniqueFd first(fd);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_EQ(second.Get(), fd);
    first = std::move(second);  // back again: still open, held once
    EXPECT_TRUE(IsOpen(fd));
    const int released = first.Release();
    EXPECT_EQ(released, fd);
    first.Reset();
    EXPECT_TRUE(IsOpen(fd)) << "a released descriptor is the caller's";
    ::close(released);

    // Taking another closes the one held.
    const int a = scratch.New();
    const int b = scratch.New();
    UniqueFd owner(a);
    owner.Reset(b);
    EXPECT_FALSE(IsOpen(a));
    EXPECT_TRUE(IsOpen(b));
}

TEST(UniqueFd, CleanUpKeepsErrnoAndCloseReportsAFailure) {
    ScratchFd scratch;
    {
        UniqueFd owner(scratch.New());
        errno = ENOSPC;
    }
    EXPECT_EQ(errno, ENOSPC) << "an error about to be returned survives the clean-up";

    UniqueFd owner(scratch.New());
    EXPECT_EQ(toolkit::CloseFd(owner), 0);
    EXPECT_FALSE(owner.Valid());
    EXPECT_EQ(toolkit::CloseFd(owner), 0) << "nothing held, nothing to fail";

    // A descriptor someone else closed already: the close fails, and says so.
    const int fd = scratch.New();
    ::close(fd);
    UniqueFd stale(fd);
    EXPECT_EQ(toolkit::CloseFd(stale), EBADF);
    EXPECT_FALSE(stale.Valid());
}

TEST(UniqueFile, CloseFileReportsWhatTheStreamCouldNotWrite) {
    UniqueFile none;
    EXPECT_EQ(toolkit::CloseFile(none), 0);

    UniqueFile scratch(std::tmpfile());
    ASSERT_TRUE(scratch);
    EXPECT_EQ(toolkit::CloseFile(scratch), 0);
    EXPECT_FALSE(scratch);

#ifndef _WIN32
    // Buffered bytes that only go out at the close, onto a device that is always full.
    UniqueFile full(std::fopen("/dev/full", "w"));
    if (!full) GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(std::fputs("rows", full.get()), 1);
    EXPECT_EQ(toolkit::CloseFile(full), ENOSPC);
    EXPECT_FALSE(full);

    // Dropped without CloseFile: the error goes unreported, and errno is left as it was.
    full.reset(std::fopen("/dev/full", "w"));
    ASSERT_TRUE(full);
    std::fputs("rows", full.get());
    errno = EACCES;
    full.reset();
    EXPECT_EQ(errno, EACCES);
#endif
}

#ifdef _WIN32

namespace {
bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != 0;
}
} // namespace

TEST(UniqueHandle, BothNoHandleValuesCountAsNone) {
    using toolkit::UniqueHandle;
    EXPECT_FALSE(UniqueHandle().Valid());
    UniqueHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.Valid());
    EXPECT_EQ(invalid.Release(), nullptr) << "a failed call's value is not handed on as a handle";

    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        UniqueHandle first(event);
        UniqueHandle second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_TRUE(IsOpen(event));
        ::SetLastError(ERROR_DISK_FULL);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL)) << "the last error survives the clean-up";
    EXPECT_FALSE(IsOpen(event));
}

TEST(UniqueKey, AMissingKeyOpensAsNone) {
    using toolkit::UniqueKey;
    const wchar_t* path = L"Software\\TorvaneOwnersTest";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path);
    EXPECT_FALSE(toolkit::OpenKey(HKEY_CURRENT_USER, path, KEY_READ).Valid());
    {
        const UniqueKey created = toolkit::CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS);
        ASSERT_TRUE(created.Valid());
    }
    UniqueKey opened = toolkit::OpenKey(HKEY_CURRENT_USER, path, KEY_READ);
    EXPECT_TRUE(opened.Valid());
    UniqueKey moved(std::move(opened));
    EXPECT_FALSE(opened.Valid());
    EXPECT_TRUE(moved.Valid());
    moved.Reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

#endif
