#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial/VaObjects.h"

TEST(WaitEvent, TimedWaitAnswersAtOnceAndStaysSetUntilReset) {
    TVaWaitEvent event;
    EXPECT_EQ(event.TimedWait(0), TVaWaitResult::TimedOut);
    event.SetSignal();
    // Manual reset: every wait sees it until ResetSignal.
    EXPECT_EQ(event.TimedWait(0), TVaWaitResult::Signaled);
    EXPECT_EQ(event.TimedWait(0), TVaWaitResult::Signaled);
    EXPECT_EQ(event.TimedWait(kVaInfinite), TVaWaitResult::Signaled);
    event.ResetSignal();
    EXPECT_EQ(event.TimedWait(10), TVaWaitResult::TimedOut);
    EXPECT_EQ(event.LastError(), 0u);
}

TEST(WaitEvent, WakesEveryWaiterOnOtherThreads) {
    TVaWaitEvent event;
    std::atomic<int> signaled{0};
    std::thread a([&] { signaled += event.TimedWait(kVaInfinite) == TVaWaitResult::Signaled; });
    std::thread b([&] { signaled += event.TimedWait(60000) == TVaWaitResult::Signaled; });
    event.SetSignal();
    a.join();
    b.join();
    EXPECT_EQ(signaled.load(), 2);
}

TEST(CriticalSection, IsReEntrantAndExcludesOtherThreads) {
    TVaCriticalSection section;
    section.Enter();
    section.Acquire();  // the holder may enter again
    std::atomic<bool> otherGotIn{false};
    TVaWaitEvent otherDone;
    std::thread other([&] {
        section.Enter();
        otherGotIn = true;
        section.Leave();
        otherDone.SetSignal();
    });
    section.Release();
    // Still held once: the other thread must not get in.
    EXPECT_EQ(otherDone.TimedWait(50), TVaWaitResult::TimedOut);
    EXPECT_FALSE(otherGotIn.load());
    section.Leave();
    EXPECT_EQ(otherDone.TimedWait(60000), TVaWaitResult::Signaled);
    other.join();
    EXPECT_TRUE(otherGotIn.load());
}
