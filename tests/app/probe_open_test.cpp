// A port whose open never returns (a wedged driver, a hung network mount) against the search:
// the window keeps serving its events and closing, the search moves on past the port once its
// deadline has passed, never asks the port again while its open hangs, and a device that comes
// late is closed. The hang is a real one: the test's opener opens a FIFO that has no writer.
// The opener on its own: tests/serial/probe_opener_test.cpp.
#include <gtest/gtest.h>


#include <QCoreApplication>
#include <QMetaObject>

#include <filesystem>
#include <memory>
#include <string>

#include "HangingOpens.h"
#include "QtWait.h"
#include "app/MainForm.h"
#include "FakeDevice.h"

namespace {

using serialdev::FakeLine;

template <class Pred>
bool WaitFor(Pred pred) {
    return testsupport::WaitWithQtEvents(pred);
}

class ProbeOpenTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::unique_ptr<testsupport::HangingOpens> ports;
    std::unique_ptr<TForm1> form;
    std::shared_ptr<FakeLine> hangingLine = std::make_shared<FakeLine>();
    std::shared_ptr<FakeLine> unitLine = std::make_shared<FakeLine>();
    const std::string hanging = "/dev/torvane-test-wedged";
    const std::string unit = "/dev/torvane-test-unit";

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvane-probe-open-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ports = std::make_unique<testsupport::HangingOpens>(dir);
    }
    void AddPorts() {
        ports->Add(hanging, hangingLine, /*hangs=*/true);
        ports->Add(unit, unitLine);
    }
    void TearDown() override {
        form.reset();
        ports.reset();
        std::filesystem::remove_all(dir);
    }
    void CreateForm(std::chrono::milliseconds deadline) {
        AddPorts();
        setenv("TORVANE_PROBE_OPEN_TEST_PORTS", (hanging + ":" + unit).c_str(), 1);
        TForm1::Options o;
        o.portList.sysfsRoot = (dir / "no-sysfs").string();
        o.portList.extraPortsEnv = "TORVANE_PROBE_OPEN_TEST_PORTS";
        o.probeOpenDeadline = deadline;
        form = std::make_unique<TForm1>(o);
    }
    std::string Tip() const { return form->CName->toolTip().toStdString(); }
};

TEST_F(ProbeOpenTest, TheWindowAnswersAndClosesWhileAProbeOpenHangs) {
    CreateForm(std::chrono::hours(1));  // the open stays pending for the whole test
    form->show();
    ASSERT_TRUE(WaitFor([&] { return ports->Inside() == 1; })) << "the search reached the wedged port";
    EXPECT_TRUE(form->ProbeOpenPending());

    bool served = false;
    QMetaObject::invokeMethod(form.get(), [&] { served = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return served; })) << "the event loop serves a posted call";
    EXPECT_EQ(form->CName->text().toStdString(), hanging);
    EXPECT_FALSE(form->VaComm1->Active());

    form->close();  // as the window's close button does
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->ProbeOpenPending());
    EXPECT_EQ(ports->Inside(), 1) << "closed while the open still hangs";

    // The open returns after all: its device is closed where it was opened, and nothing opens.
    ports->Release();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return hangingLine->OpenedPath() == hanging && !hangingLine->IsOpen(); },
                                       testsupport::kPatience, [] { testsupport::PumpQtEvents(); }));
    EXPECT_FALSE(form->VaComm1->Active());
    EXPECT_EQ(unitLine->Written(), "") << "no probe after the window closed";
}

TEST_F(ProbeOpenTest, TheSearchMovesOnPastAHangingOpenAndDoesNotAskThatPortAgainWhileItHangs) {
    CreateForm(std::chrono::milliseconds(100));
    // Past the deadline the next port is probed: the unit is found there.
    ASSERT_TRUE(WaitFor([&] { return unitLine->Written() == "N"; })) << Tip();
    EXPECT_NE(Tip().find(hanging + ": the open did not return within 0.1 s"), std::string::npos) << Tip();
    unitLine->Feed("IWRX\r");
    ASSERT_TRUE(WaitFor([&] { return form->Start->isEnabled(); })) << Tip();
    EXPECT_EQ(form->CName->text().toStdString(), unit);

    // Close starts a new search: the wedged port is passed over at once while its open hangs.
    form->StartClick(form->Start);  // Start
    form->StartClick(form->Start);  // Close
    ASSERT_TRUE(WaitFor([&] { return Tip().find(hanging + ": passed over: its last open has not returned yet") != std::string::npos; }))
        << Tip();
    const std::string setup("ZS\0E\0P\nC4", 9);
    ASSERT_TRUE(WaitFor([&] { return unitLine->Written() == "N" + setup + "N"; })) << Tip();
    form->Ding->setChecked(true);  // the window answers meanwhile
    EXPECT_EQ(ports->Entered(), 1) << "one open of the wedged port, not one per pass";

    form->close();
    ports->Release();
    ASSERT_TRUE(WaitFor([&] { return !hangingLine->IsOpen() && ports->Inside() == 0; }));
}

} // namespace
