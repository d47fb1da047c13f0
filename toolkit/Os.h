#pragma once
// The few things the runtime asks of the operating system. Each OS has its own file for them
// (toolkit/linux, toolkit/windows), chosen by the build.
#include <cstdint>
#include <string>

#include "toolkit/ThreadPriority.h"

namespace toolkit::os {

// The system's identifier of the calling thread; never 0.
using ThreadId = uint64_t;
ThreadId CurrentThreadId();
// True on the process's initial thread, the one that runs the window.
bool IsInitialThread();
// Best effort: where the system refuses a priority (no privilege), the thread keeps its own.
void ApplyThreadPriority(ThreadId thread, TThreadPriority priority);

struct LocalClock {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
// The local calendar date and time of day, to the millisecond.
LocalClock LocalClockNow();

// Names the calling thread as tools like top -H and the benchmark see it (at most 15 characters;
// best effort).
void NameCurrentThread(const char* name);

// The system's text for an error number, as the system gives it (untrimmed).
std::string SystemErrorMessage(int error);

} // namespace toolkit::os
