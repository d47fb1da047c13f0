// Open, close, device paths and failures: real pseudo-terminals, the scripted device only for
// failures a pseudo-terminal cannot produce.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include <memory>
#include <vector>

#include "PtyPair.h"
#include "QuietPort.h"
#include "ReportRecorder.h"
#include "TtyInspect.h"
#include "serial/VaComm.h"
#include "FakeDevice.h"
#include "toolkit/ErrorReport.h"

using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testing::HasSubstr;
using testing::StartsWith;

using testsupport::QuietPort;
using testsupport::ReportRecorder;

namespace {

std::string OpenError(TVaCustomComm& c) {
    try {
        c.Open();
    } catch (const EVaCommError& e) {
        return e.Message();
    }
    return "";
}

class Probe : public TVaDisplay {
public:
    using TVaDisplay::TVaDisplay;
    void UpdateDisplay(TVaCustomComm*) override {}
};

} // namespace

TEST(Lifecycle, OpensClosesAndReopensAPseudoTerminal) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    int opened = 0, closed = 0;
    c.OnOpen = [&](toolkit::TObject* sender) {
        EXPECT_EQ(sender, &c);
        ++opened;
    };
    c.OnClose = [&](toolkit::TObject*) { ++closed; };
    c.Open();
    EXPECT_TRUE(c.Active());
    EXPECT_NE(c.Device(), nullptr);
    EXPECT_TRUE(testsupport::ReadTtyState(pty.MasterFd()).Raw);
    c.Close();
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.Device(), nullptr);
    c.Open();  // the lock was released: the port opens again
    EXPECT_TRUE(c.Active());
    c.Close();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(closed, 2);
    c.Close();  // closed already: nothing, no OnClose
    EXPECT_EQ(closed, 2);
}

// Handle is the open descriptor itself: a caller's own calls reach the line through it.
TEST(Lifecycle, HandleIsTheDescriptorExactlyWhileOpen) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    EXPECT_EQ(c.Handle(), -1);
    c.Open();
    const int fd = c.Handle();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(isatty(fd));
    EXPECT_EQ(std::string(ttyname(fd)), pty.SlavePath());
    EXPECT_TRUE(testsupport::ReadTtyState(fd).Raw);  // the component's line settings
    c.Close();
    EXPECT_EQ(c.Handle(), -1);
    errno = 0;
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // closed with the port
    EXPECT_EQ(errno, EBADF);
    c.Open();  // and again
    EXPECT_GE(c.Handle(), 0);
    c.Close();
}

TEST(Lifecycle, HandleOfTheScriptedDeviceAndOfAFailedOpen) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    line->SetNativeHandle(77);
    TVaComm c;
    c.SetDeviceName("fake");
    c.SetDirectWrite(false);  // both threads run: they never touch the handle
    c.SetMonitorEvents({ceRxChar});
    EXPECT_EQ(c.Handle(), -1);
    c.Open();
    EXPECT_EQ(c.Handle(), 77);
    c.Close();
    EXPECT_EQ(c.Handle(), -1);

    FakeLine::Failures failures;
    failures.SetTimeouts = EIO;  // the device opened, then a step failed: closed again
    line->SetFailures(failures);
    EXPECT_NE(OpenError(c), "");
    EXPECT_FALSE(c.Active());
    EXPECT_EQ(c.Handle(), -1);
}

TEST(Lifecycle, OpenFailuresNameTheDevice) {
    TVaComm c;
    QuietPort(c, "/dev/torvane-no-such-port");
    EXPECT_EQ(OpenError(c), "Specified device not found (/dev/torvane-no-such-port).");
    EXPECT_FALSE(c.Active());

    // The second open of a port in use is kept out by the lock.
    testsupport::PtyPair pty;
    TVaComm first;
    QuietPort(first, pty.SlavePath());
    first.Open();
    TVaComm second;
    QuietPort(second, pty.SlavePath());
    EXPECT_EQ(OpenError(second), "Can't open specified device " + pty.SlavePath() +
                                     " (Error 16, Device or resource busy)");
    EXPECT_FALSE(second.Active());
    EXPECT_TRUE(first.Active());

    TVaComm notATty;
    QuietPort(notATty, "/dev/null");
    EXPECT_EQ(OpenError(notATty), "Can't open specified device /dev/null (Error 25, Inappropriate ioctl for device)");
}

TEST(Lifecycle, APercentSignInThePathIsShownAsItStands) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    FakeLine::Failures failures;
    failures.Open = EACCES;
    line->SetFailures(failures);
    TVaComm c;
    QuietPort(c, "/dev/odd%%s%%d");  // "%%" in the template is a percent sign in the path
    EXPECT_EQ(OpenError(c), "Can't open specified device /dev/odd%s%d (Error 13, Permission denied)");
}

TEST(Lifecycle, SettingsReachThePseudoTerminal) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.SetBaudrate(brUser);
    c.SetUserBaudrate(500000);
    c.SetStopbits(sb2);
    c.SetParity(paMark);
    c.Open();
    testsupport::TtyState s = testsupport::ReadTtyState(pty.MasterFd());
    EXPECT_EQ(s.Rate, 500000u);
    EXPECT_TRUE(s.TwoStopBits);
    EXPECT_TRUE(s.MarkSpace);
    EXPECT_FALSE(s.RtsCts);

    // Changes while open are written at once.
    c.SetParity(paSpace);
    c.SetBaudrate(br115200);
    c.SetStopbits(sb1);
    TVaFlowControl flow;
    flow.SetOutCtsFlow(true);
    flow.SetXonXoffIn(true);
    c.SetFlowControl(flow);
    c.EventChars().SetXonChar(0x01);
    c.EventChars().SetXoffChar(0x02);
    s = testsupport::ReadTtyState(pty.MasterFd());
    EXPECT_EQ(s.Rate, 115200u);
    EXPECT_FALSE(s.TwoStopBits);
    EXPECT_TRUE(s.MarkSpace);
    EXPECT_TRUE(s.RtsCts);
    EXPECT_TRUE(s.XonXoffIn);
    EXPECT_FALSE(s.XonXoffOut);
    EXPECT_EQ(s.StartChar, 0x01);
    EXPECT_EQ(s.StopChar, 0x02);
    EXPECT_TRUE(s.Raw);
}

TEST(Lifecycle, AFormatThePseudoTerminalNarrowsStillOpens) {
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is asked for.
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.SetDatabits(db7);
    c.SetParity(paEven);
    c.Open();
    EXPECT_TRUE(c.Active());
}

struct Refusal {
    const char* Name;
    std::function<void(TVaCustomComm&)> Ask;
    const char* Message;
};

class RefusedFormat : public testing::TestWithParam<Refusal> {};

// What Linux cannot have is refused at Open, and the port stays closed.
TEST_P(RefusedFormat, IsRefusedAtOpen) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    GetParam().Ask(c);
    EXPECT_EQ(OpenError(c), GetParam().Message);
    EXPECT_FALSE(c.Active());
}

INSTANTIATE_TEST_SUITE_P(
    Linux, RefusedFormat,
    testing::Values(
        Refusal{"FourDataBits", [](TVaCustomComm& c) { c.SetDatabits(db4); }, "Error writing dcb (95), Operation not supported"},
        Refusal{"OneAndAHalfStopBitsWithEightDataBits", [](TVaCustomComm& c) { c.SetStopbits(sb15); },
                "Error writing dcb (95), Operation not supported"},
        Refusal{"DtrHandshake", [](TVaCustomComm& c) { c.FlowControl().SetControlDtr(dtrHandshake); },
                "Error writing dcb (95), Operation not supported"},
        // Rate 0 would hang the line up: refused rather than passed on.
        Refusal{"RateZero", [](TVaCustomComm& c) { c.SetBaudrate(brUser); }, "Error writing dcb (22), Invalid argument"}),
    [](const testing::TestParamInfo<Refusal>& param) { return std::string(param.param.Name); });

TEST(Lifecycle, OneAndAHalfStopBitsOpenWithFiveDataBitsAndDsrFlowIsRefusedWhileOpen) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.SetStopbits(sb15);
    c.SetDatabits(db5);
    c.Open();
    EXPECT_TRUE(c.Active());
    EXPECT_THROW(c.FlowControl().SetOutDsrFlow(true), EVaCommError);  // no DSR flow on Linux
    EXPECT_TRUE(c.FlowControl().OutDsrFlow());                           // the value is kept
    EXPECT_TRUE(c.Active());
}

struct StepFailure {
    const char* Name;
    void (*Fail)(FakeLine::Failures&);
    const char* Message;
};

class ApplyFailure : public testing::TestWithParam<StepFailure> {};

TEST_P(ApplyFailure, LeavesThePortClosedWithTheStepsMessage) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    FakeLine::Failures failures;
    GetParam().Fail(failures);
    line->SetFailures(failures);
    TVaComm c;
    c.SetDeviceName("fake");
    c.SetDirectWrite(true);
    bool opened = false;
    c.OnOpen = [&](toolkit::TObject*) { opened = true; };
    EXPECT_EQ(OpenError(c), GetParam().Message);
    EXPECT_FALSE(c.Active());
    EXPECT_FALSE(line->IsOpen());
    EXPECT_FALSE(opened);
    EXPECT_EQ(c.EventThread(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, ApplyFailure,
    testing::Values(
        StepFailure{"Settings", [](FakeLine::Failures& f) { f.ApplySettings = EIO; }, "Error writing dcb (5), Input/output error"},
        StepFailure{"QueueSizes", [](FakeLine::Failures& f) { f.SetQueueSizes = EIO; },
                    "Error initializing buffers (5), Input/output error"},
        StepFailure{"Timeouts", [](FakeLine::Failures& f) { f.SetTimeouts = EIO; },
                    "Error setting timeouts (5), Input/output error"},
        StepFailure{"EventMask", [](FakeLine::Failures& f) { f.SetEventMask = EIO; },
                    " Error setting EventMask (5), Input/output error"}),
    [](const testing::TestParamInfo<StepFailure>& param) { return std::string(param.param.Name); });

TEST(Lifecycle, OnOpenErrorsAreReportedAndThePortStaysOpen) {
    testsupport::PtyPair pty;
    ReportRecorder reports;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.OnOpen = [](toolkit::TObject*) { throw toolkit::Exception("handler failed"); };
    c.Open();
    EXPECT_TRUE(c.Active());
    ASSERT_EQ(reports.Count(), 1u);
    EXPECT_EQ(reports.Entries()[0].Message, "handler failed");
}

TEST(Lifecycle, OnCloseErrorsLeaveCloseWithTheHandleClosed) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.OnClose = [](toolkit::TObject*) { throw toolkit::Exception("close handler failed"); };
    c.Open();
    EXPECT_THROW(c.Close(), toolkit::Exception);
    EXPECT_FALSE(c.Active());
}

TEST(Lifecycle, DestroyingAnOpenComponentClosesWithoutOnClose) {
    testsupport::PtyPair pty;
    bool closed = false;
    {
        auto c = std::make_unique<TVaComm>();
        QuietPort(*c, pty.SlavePath());
        c->OnClose = [&](toolkit::TObject*) { closed = true; };
        c->Open();
    }
    EXPECT_FALSE(closed);
    TVaComm again;  // the port was released
    QuietPort(again, pty.SlavePath());
    again.Open();
    EXPECT_TRUE(again.Active());
}

TEST(Lifecycle, AutoOpenOpensWhenLoaded) {
    testsupport::PtyPair pty;
    TVaComm c;
    QuietPort(c, pty.SlavePath());
    c.Loaded();
    EXPECT_FALSE(c.Active());
    c.SetAutoOpen(true);
    c.Loaded();
    EXPECT_TRUE(c.Active());
}

TEST(Lifecycle, DisplayIsClearedWhenItGoesAway) {
    TVaComm c;
    auto display = std::make_unique<Probe>();
    c.SetDisplay(display.get());
    EXPECT_EQ(c.Display(), display.get());
    display.reset();
    EXPECT_EQ(c.Display(), nullptr);
}

TEST(DevicePath, FormatsOneIntegerAndRefusesBadTemplatesBeforeOpening) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    c.SetPortNum(5);
    EXPECT_EQ(c.DevicePath(), "COM5");
    c.SetDeviceName("/dev/ttyUSB%d");
    c.SetPortNum(12);
    EXPECT_EQ(c.DevicePath(), "/dev/ttyUSB12");
    c.SetDeviceName("/dev/ttyS");
    EXPECT_EQ(c.DevicePath(), "/dev/ttyS");
    c.SetDeviceName("100%%-%03d");
    c.SetPortNum(7);
    EXPECT_EQ(c.DevicePath(), "100%-007");
    c.SetDeviceName("p%x");
    c.SetPortNum(255);
    EXPECT_EQ(c.DevicePath(), "pff");

    c.SetMonitorEvents({});
    c.SetDirectWrite(true);
    for (const char* bad : {"COM%s", "COM%d%d", "COM%n", "COM%", "%p", "%.*d"}) {
        c.SetDeviceName(bad);
        EXPECT_THROW(c.DevicePath(), toolkit::EConvertError) << bad;
        EXPECT_THROW(c.Open(), toolkit::EConvertError) << bad;
        EXPECT_FALSE(c.Active());
    }
    EXPECT_EQ(line->OpenedPath(), "");  // the device was never touched
}

// A device the caller opened itself (on a thread that may wait for the system's open): the port
// runs on it as after Open, and a device the component cannot take is closed, not kept.
TEST(Lifecycle, OpenWithRunsThePortOnADeviceTheCallerOpened) {
    auto line = std::make_shared<FakeLine>();
    TVaComm c;
    c.SetMonitorEvents({ceRxChar});
    int opened = 0;
    c.OnOpen = [&](toolkit::TObject*) { ++opened; };
    c.OpenWith(std::make_unique<serialdev::FakeDevice>(line, "/dev/torvane-fake"));
    EXPECT_TRUE(c.Active());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(line->ApplyCount(), 1) << "the component's settings written";
    EXPECT_NE(line->EventMask(), 0u);
    EXPECT_NE(c.EventThread(), nullptr);

    auto other = std::make_shared<FakeLine>();
    EXPECT_THROW(c.OpenWith(std::make_unique<serialdev::FakeDevice>(other, "/dev/torvane-other")), EVaCommError);
    EXPECT_FALSE(other->IsOpen()) << "refused while open: the device given is closed";
    EXPECT_TRUE(line->IsOpen());
    c.Close();
    EXPECT_FALSE(line->IsOpen());

    EXPECT_THROW(c.OpenWith(nullptr), EVaCommError);
    EXPECT_FALSE(c.Active());

    FakeLine::Failures refusing;
    refusing.ApplySettings = EINVAL;
    line->SetFailures(refusing);
    EXPECT_THROW(c.OpenWith(std::make_unique<serialdev::FakeDevice>(line, "/dev/torvane-fake")), EVaCommError);
    EXPECT_FALSE(c.Active());
    EXPECT_FALSE(line->IsOpen()) << "closed again after the failing step";
}
