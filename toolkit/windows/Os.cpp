#include "toolkit/Os.h"

#include <windows.h>

#include "toolkit/DateTime.h"
#include "toolkit/windows/UniqueHandle.h"

namespace toolkit {

namespace {
// Windows has no call that names a process's first thread: static initialisation runs on it,
// before any other thread of ours exists.
const DWORD kInitialThreadId = ::GetCurrentThreadId();

int WindowsPriority(TThreadPriority p) {
    switch (p) {
    case tpIdle: return THREAD_PRIORITY_IDLE;
    case tpLowest: return THREAD_PRIORITY_LOWEST;
    case tpLower: return THREAD_PRIORITY_BELOW_NORMAL;
    case tpNormal: return THREAD_PRIORITY_NORMAL;
    case tpHigher: return THREAD_PRIORITY_ABOVE_NORMAL;
    case tpHighest: return THREAD_PRIORITY_HIGHEST;
    case tpTimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}
} // namespace

os::ThreadId os::CurrentThreadId() { return ::GetCurrentThreadId(); }

bool os::IsInitialThread() { return ::GetCurrentThreadId() == kInitialThreadId; }

void os::ApplyThreadPriority(ThreadId thread, TThreadPriority priority) {
    const UniqueHandle handle(::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(thread)));
    if (!handle.Valid()) return;
    (void)::SetThreadPriority(handle.Get(), WindowsPriority(priority));
}

void os::NameCurrentThread(const char*) {
    // Thread names serve top -H and the benchmark on Linux; nothing reads them here.
}

os::LocalClock os::LocalClockNow() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string os::SystemErrorMessage(int error) {
    // The system's own language (identifier 0), inserts left as they are, at most 256 characters.
    char buffer[256] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          static_cast<DWORD>(error), 0, buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
}

std::string LocaleTimeSeparator() {
    // The user's time format is like "HH:mm:ss" or "H.mm.ss"; the separator follows the hours.
    wchar_t format[80] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, format, 80) > 0) {
        const wchar_t* p = format;
        while (*p != L'\0' && *p != L'H' && *p != L'h') ++p;
        while (*p == L'H' || *p == L'h') ++p;
        std::string separator;
        for (; *p != L'\0' && *p != L'm' && *p != L'\''; ++p) {
            if (*p > 0x7F) return ":";  // a separator outside ASCII is rare enough not to carry
            separator += static_cast<char>(*p);
        }
        if (!separator.empty()) return separator;
    }
    return ":";
}

} // namespace toolkit
