#include "Thread.h"

#include <algorithm>
#include <memory>

#include "ErrorReport.h"
#include "Os.h"
#include "SysUtils.h"

namespace toolkit {

// ---- MainThreadQueue --------------------------------------------------------------------------

MainThreadQueue& MainThreadQueue::Instance() {
    static MainThreadQueue queue;
    return queue;
}

bool MainThreadQueue::IsMainThread() {
    // A thread's answer never changes; asked once per thread, not with two system calls each time.
    thread_local const bool isMain = os::IsInitialThread();
    return isMain;
}

MainThreadQueue::~MainThreadQueue() {
    for (PendingCall* call : FCalls) {
        if (call->Fn == nullptr) delete call;  // posted calls that never ran
    }
}

MainThreadQueue::WakeHook MainThreadQueue::SetWakeHook(WakeHook hook) {
    std::lock_guard<std::mutex> lock(FLock);
    WakeHook previous = std::move(FWake);
    FWake = std::move(hook);
    return previous;
}

void MainThreadQueue::Send(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    PendingCall call;
    call.Fn = &fn;
    call.From = std::this_thread::get_id();
    Enqueue(&call);
    {
        std::unique_lock<std::mutex> lock(FLock);
        FDone.wait(lock, [&] { return call.Done; });
    }
    if (call.Error) std::rethrow_exception(call.Error);
}

void MainThreadQueue::Post(std::function<void()> fn) {
    auto call = std::make_unique<PendingCall>();
    call->Posted = std::move(fn);
    Enqueue(call.release());
}

void MainThreadQueue::Enqueue(PendingCall* call) {
    WakeHook wake;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FCalls.push_back(call);
        wake = FWake;
    }
    FArrived.notify_all();
    if (wake) wake();
}

void MainThreadQueue::RunOne(PendingCall* call) {
    if (call->Fn == nullptr) {
        const std::unique_ptr<PendingCall> owned(call);
        try {
            owned->Posted();
        } catch (...) {
            ReportException(nullptr);
        }
        return;
    }
    FServing.push_back(call->From);
    std::exception_ptr error;
    try {
        (*call->Fn)();
    } catch (...) {
        error = std::current_exception();
    }
    FServing.pop_back();
    {
        std::lock_guard<std::mutex> lock(FLock);
        call->Error = std::move(error);  // the caller holds the only reference from here on
        call->Done = true;  // the caller's stack frame may be gone right after this
    }
    FDone.notify_all();
}

bool MainThreadQueue::ServeLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                                  const std::chrono::steady_clock::time_point* deadline) {
    for (;;) {
        if (done && done()) return true;
        if (!FCalls.empty()) {
            PendingCall* call = FCalls.front();
            FCalls.pop_front();
            lock.unlock();
            RunOne(call);
            lock.lock();
            continue;
        }
        if (!done) return true;  // drained
        if (deadline) {
            if (FArrived.wait_until(lock, *deadline) == std::cv_status::timeout) return done();
        } else {
            FArrived.wait(lock);
        }
    }
}

size_t MainThreadQueue::ServeQueuedCalls() {
    // Only the calls queued at entry: a call that keeps re-queuing cannot starve the event loop.
    std::unique_lock<std::mutex> lock(FLock);
    size_t ran = 0;
    for (size_t n = FCalls.size(); n > 0 && !FCalls.empty(); --n) {
        PendingCall* call = FCalls.front();
        FCalls.pop_front();
        lock.unlock();
        RunOne(call);
        ++ran;
        lock.lock();
    }
    return ran;
}

void MainThreadQueue::ServeUntil(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(FLock);
    ServeLocked(lock, done, nullptr);
}

bool MainThreadQueue::ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(FLock);
    return ServeLocked(lock, done, &deadline);
}

void MainThreadQueue::Notify(const std::function<void()>& change) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        change();
    }
    FArrived.notify_all();
}

bool MainThreadQueue::IsServingCallFrom(std::thread::id caller) const {
    return std::find(FServing.begin(), FServing.end(), caller) != FServing.end();
}

// ---- TThread ----------------------------------------------------------------------------------

TThread::TThread(bool CreateSuspended) {
    if (!CreateSuspended) Resume();
}

TThread::~TThread() {
    if (FStarted && !FFinished.load()) Terminate();
    if (FThread.joinable()) {
        try {
            WaitFor();
        } catch (...) {
            // Waiting could never end (see WaitFor); leaving the thread running is the lesser harm.
            FThread.detach();
        }
    }
}

void TThread::Resume() {
    if (FStarted) return;
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
    FThreadId.store(std::this_thread::get_id());
    {
        std::lock_guard<std::mutex> lock(FStateLock);
        FKernelTid = os::CurrentThreadId();
        if (FPriority != tpNormal) ApplyPriorityLocked();
    }
    try {
        Execute();
    } catch (...) {
        std::lock_guard<std::mutex> lock(FStateLock);
        FFatal = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(FStateLock);
        FKernelTid = 0;
    }
    MainThreadQueue::Instance().Notify([this] { FFinished.store(true); });
}

void TThread::Terminate() {
    FTerminated.store(true);
    TerminatedSet();
}

int TThread::WaitFor() {
    if (SynchronizingWithCaller()) throw Exception("Cannot wait for a thread from inside a call it is waiting on");
    // Re-entrant: a call served below may itself wait for this thread.
    std::lock_guard<std::recursive_mutex> joinLock(FJoinLock);
    if (!FThread.joinable()) return FReturnValue.load();
    if (std::this_thread::get_id() == FThread.get_id()) throw Exception("A thread cannot wait for its own end");
    if (MainThreadQueue::IsMainThread()) MainThreadQueue::Instance().ServeUntil([this] { return FFinished.load(); });
    if (FThread.joinable()) FThread.join();
    return FReturnValue.load();
}

void TThread::Join() {
    std::lock_guard<std::recursive_mutex> joinLock(FJoinLock);
    if (!FThread.joinable()) return;
    if (std::this_thread::get_id() == FThread.get_id()) throw Exception("A thread cannot wait for its own end");
    FThread.join();
}

TThreadPriority TThread::Priority() const {
    std::lock_guard<std::mutex> lock(FStateLock);
    return FPriority;
}

void TThread::SetPriority(TThreadPriority Value) {
    std::lock_guard<std::mutex> lock(FStateLock);
    if (FPriority == Value) return;
    FPriority = Value;
    if (FKernelTid != 0) ApplyPriorityLocked();
}

void TThread::ApplyPriorityLocked() { os::ApplyThreadPriority(FKernelTid, FPriority); }

bool TThread::SynchronizingWithCaller() const {
    return MainThreadQueue::IsMainThread() && FThreadId.load() != std::thread::id() &&
           MainThreadQueue::Instance().IsServingCallFrom(FThreadId.load());
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard<std::mutex> lock(FStateLock);
    return FFatal;
}

void TThread::Synchronize(TThread* AThread, const std::function<void()>& fn) {
    (void)AThread;
    MainThreadQueue::Instance().Send(fn);
}

void TThread::RunReporting(bool onMainThread, const std::function<void()>& fn) {
    auto reporting = [this, &fn] {
        try {
            fn();
        } catch (...) {
            ReportException(this);
        }
    };
    if (onMainThread) {
        Synchronize(reporting);
    } else {
        reporting();
    }
}

} // namespace toolkit
