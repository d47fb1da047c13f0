// A unit pulled out while its port is open: the port leaves the system's port list and its
// calls fail with whatever code the driver picks. On the scripted device with a port list the
// test changes: an error on a port no longer listed is a hang-up (one notice, no error, Close
// works); an error on a port still listed is the error it always was, and the event thread
// watches the list until the port leaves it or the failures have gone on long enough.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "ReportRecorder.h"
#include "ScriptedPortList.h"
#include "Wait.h"
#include "serial/VaComm.h"
#include "FakeDevice.h"
#include "serial/VaFailureWatch.h"

using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testsupport::WaitUntil;
using testsupport::ReportRecorder;
using testsupport::ScriptedPortList;

namespace {

// Both threads, as a caller of the component with a writer thread would have them.
struct UnitOnCom7 {
    UnitOnCom7() : scope(line) {
        c.SetDeviceName("COM7");
        c.SetMonitorEvents({ceRxChar, ceError});
        c.SetDirectWrite(false);
        c.OnHangup = [this](toolkit::TObject*) { ++hangups; };
        c.OnError = [this](toolkit::TObject*, int32_t) { ++errors; };
        c.OnPortFailure = [this](toolkit::TObject*, int32_t error) {
            ++failures;
            failureError = error;
        };
        c.OnRxChar = [this](toolkit::TObject*, int32_t Count) {
            std::string part(static_cast<size_t>(Count), '\0');
            part.resize(static_cast<size_t>(c.ReadBuf(part.data(), Count)));
            received += part;
        };
    }
    void FailWith(int code) {
        FakeLine::Failures failures;
        failures.Read = code;
        failures.Write = code;
        failures.QueryStatus = code;
        failures.Purge = code;
        line->SetFailures(failures);
    }

    ScriptedPortList ports;
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    FakeOpenerScope scope;
    TVaComm c;
    // Hang-up or failure, whichever the component told.
    bool Told() const { return hangups + failures > 0; }

    int hangups = 0;
    int errors = 0;
    int failures = 0;
    int failureError = 0;
    std::string received;
};

// Long enough for the component's whole watch of a failing port, on a loaded machine.
constexpr std::chrono::milliseconds kWatchPatience{60000};

// The codes USB serial drivers answer once the adapter has gone: access denied, bad command,
// general failure, operation aborted.
class Removal : public testing::TestWithParam<int> {};

std::string CodeName(const testing::TestParamInfo<int>& info) { return "Code" + std::to_string(info.param); }

} // namespace

TEST_P(Removal, AnErrorOnAPortNoLongerListedIsAHangUp) {
    ReportRecorder reports;
    UnitOnCom7 u;
    u.c.Open();
    u.line->Feed("ab");
    ASSERT_TRUE(WaitUntil([&] { return u.received == "ab"; }));
    EXPECT_EQ(u.ports.Queries(), 1);  // once at open; not while all goes well

    u.ports.Drop();
    u.FailWith(GetParam());
    u.line->Feed("c");  // the event thread's read fails
    ASSERT_TRUE(WaitUntil([&] { return u.hangups == 1; }));
    EXPECT_TRUE(u.c.Device()->HungUp());
    EXPECT_TRUE(u.c.Active());  // the caller closes it, as for any hang-up
    EXPECT_TRUE(u.c.WriteText("lost"));  // queued; the writer waits for Close
    u.c.Close();
    EXPECT_FALSE(u.c.Active());
    EXPECT_EQ(u.hangups, 1);
    EXPECT_EQ(u.errors, 0);
    EXPECT_EQ(reports.Count(), 0u);
}

// The window's Start button purges: on a gone unit that is no error either, and the notice
// comes from the event thread as for a failed read.
TEST_P(Removal, APurgeOrReadOnTheMainThreadFindsTheUnitGoneWithoutRaising) {
    ReportRecorder reports;
    UnitOnCom7 u;
    u.c.Open();
    u.ports.Drop();
    u.FailWith(GetParam());
    EXPECT_NO_THROW(u.c.PurgeReadWrite());
    uint8_t byte = 0;
    EXPECT_FALSE(u.c.ReadChar(byte));
    ASSERT_TRUE(WaitUntil([&] { return u.hangups == 1; }));
    u.c.Close();
    EXPECT_EQ(u.hangups, 1);
    EXPECT_EQ(reports.Count(), 0u);
}

// Still listed: the same codes are the errors they always were, and the line is not taken as gone.
TEST_P(Removal, TheSameErrorOnAPortStillListedRaisesAsBefore) {
    UnitOnCom7 u;
    u.c.Open();
    u.FailWith(GetParam());
    uint8_t byte = 0;
    try {
        u.c.ReadChar(byte);
        ADD_FAILURE() << "a failed read on a listed port raised nothing";
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.Message().rfind("Read error (" + std::to_string(GetParam()) + ")", 0), 0u) << e.Message();
    }
    EXPECT_THROW(u.c.PurgeReadWrite(), EVaCommError);
    EXPECT_FALSE(u.c.Device()->HungUp());
    u.line->SetFailures({});
    u.c.Close();
    EXPECT_EQ(u.hangups, 0);
}

// The driver fails the port's calls before the system takes the port out of its list (its
// choice of order): the component reads the list again, and the port leaving it is the hang-up.
TEST_P(Removal, AnErrorWhileThePortIsStillListedIsAHangUpOnceItLeavesTheList) {
    ReportRecorder reports;
    UnitOnCom7 u;
    u.c.Open();
    u.FailWith(GetParam());
    // Listed when the read fails and at the component's first look after it; gone from then on.
    u.ports.DropAfter(3);
    u.line->Feed("c");  // the event thread's read fails, the port still listed
    ASSERT_TRUE(WaitUntil([&] { return u.Told(); }, kWatchPatience)) << "the capture stays parked";
    EXPECT_EQ(u.hangups, 1);
    EXPECT_EQ(u.failures, 0);
    EXPECT_TRUE(u.c.Device()->HungUp());
    u.c.Close();
    EXPECT_FALSE(u.c.Active());
    EXPECT_EQ(u.hangups, 1);
    EXPECT_EQ(reports.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(UsbDrivers, Removal, testing::Values(5, 22, 31, 995), CodeName);

// The port stays listed and its event wait keeps failing: told once as a failure with the
// system's error, after the list was read again several times; nothing else is delivered, and
// Close works.
TEST(PortFailure, AWaitThatKeepsFailingWhileListedIsToldOnceAsAFailure) {
    ReportRecorder reports;
    UnitOnCom7 u;
    u.c.Open();
    u.line->Feed("ab");
    ASSERT_TRUE(WaitUntil([&] { return u.received == "ab"; }));
    const int listReads = u.ports.Queries();
    FakeLine::Failures failures;
    failures.Wait = 31;
    u.line->SetFailures(failures);
    ASSERT_TRUE(WaitUntil([&] { return u.Told(); }, kWatchPatience)) << "the capture stays parked";
    EXPECT_EQ(u.failures, 1);
    EXPECT_EQ(u.failureError, 31);
    EXPECT_EQ(u.hangups, 0);
    EXPECT_GE(u.ports.Queries() - listReads, TVaFailureWatch::kLooks);
    EXPECT_FALSE(u.c.Device()->HungUp());
    u.c.Close();
    EXPECT_FALSE(u.c.Active());
    EXPECT_EQ(u.failures, 1);
    EXPECT_EQ(u.received, "ab");
    EXPECT_EQ(reports.Count(), 0u);
}

// A read that fails once and then works again is not the end of the port: the bytes arrive.
TEST(PortFailure, AFailureThatPassesLeavesThePortWorking) {
    ReportRecorder reports;
    UnitOnCom7 u;
    u.c.Open();
    FakeLine::Failures failures;
    failures.Read = 5;
    u.line->SetFailures(failures);
    const int listReads = u.ports.Queries();
    u.line->Feed("cd");
    ASSERT_TRUE(WaitUntil([&] { return u.ports.Queries() > listReads; }));  // the read failed
    u.line->SetFailures({});
    ASSERT_TRUE(WaitUntil([&] { return u.received == "cd"; }, kWatchPatience));
    u.line->Feed("e");
    ASSERT_TRUE(WaitUntil([&] { return u.received == "cde"; }));
    EXPECT_FALSE(u.Told());
    u.c.Close();
    EXPECT_EQ(reports.Count(), 0u);
}

// When the port's calls have failed for long enough: a failure that passes, or one that comes
// back after the port worked for a while, starts over.
TEST(FailureWatch, FailuresGoOnThroughEveryLookUnlessACallWorksMeanwhile) {
    using Clock = TVaFailureWatch::Clock;
    const Clock::time_point t0{};
    TVaFailureWatch watch;
    EXPECT_FALSE(watch.Watching());
    watch.Failed(5, t0);
    ASSERT_TRUE(watch.Watching());
    Clock::time_point now = t0;
    for (int look = 1; look < TVaFailureWatch::kLooks; ++look) {
        now += TVaFailureWatch::kInterval;
        EXPECT_FALSE(watch.Looked(now)) << look;
        watch.Failed(22, now);  // the retry failed at once
    }
    EXPECT_EQ(watch.Error(), 22);
    EXPECT_TRUE(watch.Looked(now + TVaFailureWatch::kInterval));

    TVaFailureWatch passing;
    passing.Failed(5, t0);
    EXPECT_FALSE(passing.Looked(t0 + TVaFailureWatch::kInterval));
    passing.Worked();
    EXPECT_FALSE(passing.Watching());
    passing.Failed(5, t0 + 2 * TVaFailureWatch::kInterval);
    for (int look = 1; look < TVaFailureWatch::kLooks; ++look) EXPECT_FALSE(passing.Looked(t0)) << look;

    TVaFailureWatch later;
    later.Failed(5, t0);
    EXPECT_FALSE(later.Looked(t0));
    // The retry waited a whole watch's time before it failed: the port worked meanwhile.
    later.Failed(5, t0 + TVaFailureWatch::kInterval * TVaFailureWatch::kLooks);
    for (int look = 1; look < TVaFailureWatch::kLooks; ++look) EXPECT_FALSE(later.Looked(t0)) << look;
    EXPECT_TRUE(later.Looked(t0));
}

// A port that was never listed (a virtual port named by path) is not taken as gone by the list.
TEST(RemovalUnlisted, APortNotListedAtOpenKeepsItsErrors) {
    ScriptedPortList ports;
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    c.SetDeviceName("/dev/virtual-unit");
    c.SetMonitorEvents({});
    c.SetDirectWrite(true);
    c.Open();
    FakeLine::Failures failures;
    failures.Purge = 5;
    line->SetFailures(failures);
    EXPECT_THROW(c.PurgeReadWrite(), EVaCommError);
    EXPECT_FALSE(c.Device()->HungUp());
    line->SetFailures({});
    c.Close();
}
