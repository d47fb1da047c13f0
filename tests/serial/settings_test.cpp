// Properties, their setter rules and how they reach the device (through the scripted device).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "serial/VaComm.h"
#include "serial/VaUtils.h"
#include "FakeDevice.h"

using serialdev::FakeLine;
using serialdev::FakeOpenerScope;
using testing::HasSubstr;

namespace {

class ChangeCounter {
public:
    explicit ChangeCounter(TVaPersistent& p) {
        p.OnChange = [this](TVaPersistent*) { ++Count; };
    }
    int Count = 0;
};

// A component opened on a fake line, with no threads.
struct OpenFake {
    std::shared_ptr<FakeLine> Line = std::make_shared<FakeLine>();
    FakeOpenerScope Scope{Line};
    TVaComm Comm;
    OpenFake() {
        Comm.SetDeviceName("fake0");
        Comm.SetMonitorEvents({});
        Comm.SetDirectWrite(true);
        Comm.Open();
    }
};

} // namespace

TEST(Settings, DefaultsAreThoseOfANewComponent) {
    TVaComm c;
    EXPECT_FALSE(c.Active());
    EXPECT_FALSE(c.AutoOpen());
    EXPECT_EQ(c.Baudrate(), br1200);
    EXPECT_EQ(c.Parity(), paNone);
    EXPECT_EQ(c.Databits(), db8);
    EXPECT_EQ(c.Stopbits(), sb1);
    EXPECT_TRUE(c.Options().Empty());
    EXPECT_EQ(c.PortNum(), 0);
    EXPECT_EQ(c.DeviceName(), "COM%d");
    EXPECT_EQ(c.MonitorEvents(), (TVaCommEvents{ceError, ceRxChar, ceTxEmpty}));
    EXPECT_EQ(c.EventPriority(), tpNormal);
    EXPECT_EQ(c.WritePriority(), tpHighest);
    EXPECT_FALSE(c.DirectWrite());
    EXPECT_TRUE(c.UpdateDCB());
    EXPECT_EQ(c.UserBaudrate(), 0);
    EXPECT_TRUE(c.SyncEvents());
    EXPECT_EQ(c.Display(), nullptr);
    const TVaBuffers& b = c.Buffers();
    EXPECT_EQ(b.ReadSize(), 4096);
    EXPECT_EQ(b.WriteSize(), 2048);
    EXPECT_EQ(b.ReadTimeout(), 1000);
    EXPECT_EQ(b.WriteTimeout(), 1000);
    EXPECT_EQ(b.XonLimit(), 1024);
    EXPECT_EQ(b.XoffLimit(), 1024);
    const TVaEventChars& e = c.EventChars();
    EXPECT_EQ(e.XonChar(), 0x11);
    EXPECT_EQ(e.XoffChar(), 0x13);
    EXPECT_EQ(e.ErrorChar(), 0);
    EXPECT_EQ(e.EventChar(), 0);
    EXPECT_EQ(e.EofChar(), 0);
    c.SetVersion("9.9");
    EXPECT_EQ(c.Version(), "1.3.8.0");
}

TEST(Settings, RatePairKeepsBaudrateAndUserBaudrateConsistent) {
    TVaComm c;
    c.SetBaudrate(brUser);
    EXPECT_EQ(c.UserBaudrate(), 0);
    c.SetUserBaudrate(500000);
    EXPECT_EQ(c.Baudrate(), brUser);
    c.SetBaudrate(br9600);
    EXPECT_EQ(c.UserBaudrate(), 0);
    c.SetUserBaudrate(0);  // the value it holds: no switch to brUser
    EXPECT_EQ(c.Baudrate(), br9600);
    c.SetUserBaudrate(500000);
    EXPECT_EQ(c.Baudrate(), brUser);
    EXPECT_EQ(VaBaudrateValue(br256000), 256000u);
    EXPECT_EQ(VaBaudrateValue(br110), 110u);
}

TEST(Settings, EventMaskFollowsMonitorEventsAndDirectWrite) {
    TVaComm c;
    c.ApplyEventMask();
    EXPECT_EQ(c.EventMask(), EV_ERR | EV_RXCHAR);  // EV_TXEMPTY left to the writer thread
    c.SetDirectWrite(true);
    c.ApplyEventMask();
    EXPECT_EQ(c.EventMask(), EV_ERR | EV_RXCHAR | EV_TXEMPTY);
    c.SetMonitorEvents({});
    c.ApplyEventMask();
    EXPECT_EQ(c.EventMask(), 0u);
    TVaCommEvents all;
    for (int e = ceBreak; e <= ceEvent2; ++e) all.Include(static_cast<TVaCommEvent>(e));
    c.SetMonitorEvents(all);
    c.ApplyEventMask();
    EXPECT_EQ(c.EventMask(), EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR |
                                 EV_RING | EV_PERR | EV_RX80FULL | EV_EVENT1 | EV_EVENT2);
}

TEST(Settings, SubObjectCopyNotifiesOnceAndRefusesOtherClasses) {
    TVaFlowControl source;
    source.SetOutCtsFlow(true);
    source.SetControlRts(rtsHandshake);
    source.SetXonXoffIn(true);
    TVaFlowControl target;
    ChangeCounter changes(target);
    target.CopyFrom(&source);
    EXPECT_EQ(changes.Count, 1);
    EXPECT_TRUE(target.OutCtsFlow());
    EXPECT_EQ(target.ControlRts(), rtsHandshake);
    EXPECT_TRUE(target.XonXoffIn());
    EXPECT_EQ(target.UpdateCount(), 0);

    TVaBuffers buffers;
    try {
        target.CopyFrom(&buffers);
        FAIL() << "copy from another class was accepted";
    } catch (const toolkit::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TVaBuffers to a TVaFlowControl");
    }
    EXPECT_THROW(target.CopyFrom(nullptr), toolkit::EConvertError);
    EXPECT_EQ(target.UpdateCount(), 0);
}

TEST(Settings, UpdateNestingHoldsBackNotification) {
    TVaEventChars chars;
    ChangeCounter changes(chars);
    chars.SetEventChar(0x0D);
    chars.SetEventChar(0x0D);  // unchanged values notify as well
    EXPECT_EQ(changes.Count, 2);
    chars.BeginUpdate();
    chars.BeginUpdate();
    chars.SetEofChar(0x0D);
    chars.EndUpdate();
    EXPECT_EQ(changes.Count, 2);
    chars.EndUpdate();
    EXPECT_EQ(changes.Count, 3);
    chars.EndUpdate();  // never below zero; still notifies
    EXPECT_EQ(chars.UpdateCount(), 0);
    EXPECT_EQ(changes.Count, 4);

    TVaBuffers buffers;
    ChangeCounter bufferChanges(buffers);
    buffers.SetReadTimeout(5);
    buffers.SetWriteTimeout(5);
    EXPECT_EQ(bufferChanges.Count, 0);
    buffers.SetReadSize(100);
    buffers.SetReadSize(100);
    EXPECT_EQ(bufferChanges.Count, 1);
}

TEST(Settings, ClosedOnlySettersRefuseWhileOpenAndKeepTheOldValue) {
    OpenFake f;
    TVaComm& c = f.Comm;
    const std::string message = "Can't perform this operation while port is open";
    auto expectRefused = [&](const std::function<void()>& change) {
        try {
            change();
            ADD_FAILURE() << "change accepted while open";
        } catch (const EVaCommError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    };
    expectRefused([&] { c.SetPortNum(7); });
    expectRefused([&] { c.SetDeviceName("other"); });
    expectRefused([&] { c.SetMonitorEvents({ceRing}); });
    expectRefused([&] { c.SetDirectWrite(false); });
    expectRefused([&] { c.SetUpdateDCB(false); });
    expectRefused([&] { c.Open(); });
    EXPECT_EQ(c.PortNum(), 0);
    EXPECT_EQ(c.DeviceName(), "fake0");
    EXPECT_TRUE(c.MonitorEvents().Empty());
    EXPECT_TRUE(c.DirectWrite());
    EXPECT_TRUE(c.UpdateDCB());

    // A Buffers member is refused too, but the sub-object has already taken it.
    expectRefused([&] { c.Buffers().SetReadSize(100); });
    EXPECT_EQ(c.Buffers().ReadSize(), 100);
    TVaBuffers other;
    other.SetWriteSize(10);
    expectRefused([&] { c.SetBuffers(other); });
    EXPECT_EQ(c.Buffers().WriteSize(), 2048);
    EXPECT_TRUE(c.Active());
    EXPECT_EQ(f.Line->QueueInput(), 4096u);  // the port keeps its sizes until the next open
}

TEST(Settings, LineSettingsReachTheOpenDeviceOncePerChange) {
    OpenFake f;
    TVaComm& c = f.Comm;
    int applied = f.Line->ApplyCount();
    EXPECT_EQ(applied, 1);

    c.SetParity(paMark);
    EXPECT_EQ(f.Line->ApplyCount(), ++applied);
    c.SetParity(paMark);  // unchanged: nothing written
    EXPECT_EQ(f.Line->ApplyCount(), applied);
    EXPECT_EQ(f.Line->LastSettings().ParityMode, serialdev::Parity::Mark);

    c.EventChars().SetEventChar(0);  // same value, still written
    EXPECT_EQ(f.Line->ApplyCount(), ++applied);

    TVaFlowControl flow;
    flow.SetOutCtsFlow(true);
    flow.SetXonXoffOut(true);
    flow.SetControlDtr(dtrEnabled);
    c.SetFlowControl(flow);  // three members, one write
    EXPECT_EQ(f.Line->ApplyCount(), ++applied);
    const serialdev::LineSettings s = f.Line->LastSettings();
    EXPECT_TRUE(s.OutCtsFlow);
    EXPECT_TRUE(s.XonXoffOut);
    EXPECT_EQ(s.Dtr, serialdev::DtrControl::Enabled);

    c.SetOptions(TVaCommOptions{coParityCheck});
    EXPECT_TRUE(f.Line->LastSettings().ParityCheck);
    c.SetDatabits(db5);
    c.SetStopbits(sb15);
    EXPECT_EQ(f.Line->LastSettings().DataBits, 5);
    EXPECT_EQ(f.Line->LastSettings().Stop, serialdev::StopBits::OneAndHalf);
}

TEST(Settings, OpenWritesTheConfiguredLine) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    c.SetBaudrate(brUser);
    c.SetUserBaudrate(500000);
    c.SetStopbits(sb2);
    c.EventChars().SetEventChar(0x0D);
    c.EventChars().SetEofChar(0x0D);
    c.Buffers().SetXonLimit(70000);
    c.SetDeviceName("fake%d");
    c.SetPortNum(5);
    c.SetMonitorEvents({ceRxChar});
    c.SetDirectWrite(true);
    EXPECT_EQ(line->ApplyCount(), 0);  // nothing reaches a closed port
    c.Open();
    EXPECT_EQ(line->OpenedPath(), serialdev::SystemDevicePath("fake5"));  // Windows: "\\.\fake5"
    const serialdev::LineSettings s = line->LastSettings();
    EXPECT_EQ(s.BaudRate, 500000u);
    EXPECT_EQ(s.DataBits, 8);
    EXPECT_EQ(s.Stop, serialdev::StopBits::Two);
    EXPECT_EQ(s.ParityMode, serialdev::Parity::None);
    EXPECT_EQ(s.XonLimit, 4464);  // the low 16 bits of 70000
    EXPECT_EQ(s.XoffLimit, 1024);
    EXPECT_EQ(s.EventChar, 0x0D);
    EXPECT_EQ(s.EofChar, 0x0D);
    EXPECT_EQ(s.XonChar, 0x11);
    EXPECT_EQ(line->EventMask(), EV_RXCHAR);
    EXPECT_EQ(line->QueueInput(), 4096u);
}

TEST(Settings, UpdateDcbFalseLeavesTheLineAlone) {
    auto line = std::make_shared<FakeLine>();
    FakeOpenerScope scope(line);
    TVaComm c;
    c.SetDeviceName("fake");
    c.SetMonitorEvents({});
    c.SetDirectWrite(true);
    c.SetUpdateDCB(false);
    c.Open();
    c.SetBaudrate(br9600);
    c.EventChars().SetXonChar(1);
    EXPECT_EQ(line->ApplyCount(), 0);
}

TEST(Settings, RefusedChangeWhileOpenKeepsTheNewValueAndReports) {
    OpenFake f;
    serialdev::FakeLine::Failures failures;
    failures.ApplySettings = EINVAL;
    f.Line->SetFailures(failures);
    try {
        f.Comm.SetBaudrate(br110);
        FAIL() << "refusal not reported";
    } catch (const EVaCommError& e) {
        // The system's text for the number: "Invalid argument" on Linux.
        EXPECT_EQ(e.Message(), "Error writing dcb (22), " + vautils::SystemErrorText(EINVAL));
    }
    EXPECT_EQ(f.Comm.Baudrate(), br110);
    EXPECT_TRUE(f.Comm.Active());
}
