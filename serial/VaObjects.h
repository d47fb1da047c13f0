#pragma once
// Synchronisation objects of the serial component: a manual-reset event with a timed wait and
// a re-entrant critical section.
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "toolkit/Classes.h"

enum class TVaWaitResult : uint8_t { Signaled = 0, TimedOut = 1, Abandoned = 2, Failed = 3 };

inline constexpr uint32_t kVaInfinite = 0xFFFFFFFF;

// Owner of one waitable object; keeps the error number of a failed wait.
class TVaHandleObject : public toolkit::TObject {
public:
    TVaHandleObject() = default;
    TVaHandleObject(const TVaHandleObject&) = delete;
    TVaHandleObject& operator=(const TVaHandleObject&) = delete;
    std::string ClassName() const override { return "TVaHandleObject"; }
    uint32_t LastError() const { return FLastError; }

protected:
    uint32_t FLastError = 0;
};

// A waitable event. The wait answers Signaled while the event is set; kVaInfinite waits
// without limit.
class TVaEvent : public TVaHandleObject {
public:
    std::string ClassName() const override { return "TVaEvent"; }
    TVaWaitResult TimedWait(uint32_t Milliseconds);

protected:
    std::mutex FMutex;
    std::condition_variable FCondition;
    bool FSignaled = false;
};

// Manual-reset event, created clear: it stays set, for every waiter, until ResetSignal.
class TVaWaitEvent : public TVaEvent {
public:
    std::string ClassName() const override { return "TVaWaitEvent"; }
    void SetSignal();
    void ResetSignal();
};

class TVaCriticalSection : public toolkit::TObject {
public:
    TVaCriticalSection() = default;
    TVaCriticalSection(const TVaCriticalSection&) = delete;
    TVaCriticalSection& operator=(const TVaCriticalSection&) = delete;
    std::string ClassName() const override { return "TVaCriticalSection"; }

    void Acquire() { FSection.lock(); }
    void Release() { FSection.unlock(); }
    void Enter() { Acquire(); }
    void Leave() { Release(); }
    // Lockable names, so std::lock_guard / std::unique_lock can hold it.
    void lock() { Acquire(); }
    void unlock() { Release(); }

private:
    std::recursive_mutex FSection;
};

// Lets go of a held lock for a scope and takes it again on the way out, exceptions included:
// for waits during which another thread must be able to take it.
template <class Lockable>
class TVaScopedUnlock {
public:
    explicit TVaScopedUnlock(Lockable& lock) : FLock(lock) { FLock.unlock(); }
    ~TVaScopedUnlock() { FLock.lock(); }
    TVaScopedUnlock(const TVaScopedUnlock&) = delete;
    TVaScopedUnlock& operator=(const TVaScopedUnlock&) = delete;

private:
    Lockable& FLock;
};
