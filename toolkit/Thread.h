#pragma once
// Background threads that hand work to the main thread.
//
// The main thread is the process's initial thread: it runs the window and every event handler.
// A worker calls Synchronize(fn) to have fn run there; the worker blocks until it has run. A
// worker that must not wait posts the call instead (MainThreadQueue::Post). The
// main thread runs such calls from its event loop (a wake hook tells the loop that calls are
// waiting) and while it waits for a thread to end, so a thread that is handing over a call can
// always be stopped from the main thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "toolkit/Classes.h"
#include "toolkit/Os.h"
#include "toolkit/ThreadPriority.h"

namespace toolkit {

// The main thread's queue of synchronised calls.
class MainThreadQueue {
public:
    using WakeHook = std::function<void()>;

    static MainThreadQueue& Instance();
    static bool IsMainThread();

    MainThreadQueue() = default;
    ~MainThreadQueue();
    MainThreadQueue(const MainThreadQueue&) = delete;
    MainThreadQueue& operator=(const MainThreadQueue&) = delete;

    // Installs the hook that wakes the main thread's event loop when a call is queued, and returns
    // the previous one. The hook is called on the queuing thread, without the queue's lock held.
    WakeHook SetWakeHook(WakeHook hook);

    // Runs fn on the main thread and returns when it has run there; what fn throws is rethrown
    // here. On the main thread fn runs at once.
    void Send(const std::function<void()>& fn);
    // Queues fn for the main thread and returns at once, from any thread (the main thread's own
    // posts run at its next serve). It runs in order with the calls queued around it; what it
    // throws goes to the central error report without a sender.
    void Post(std::function<void()> fn);

    // Main thread: runs the calls queued so far; returns how many ran.
    size_t ServeQueuedCalls();
    // Main thread: runs queued calls as they arrive until done() holds. done() is evaluated under
    // the queue's lock, so state it reads from other threads must be changed through Notify().
    void ServeUntil(const std::function<bool()>& done);
    // The same, giving up after timeout; returns the last value of done().
    bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Runs change under the queue's lock and wakes ServeUntil to look at its condition again.
    void Notify(const std::function<void()>& change);

    // Main thread: true while a call that the given thread is blocked on is running (the caller
    // is somewhere inside it).
    bool IsServingCallFrom(std::thread::id caller) const;

private:
    struct PendingCall {
        const std::function<void()>* Fn = nullptr;
        std::function<void()> Posted;  // owned, for a call nobody waits for
        std::thread::id From;          // the blocked caller; none for a posted call
        bool Done = false;
        std::exception_ptr Error;
    };

    void Enqueue(PendingCall* call);
    void RunOne(PendingCall* call);  // lock not held; frees a posted call
    bool ServeLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                     const std::chrono::steady_clock::time_point* deadline);

    mutable std::mutex FLock;
    std::condition_variable FArrived;  // a call was queued, or Notify changed something
    std::condition_variable FDone;     // a call has run
    std::deque<PendingCall*> FCalls;
    WakeHook FWake;
    std::vector<std::thread::id> FServing;  // main thread only: callers of the calls now running
};

// A background thread, created suspended. Derived classes override Execute and must stop and
// await the thread (Terminate and WaitFor, or their own stop) in their own destructor, before
// the members Execute uses go away; the base destructor only catches a thread left running.
class TThread : public TObject {
public:
    explicit TThread(bool CreateSuspended = true);
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    std::string ClassName() const override { return "TThread"; }

    // Starts a suspended thread; does nothing once it has started.
    void Resume();
    void Start() { Resume(); }

    // Sets the terminated flag, which Execute checks, then TerminatedSet.
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted; }
    bool Finished() const { return FFinished.load(); }

    // Waits until Execute has returned and gives its ReturnValue. On the main thread, queued
    // synchronised calls are served while waiting. Raises when the wait could never end: on the
    // thread itself, or from inside a synchronised call that this thread is blocked on.
    // The object must outlive the wait: a call served meanwhile may wait for the same thread
    // (re-entrant), but must not free it; an owner whose calls may let go of the thread keeps it
    // in a shared_ptr and holds a reference of its own across the wait.
    int WaitFor();
    // Waits until Execute has returned without serving the main thread's calls: only for a thread
    // that never waits for the main thread, which can so be awaited from inside its own posts.
    void Join();

    // Priority: applied at once to a running thread, otherwise when it starts. Where the system
    // refuses it (no privilege), the thread simply keeps its scheduling.
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority Value);

    // True while the calling (main) thread is running a call this thread handed over and is
    // still inside it. For a thread blocked in Synchronize on that call, WaitFor from here would
    // never return.
    virtual bool SynchronizingWithCaller() const;

    // An exception that escaped Execute; it ended the thread.
    std::exception_ptr FatalException() const;
    int ReturnValue() const { return FReturnValue.load(); }

    // Runs fn on the main thread on behalf of AThread (which may be null) and waits for it.
    static void Synchronize(TThread* AThread, const std::function<void()>& fn);

protected:
    virtual void Execute() = 0;
    // Called by Terminate after the flag is set, on the terminating thread: wake a waiting body.
    virtual void TerminatedSet() {}
    void Synchronize(const std::function<void()>& fn) { Synchronize(this, fn); }
    // Runs handler code on the main thread (when onMainThread) or here, and passes what it throws
    // to the central report with this thread as Sender: a failing handler never ends the thread.
    void RunReporting(bool onMainThread, const std::function<void()>& fn);
    void SetReturnValue(int Value) { FReturnValue.store(Value); }

private:
    void Run();
    void ApplyPriorityLocked();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<int> FReturnValue{0};
    std::atomic<std::thread::id> FThreadId{};
    bool FStarted = false;  // owner's thread only
    std::recursive_mutex FJoinLock;
    mutable std::mutex FStateLock;  // priority, kernel thread id, fatal exception
    TThreadPriority FPriority = tpNormal;
    os::ThreadId FKernelTid = 0;
    std::exception_ptr FFatal;
};

} // namespace toolkit
