// A unit pulled out while its port is open: the port leaves the system's port list and its
// calls fail with whatever code the driver picks. On the scripted device with a port list the
// test changes: an error on a port no longer listed is a hang-up (one notice, no error, Close
// works); an error on a port still listed is the error it always was.
#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "ReportRecorder.h"
#include "Wait.h"
#include "serial/VaComm.h"
#include "FakeDevice.h"

using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testsupport::WaitUntil;
using testsupport::ReportRecorder;

namespace {

// The system's port list as the test sets it: "COM7" is listed until Drop (asked with the
// device path: on Windows in the device namespace).
class ScriptedPortList {
public:
    ScriptedPortList() {
        FPrevious = serialdev::SetPortListedCheck([this](const std::string& path) {
            std::lock_guard<std::mutex> lock(FLock);
            ++FQueries;
            return !FDropped && (path == "COM7" || path == "\\\\.\\COM7");
        });
    }
    ~ScriptedPortList() { serialdev::SetPortListedCheck(std::move(FPrevious)); }
    ScriptedPortList(const ScriptedPortList&) = delete;
    ScriptedPortList& operator=(const ScriptedPortList&) = delete;
    void Drop() {
        std::lock_guard<std::mutex> lock(FLock);
        FDropped = true;
    }
    int Queries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FQueries;
    }

private:
    mutable std::mutex FLock;
    bool FDropped = false;
    int FQueries = 0;
    serialdev::PortListedCheck FPrevious;
};

// Both threads, as a caller of the component with a writer thread would have them.
struct UnitOnCom7 {
    UnitOnCom7() : scope(line) {
        c.SetDeviceName("COM7");
        c.SetMonitorEvents({ceRxChar, ceError});
        c.SetDirectWrite(false);
        c.OnHangup = [this](toolkit::TObject*) { ++hangups; };
        c.OnError = [this](toolkit::TObject*, int32_t) { ++errors; };
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
    int hangups = 0;
    int errors = 0;
    std::string received;
};

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

INSTANTIATE_TEST_SUITE_P(UsbDrivers, Removal, testing::Values(5, 22, 31, 995), CodeName);

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
