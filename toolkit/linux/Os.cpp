#include "toolkit/Os.h"

#include <langinfo.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>

#include "toolkit/DateTime.h"

namespace toolkit {

namespace {
int NiceFor(TThreadPriority p) {
    switch (p) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -20;
    }
    return 0;
}
} // namespace

os::ThreadId os::CurrentThreadId() { return static_cast<ThreadId>(::syscall(SYS_gettid)); }

bool os::IsInitialThread() { return CurrentThreadId() == static_cast<ThreadId>(::getpid()); }

void os::ApplyThreadPriority(ThreadId thread, TThreadPriority priority) {
    const auto tid = static_cast<pid_t>(thread);
    sched_param param{};
    if (priority == tpTimeCritical) {
        param.sched_priority = sched_get_priority_min(SCHED_RR);
        if (::sched_setscheduler(tid, SCHED_RR, &param) == 0) return;
        param.sched_priority = 0;
    }
    if (::sched_getscheduler(tid) != SCHED_OTHER) (void)::sched_setscheduler(tid, SCHED_OTHER, &param);
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(priority));
}

void os::NameCurrentThread(const char* name) { (void)::pthread_setname_np(::pthread_self(), name); }

os::LocalClock os::LocalClockNow() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    // The conversion to local time is made once a second: records come thousands of times a
    // second, and the offset from UTC cannot change within one.
    thread_local std::time_t convertedSecs = -1;
    thread_local std::tm local{};
    if (secs != convertedSecs) {
        localtime_r(&secs, &local);
        convertedSecs = secs;
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
            static_cast<int>(ms % 1000)};
}

std::string os::SystemErrorMessage(int error) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "";
}

std::string LocaleTimeSeparator() {
    // T_FMT is like "%H:%M:%S" or "%H.%M.%S"; the separator is what follows the hour field.
    const char* fmt = nl_langinfo(T_FMT);
    if (fmt != nullptr) {
        for (const char* p = fmt; p[0] != '\0' && p[1] != '\0'; ++p) {
            if (p[0] == '%' && (p[1] == 'H' || p[1] == 'I' || p[1] == 'k' || p[1] == 'l')) {
                const char* sep = p + 2;
                const char* end = sep;
                while (*end != '\0' && *end != '%') ++end;
                if (end != sep) return std::string(sep, end);
                break;
            }
        }
    }
    return ":";
}

} // namespace toolkit
