// The whole capture cycle on real pseudo-terminals: port scan, handshake, Start/Close,
// closing the window, and the unit unplugged and plugged in again.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ExclusiveHolder.h"
#include "PtyPair.h"
#include "QtWait.h"
#include "ReportRecorder.h"
#include "UnitSim.h"
#include "app/MainForm.h"
#include "FakeDevice.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/Thread.h"

namespace {

using testsupport::PtyPair;
using testsupport::ReportRecorder;

using testsupport::PumpQtEvents;

template <class Pred>
bool WaitFor(Pred pred, int ms = 60000) {
    return testsupport::WaitWithQtEvents(pred, std::chrono::milliseconds(ms));
}

// The row the first status record shown after it was added went to.
class FirstShownRow : public RecordObserver {
public:
    int Row = 0;
    void StatusShown(const ShownStatusRecord& record) override {
        if (Row == 0) Row = record.Row;
    }
    void NameReceived(const ReceivedNameRecord&) override {}
};

// Points `link` at `target`, replacing what it pointed at in one step (as the simulated unit does).
void PointLink(const std::string& link, const std::string& target) {
    const std::string fresh = link + ".new";
    std::filesystem::remove(fresh);
    std::filesystem::create_symlink(target, fresh);
    std::filesystem::rename(fresh, link);
}

// The simulated unit on its own thread, behind a stable symlink.
class SimulatedUnit {
public:
    explicit SimulatedUnit(const std::string& link, double rate = 200) {
        unitsim::Options o;
        o.recordsPerSecond = rate;
        o.linkPath = link;
        o.unitId = 42;
        o.name = "BENCH";
        FSim = std::make_unique<unitsim::UnitSim>(o, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(FLogMutex);
            FLog += line + "; ";
        });
        FThread = std::thread([this] { FSim->Run(); });
    }
    ~SimulatedUnit() {
        FSim->Stop();
        FThread.join();
    }
    unitsim::UnitSim& operator*() { return *FSim; }
    std::string Log() {
        std::lock_guard<std::mutex> lock(FLogMutex);
        return FLog;
    }
    unitsim::UnitSim* operator->() { return FSim.get(); }

private:
    std::mutex FLogMutex;
    std::string FLog;
    std::unique_ptr<unitsim::UnitSim> FSim;
    std::thread FThread;
};

class CaptureCycleTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvane-cycle-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        form.reset();
        std::filesystem::remove_all(dir);
    }
    // A window whose port list is exactly `ports` (no machine ports).
    void CreateForm(const std::vector<std::string>& ports, bool runTimer) {
        std::string joined;
        for (const auto& p : ports) joined += (joined.empty() ? "" : ":") + p;
        setenv("TORVANE_CYCLE_TEST_PORTS", joined.c_str(), 1);
        TForm1::Options o;
        o.portList.sysfsRoot = (dir / "no-sysfs").string();
        o.portList.extraPortsEnv = "TORVANE_CYCLE_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        if (!runTimer) form->Timer1->stop();
    }
    // One tick of the scan by hand, the timer kept off so the test decides when ticks happen;
    // the probe's open, on its own thread, has ended when it returns.
    void Tick() {
        form->Timer1Find(form->Timer1);
        form->Timer1->stop();
        ASSERT_TRUE(WaitFor([&] { return !form->ProbeOpenPending(); }));
    }
    // A tick as the timer runs it: what escapes goes to the error report. Tells whether the
    // tick left the timer running.
    bool ReportingTick() {
        form->Timer1->start();
        toolkit::RunReportingErrors(nullptr, [this] { form->Timer1Find(form->Timer1); });
        const bool running = form->Timer1->isActive();
        form->Timer1->stop();
        EXPECT_TRUE(WaitFor([&] { return !form->ProbeOpenPending(); }));
        return running;
    }
    int ShownRows() const {
        int n = 0;
        for (int row = 1; row <= 31; ++row) n += form->Table->Cell(1, row).isEmpty() ? 0 : 1;
        return n;
    }
};

const std::string kProbe = "N";
const std::string kSetup("ZS\0E\0P\nC4", 9);

TEST_F(CaptureCycleTest, FindsTheUnitAmongSilentPortsAndSendsTheSetupCommand) {
    PtyPair silentA, silentB;
    const std::string link = (dir / "unit").string();
    SimulatedUnit unit(link);
    // Ticks by hand: a timer tick that comes before a loaded machine has let the unit answer
    // would move the scan on, which is right for the window but not what this case is about.
    CreateForm({silentA.SlavePath(), link, silentB.SlavePath()}, /*runTimer=*/false);
    Tick();  // probes the first silent port
    // Read before the next tick closes the port: closing discards output the line has not taken.
    EXPECT_EQ(silentA.Receive(1, 5000), kProbe) << "the first port was probed";
    Tick();  // probes the unit
    ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; })) << unit.Log();
    EXPECT_FALSE(ReportingTick()) << "the tick that sends the setup command ends the search";
    ASSERT_TRUE(form->Start->isEnabled())
        << form->CName->toolTip().toStdString() << "\nsetup ok " << unit->SetupCommandsOk() << " bad "
        << unit->SetupCommandsBad();
    EXPECT_EQ(form->PortIndex, 1);
    EXPECT_EQ(form->CName->text().toStdString(), link);
    EXPECT_TRUE(form->VaComm1->Active());
    EXPECT_EQ(silentB.Receive(1, 200), "") << "the scan stopped at the unit";
    EXPECT_TRUE(WaitFor([&] { return unit->SetupCommandsOk() == 1u; }));
    EXPECT_EQ(unit->SetupCommandsBad(), 0u);
    // Records are decoded before Start as well.
    ASSERT_TRUE(WaitFor([&] { return ShownRows() >= 3 && form->TID->text() == "42"; }));
    EXPECT_EQ(form->Name->text(), "BENCH");
}

TEST_F(CaptureCycleTest, HandshakeAfterARebuildFromThePortProbedLastStillCounts) {
    PtyPair port;
    CreateForm({port.SlavePath()}, /*runTimer=*/false);
    Tick();  // probe
    EXPECT_EQ(port.Receive(1), kProbe);
    Tick();  // past the end: rebuild, nothing probed, the port stays open
    EXPECT_EQ(form->PortIndex, -1);
    EXPECT_TRUE(form->VaComm1->Active());
    port.Send(std::string("IWRX\r"));
    ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; }));
    Tick();
    EXPECT_EQ(port.Receive(9), kSetup) << "exactly nine bytes, both zero bytes included";
    EXPECT_EQ(port.Receive(1, 200), "");
    EXPECT_TRUE(form->Start->isEnabled());
    EXPECT_EQ(form->PortIndex, -1) << "the setup tick leaves the index alone";
}

TEST_F(CaptureCycleTest, AProbeWhoseOpenFailsLeavesNoPortOpen) {
    PtyPair held;
    CreateForm({(dir / "missing").string(), held.SlavePath()}, /*runTimer=*/false);
    Tick();
    EXPECT_FALSE(form->VaComm1->Active());
    Tick();
    EXPECT_TRUE(form->VaComm1->Active());
    EXPECT_EQ(held.Receive(1), kProbe);
}

// The unit answers and its line hangs up before the next tick: the setup command's write finds
// the port gone. That is the unit going away, as an unplug in Ready is: search again, silently.
TEST_F(CaptureCycleTest, AUnitGoneRightAfterItsAnswerIsSearchedForAgainWithoutAReport) {
    ReportRecorder reports;
    const std::string link = (dir / "unit").string();
    auto first = std::make_unique<PtyPair>();
    PointLink(link, first->SlavePath());
    CreateForm({link}, /*runTimer=*/false);
    Tick();
    ASSERT_EQ(first->Receive(1), kProbe);
    first->Send(std::string("IWRX\r"));
    ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; }));
    first->CloseMaster();  // straight after the answer, before the next tick
    EXPECT_TRUE(ReportingTick()) << "searching again";
    EXPECT_FALSE(form->VaComm1->Active());
    EXPECT_FALSE(form->Rx.DeviceFound);
    EXPECT_FALSE(form->Start->isEnabled());
    EXPECT_EQ(form->PortIndex, -1);
    EXPECT_NE(form->CName->toolTip().toStdString().find("went away"), std::string::npos);

    PtyPair second;  // back, on a new device behind the same link
    PointLink(link, second.SlavePath());
    EXPECT_TRUE(ReportingTick());
    ASSERT_EQ(second.Receive(1), kProbe);
    second.Send(std::string("IWRX\r"));
    ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; }));
    EXPECT_FALSE(ReportingTick()) << "found: the search stops";
    EXPECT_EQ(second.Receive(9), kSetup);
    EXPECT_TRUE(form->Start->isEnabled());
    EXPECT_TRUE(reports.Messages().empty()) << reports.Messages().front();
}

// A setup write that fails for any other reason is retried every tick, as before, but reported once.
TEST_F(CaptureCycleTest, AnotherSetupWriteFailureIsReportedOnceAndRetried) {
    ReportRecorder reports;
    auto line = std::make_shared<serialdev::FakeLine>();
    serialdev::FakeOpenerScope fake(line);
    CreateForm({"/dev/torvane-fake-unit"}, /*runTimer=*/false);
    Tick();
    ASSERT_EQ(line->Written(), kProbe);
    line->Feed("IWRX\r");
    ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; }));
    serialdev::FakeLine::Failures failing;
    failing.Write = EINVAL;
    line->SetFailures(failing);
    for (int tick = 0; tick < 3; ++tick) EXPECT_TRUE(ReportingTick()) << tick;
    ASSERT_EQ(reports.Count(), 1u);
    EXPECT_EQ(reports.Messages()[0].rfind("Write error (22)", 0), 0u) << reports.Messages()[0];
    EXPECT_TRUE(form->VaComm1->Active());
    EXPECT_FALSE(form->Start->isEnabled());

    line->SetFailures({});
    EXPECT_FALSE(ReportingTick());
    EXPECT_EQ(line->Written(), kProbe + kSetup);
    EXPECT_TRUE(form->Start->isEnabled());
    EXPECT_EQ(reports.Count(), 1u);
}

TEST_F(CaptureCycleTest, StartKeepsRows25To31AndTheRowCounter) {
    CreateForm({}, /*runTimer=*/false);
    std::string stream;
    for (int i = 0; i < 30; ++i) stream += unitsim::EncodeLine(unitsim::StatusPayload(static_cast<uint32_t>(i)), false);
    stream += "S\x01\x02!";  // half a line ending in an escape byte
    size_t pos = 0;
    form->Rx.ReceiveBytes(static_cast<int32_t>(stream.size()), [&](uint8_t& b) {
        b = static_cast<uint8_t>(stream[pos++]);
        return true;
    });
    ASSERT_EQ(form->Rx.RowCounter, 31);
    form->Start->setEnabled(true);
    form->StartClick(form->Start);
    EXPECT_EQ(form->Start->Caption(), "Close");
    for (int row = 1; row <= 24; ++row) {
        EXPECT_TRUE(form->Table->Cell(0, row).isEmpty() && form->Table->Cell(1, row).isEmpty()) << row;
        EXPECT_FALSE(form->Table->Cell(2, row).isEmpty()) << row;
    }
    for (int row = 25; row <= 30; ++row) EXPECT_FALSE(form->Table->Cell(1, row).isEmpty()) << row;
    EXPECT_EQ(form->Rx.EscapeState, 0);
    EXPECT_TRUE(form->Rx.RxLine.empty());
    const std::string next = unitsim::EncodeLine(unitsim::StatusPayload(77), false);
    pos = 0;
    stream = next;
    form->Rx.ReceiveBytes(static_cast<int32_t>(stream.size()), [&](uint8_t& b) {
        b = static_cast<uint8_t>(stream[pos++]);
        return true;
    });
    EXPECT_EQ(form->Table->Cell(0, 31), "77") << "the next record goes to row 31";
}

TEST_F(CaptureCycleTest, CloseStartsANewSearchAtRowOne) {
    const std::string link = (dir / "unit").string();
    SimulatedUnit unit(link);
    CreateForm({link}, /*runTimer=*/true);
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled(); }));
    // Start purges what is not yet sent: click once the unit has taken the setup command, as a
    // person at the bench would.
    ASSERT_TRUE(WaitFor([&] { return unit->SetupCommandsOk() == 1u; }));
    form->StartClick(form->Start);
    ASSERT_TRUE(WaitFor([&] { return form->Rx.RowCounter > 5; }))
        << "rows " << form->Rx.RowCounter << " sent " << unit->RecordsSent() << " ok " << unit->SetupCommandsOk()
        << " active " << form->VaComm1->Active() << " waiting " << form->VaComm1->ReadBufUsed() << " line "
        << form->Rx.RxLine.size() << " esc " << int(form->Rx.EscapeState) << " unit: " << unit.Log();
    form->StartClick(form->Start);  // Close
    EXPECT_EQ(form->Start->Caption(), "Start");
    EXPECT_FALSE(form->Start->isEnabled());
    EXPECT_EQ(form->Rx.RowCounter, 1);
    EXPECT_TRUE(form->Timer1->isActive());
    FirstShownRow first;
    form->Rx.AddObserver(&first);
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled(); })) << "found again";
    EXPECT_TRUE(WaitFor([&] { return unit->SetupCommandsOk() == 2u; }));
    ASSERT_TRUE(WaitFor([&] { return first.Row != 0; }));
    form->Rx.RemoveObserver(&first);
    EXPECT_EQ(first.Row, 1) << "the new capture starts at row 1";
}

TEST_F(CaptureCycleTest, ClosingTheWindowDuringTheScanSendsNoFurtherProbe) {
    PtyPair a, b;
    CreateForm({a.SlavePath(), b.SlavePath()}, /*runTimer=*/false);
    Tick();
    EXPECT_EQ(a.Receive(1), kProbe);
    form->show();
    form->close();
    EXPECT_FALSE(form->VaComm1->Active());
    EXPECT_FALSE(form->Timer1->isActive());
    for (int i = 0; i < 10; ++i) PumpQtEvents();
    EXPECT_EQ(b.Receive(1, 200), "");
}

TEST_F(CaptureCycleTest, UnplugWhileCapturingReturnsToSearchingAndFindsTheUnitAgain) {
    const std::string link = (dir / "unit").string();
    SimulatedUnit unit(link);
    CreateForm({link}, /*runTimer=*/true);
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled() && unit->SetupCommandsOk() == 1u; }));
    form->StartClick(form->Start);
    ASSERT_EQ(form->Start->Caption(), "Close");
    unit->Replug(300);
    ASSERT_TRUE(WaitFor([&] { return form->Start->Caption() == "Start" && !form->Start->isEnabled(); }))
        << "the window noticed the unit going away";
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled(); })) << "and found it again";
    EXPECT_TRUE(WaitFor([&] { return unit->SetupCommandsOk() == 2u; })) << unit.Log();
    EXPECT_TRUE(form->VaComm1->Active());
}

} // namespace

namespace {

TEST_F(CaptureCycleTest, DestroyingTheWindowWithADeliveryQueuedIsSafe) {
    PtyPair port;
    CreateForm({port.SlavePath()}, /*runTimer=*/false);
    Tick();
    ASSERT_TRUE(form->VaComm1->Active());
    // Bytes arrive and the event thread hands them over, but nothing serves the delivery before
    // the window goes: it runs while the port closes, with the window half gone.
    testsupport::HandOverSignal handedOver;
    port.Send(unitsim::EncodeLine(unitsim::StatusPayload(1), false));
    ASSERT_TRUE(handedOver.Wait());
    form.reset();
    EXPECT_EQ(toolkit::MainThreadQueue::Instance().ServeQueuedCalls(), 0u) << "the delivery ran while the port closed";
}

} // namespace

namespace {

TEST_F(CaptureCycleTest, ThePortBoxTooltipSaysWhyEachPortWasPassedOver) {
    PtyPair busy, silent;
    TVaComm other;  // another program holding the port
    other.SetMonitorEvents({});
    other.SetDeviceName(busy.SlavePath());
    other.Open();
    PtyPair exclusive;  // held by another program with exclusive use alone, no lock: root gets past that
    testsupport::ExclusiveHolder holder(exclusive.SlavePath());
    const std::string missing = (dir / "gone").string();
    CreateForm({busy.SlavePath(), exclusive.SlavePath(), missing, silent.SlavePath()}, /*runTimer=*/false);
    for (int tick = 0; tick < 4; ++tick) Tick();
    Tick();  // past the end: the pass is over, nothing answered
    const std::string tip = form->CName->toolTip().toStdString();
    EXPECT_NE(tip.find(busy.SlavePath() + ": busy: held by another program"), std::string::npos) << tip;
    EXPECT_NE(tip.find(exclusive.SlavePath() + ": busy: held by another program"), std::string::npos) << tip;
    EXPECT_EQ(exclusive.Receive(1, 200), "") << "never probed";
    EXPECT_NE(tip.find(missing + ": not found"), std::string::npos) << tip;
    EXPECT_NE(tip.find(silent.SlavePath() + ": opened, no answer"), std::string::npos) << tip;
    other.Close();
}

// A port named before its adapter is there is passed over without an open; once the device is
// there, the next pass opens and probes it, and the tooltip says so.
TEST_F(CaptureCycleTest, APortThatAppearsIsProbedOnTheNextPass) {
    PtyPair unit;
    const std::string later = (dir / "plugged-in-later").string();
    CreateForm({later}, /*runTimer=*/false);
    Tick();  // probes the missing port
    EXPECT_FALSE(form->VaComm1->Active());
    EXPECT_NE(form->CName->toolTip().toStdString().find(later + ": not found"), std::string::npos);
    std::filesystem::create_symlink(unit.SlavePath(), later);
    Tick();  // past the end: the list is read again
    Tick();
    EXPECT_TRUE(form->VaComm1->Active());
    EXPECT_EQ(unit.Receive(1, 5000), "N");
    EXPECT_NE(form->CName->toolTip().toStdString().find(later + ": opened, waiting for an answer"), std::string::npos)
        << form->CName->toolTip().toStdString();
}

} // namespace
