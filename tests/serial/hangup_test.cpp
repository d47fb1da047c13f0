// The other side goes away: the component tells the window once, then stays quiet and idle
// until it is closed.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "PtyPair.h"
#include "Wait.h"
#include "serial/VaComm.h"

using namespace std::chrono_literals;
using testsupport::ServeFor;
using testsupport::WaitUntil;

namespace {

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

TEST(Hangup, ReportedOnceThenNoThreadSpinsAndCloseWorks) {
    testsupport::PtyPair pty;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({ceRxChar, ceError});
    c.SetDirectWrite(false);  // the writer thread must not spin on the dead line either
    int hangups = 0;
    std::string received;
    c.OnHangup = [&](toolkit::TObject* Sender) {
        EXPECT_EQ(Sender, &c);
        ++hangups;
    };
    c.OnRxChar = [&](toolkit::TObject*, int32_t Count) {
        std::string part(static_cast<size_t>(Count), '\0');
        part.resize(static_cast<size_t>(c.ReadBuf(part.data(), Count)));
        received += part;
    };
    c.Open();
    pty.Send("hi");
    ASSERT_TRUE(WaitUntil([&] { return received == "hi"; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return hangups == 1; }));
    c.WriteText("lost");  // queued; the writer finds the line gone and waits for Close

    const double before = ProcessCpuSeconds();
    ServeFor(1000ms);
    const double used = ProcessCpuSeconds() - before;
    EXPECT_LT(used, 0.2) << "a thread keeps running after the hang-up";
    EXPECT_EQ(hangups, 1);
    EXPECT_TRUE(c.Active());

    c.Close();
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(hangups, 1);
}

TEST(Hangup, TheWindowMayCloseThePortFromTheNotice) {
    testsupport::PtyPair pty;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({ceRxChar});
    c.SetDirectWrite(true);
    int hangups = 0;
    c.OnHangup = [&](toolkit::TObject*) {
        ++hangups;
        c.Close();
    };
    c.Open();
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return hangups == 1; }));
    EXPECT_FALSE(c.Active());

    // And the search goes on: the next port opens and delivers as usual.
    testsupport::PtyPair next;
    c.SetDeviceName(next.SlavePath());
    int deliveries = 0;
    c.OnRxChar = [&](toolkit::TObject*, int32_t) { ++deliveries; };
    c.Open();
    next.Send("x");
    EXPECT_TRUE(WaitUntil([&] { return deliveries >= 1; }));
    c.Close();
    EXPECT_EQ(hangups, 1);
}

// The user closes the port just as the unit goes away: Close serves the queued notice, whose
// handler closes the port too. One OnClose, one thread end, and the port opens again.
TEST(Hangup, ANoticeServedByCloseMayCloseThePortItself) {
    testsupport::PtyPair pty;
    testsupport::HandOverSignal handedOver;
    TVaComm c;
    c.SetDeviceName(pty.SlavePath());
    c.SetMonitorEvents({ceRxChar});
    c.SetDirectWrite(true);
    int hangups = 0;
    int closes = 0;
    c.OnClose = [&](toolkit::TObject*) { ++closes; };
    c.OnHangup = [&](toolkit::TObject*) {
        ++hangups;
        c.Close();
    };
    c.Open();
    pty.CloseMaster();
    ASSERT_TRUE(handedOver.Wait());
    c.Close();
    EXPECT_EQ(hangups, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(c.Active());

    testsupport::PtyPair next;
    c.SetDeviceName(next.SlavePath());
    c.Open();
    EXPECT_TRUE(c.Active());
    c.Close();
    EXPECT_EQ(closes, 2);
}
