#include "toolkit/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>

#include "Wait.h"
#include "toolkit/SysUtils.h"

using namespace std::chrono_literals;
using toolkit::MainThreadQueue;
using toolkit::TThread;

namespace {

// Runs a function as its body.
class LambdaThread : public TThread {
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> body) : FBody(std::move(body)) {}
    ~LambdaThread() override {
        Terminate();
        if (Started()) WaitFor();
    }
    using TThread::SetReturnValue;
    using TThread::Synchronize;

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(LambdaThread&)> FBody;
};

// Sleeps on a condition until terminated; TerminatedSet is its wake-up.
class WaitingThread : public TThread {
public:
    ~WaitingThread() override {
        Terminate();
        if (Started()) WaitFor();
    }

protected:
    void Execute() override {
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait(lock, [this] { return Terminated(); });
        SetReturnValue(42);
    }
    void TerminatedSet() override {
        { std::lock_guard<std::mutex> lock(FLock); }
        FWake.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FWake;
};

TEST(Thread, IsCreatedSuspendedAndRunsOnceResumed) {
    std::atomic<int> runs{0};
    LambdaThread thread([&](LambdaThread&) { ++runs; });
    EXPECT_FALSE(thread.Started());
    EXPECT_EQ(runs.load(), 0);
    thread.Resume();
    thread.Resume();  // a second resume starts nothing more
    thread.WaitFor();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, SynchronizeRunsOnTheMainThreadAndBlocksUntilDone) {
    ASSERT_TRUE(MainThreadQueue::IsMainThread());
    const auto mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    bool sawResultAfterReturn = false;
    int value = 0;  // touched by both threads, ordered by the handover alone
    LambdaThread thread([&](LambdaThread& self) {
        self.Synchronize([&] {
            ranOn = std::this_thread::get_id();
            value = 7;
        });
        sawResultAfterReturn = (value == 7);
    });
    thread.Resume();
    EXPECT_TRUE(MainThreadQueue::Instance().ServeUntil([&] { return thread.Finished(); }, 10s) ||
                thread.Finished());
    thread.WaitFor();
    EXPECT_EQ(ranOn, mainId);
    EXPECT_TRUE(sawResultAfterReturn);
}

TEST(Thread, ExceptionFromSynchronizedCallIsRethrownInCaller) {
    std::string caught;
    LambdaThread thread([&](LambdaThread& self) {
        try {
            self.Synchronize([] { throw toolkit::Exception("handler failed"); });
        } catch (const toolkit::Exception& e) {
            caught = e.Message();
        }
    });
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(caught, "handler failed");
    // On the main thread itself the call runs directly, exception and all.
    EXPECT_THROW(TThread::Synchronize(nullptr, [] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(Thread, WaitForOnMainThreadServesCallsQueuedWhileWaiting) {
    int served = 0;
    LambdaThread thread([&](LambdaThread& self) {
        for (int i = 0; i < 3; ++i) self.Synchronize([&] { ++served; });
        self.SetReturnValue(5);
    });
    thread.Resume();
    EXPECT_EQ(thread.WaitFor(), 5);  // would never return if the queued calls were not served
    EXPECT_EQ(served, 3);
    EXPECT_EQ(thread.WaitFor(), 5);  // a second wait returns at once
}

TEST(Thread, TerminateWakesTheBodyAndWaitForGivesTheReturnValue) {
    WaitingThread thread;
    thread.SetPriority(tpLower);  // before start: applied when it runs
    thread.Resume();
    thread.SetPriority(tpHighest);  // a refusal without privilege is not an error
    EXPECT_EQ(thread.Priority(), tpHighest);
    EXPECT_FALSE(thread.Terminated());
    thread.Terminate();
    EXPECT_TRUE(thread.Terminated());
    EXPECT_EQ(thread.WaitFor(), 42);
}

TEST(Thread, WaitingFromInsideTheThreadsOwnCallRaisesInsteadOfHanging) {
    LambdaThread* self = nullptr;
    bool sawOwnCall = false;
    bool raised = false;
    LambdaThread thread([&](LambdaThread& t) {
        t.Synchronize([&] {
            sawOwnCall = self->SynchronizingWithCaller();
            try {
                self->WaitFor();
            } catch (const toolkit::Exception&) {
                raised = true;
            }
        });
    });
    self = &thread;
    EXPECT_FALSE(thread.SynchronizingWithCaller());
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(sawOwnCall);
    EXPECT_TRUE(raised);
}

// A call served while the main thread waits for a thread waits for that same thread again:
// the inner wait ends the thread, and the outer one then finds it ended (the object is still
// there: nothing freed it in between).
TEST(Thread, AWaitServedInsideAnotherWaitForTheSameThreadEndsBoth) {
    LambdaThread* self = nullptr;
    testsupport::Flag callStarted;
    int inner = -1;
    LambdaThread thread([&](LambdaThread& t) {
        MainThreadQueue::Instance().Post([&] {
            callStarted.Set();
            inner = self->WaitFor();
        });
        ASSERT_TRUE(callStarted.Wait());  // the thread cannot end before the call has begun
        t.SetReturnValue(42);
    });
    self = &thread;
    thread.Resume();
    EXPECT_EQ(thread.WaitFor(), 42);
    EXPECT_EQ(inner, 42);
    EXPECT_TRUE(thread.Finished());
}

TEST(MainThreadQueue, WakeHookIsCalledForEachQueuedCallAndServeRunsThem) {
    std::atomic<int> wakes{0};
    auto previous = MainThreadQueue::Instance().SetWakeHook([&] { ++wakes; });
    int served = 0;
    LambdaThread thread([&](LambdaThread& t) {
        t.Synchronize([&] { ++served; });
        t.Synchronize([&] { ++served; });
    });
    thread.Resume();
    EXPECT_TRUE(MainThreadQueue::Instance().ServeUntil([&] { return served == 2; }, 10s));
    thread.WaitFor();
    MainThreadQueue::Instance().SetWakeHook(std::move(previous));
    EXPECT_EQ(wakes.load(), 2);
    EXPECT_EQ(MainThreadQueue::Instance().ServeQueuedCalls(), 0u);
}

} // namespace
