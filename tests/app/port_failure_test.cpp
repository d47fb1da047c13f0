// The unit's port failing while the window captures, on the scripted device: a port that then
// leaves the system's list is the usual hang-up (closed, searched for again, nothing said); one
// that keeps failing while listed is said once in a notice that never blocks the window, then
// closed and searched for again.
#include <gtest/gtest.h>

#include <QMessageBox>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "QtWait.h"
#include "ReportRecorder.h"
#include "ScriptedPortList.h"
#include "app/MainForm.h"
#include "FakeDevice.h"
#include "toolkit/ErrorReport.h"

namespace {

using serialdev::FakeLine;
using testsupport::ReportRecorder;

const std::string kPort = "/dev/torvane-fake-unit";
const std::string kSetup("ZS\0E\0P\nC4", 9);

template <class Pred>
bool WaitFor(Pred pred, int ms = 60000) {
    return testsupport::WaitWithQtEvents(pred, std::chrono::milliseconds(ms));
}

class PortFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TORVANE_PORT_FAILURE_TEST_PORTS", kPort.c_str(), 1);
        TForm1::Options o;
        o.portList.sysfsRoot = (std::filesystem::temp_directory_path() / "torvane-no-sysfs").string();
        o.portList.extraPortsEnv = "TORVANE_PORT_FAILURE_TEST_PORTS";
        form = std::make_unique<TForm1>(o);
        form->Timer1->stop();
        form->show();
    }
    void TearDown() override { form.reset(); }

    // Probe, handshake, setup command, Start: the window captures from the scripted unit.
    void Capture() {
        form->Timer1Find(form->Timer1);
        form->Timer1->stop();
        ASSERT_TRUE(WaitFor([&] { return !form->ProbeOpenPending(); }));  // the open runs on its own thread
        ASSERT_EQ(line->Written(), "N");
        line->Feed("IWRX\r");
        ASSERT_TRUE(WaitFor([&] { return form->Rx.DeviceFound; }));
        form->Timer1Find(form->Timer1);
        ASSERT_TRUE(form->Start->isEnabled());
        ASSERT_EQ(line->Written(), "N" + kSetup);
        form->StartClick(form->Start);
        ASSERT_EQ(form->Start->Caption(), "Close");
    }
    void FailWaits(int error) {
        FakeLine::Failures failures;
        failures.Wait = error;
        line->SetFailures(failures);
    }
    bool SearchingAgain() const {
        return form->Start->Caption() == "Start" && !form->Start->isEnabled() && form->Timer1->isActive() &&
               !form->VaComm1->Active();
    }
    QMessageBox* Notice() const { return form->findChild<QMessageBox*>(QStringLiteral("portNotice")); }

    testsupport::ScriptedPortList ports{kPort};
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    serialdev::FakeOpenerScope scope{line};
    std::unique_ptr<TForm1> form;
};

TEST_F(PortFailureTest, ErrorsWhileThePortStaysListedAreSaidOnceThenTheSearchStartsAgain) {
    ReportRecorder reports;
    Capture();
    FailWaits(5);
    ASSERT_TRUE(WaitFor([&] { return SearchingAgain(); })) << "the capture stays parked";
    QMessageBox* notice = Notice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(notice->windowModality(), Qt::NonModal);
    const std::string text = notice->text().toStdString();
    EXPECT_NE(text.find(kPort), std::string::npos) << text;
    EXPECT_NE(text.find("error 5"), std::string::npos) << text;
    EXPECT_TRUE(reports.Messages().empty()) << reports.Messages().front();

    // The search goes on beside the notice, and finds the unit on the port again: it answers
    // every probe.
    line->SetFailures({});
    size_t answered = 1;
    ASSERT_TRUE(WaitFor([&] {
        const std::string written = line->Written();
        if (const auto probes = static_cast<size_t>(std::count(written.begin(), written.end(), 'N')); probes > answered) {
            answered = probes;
            line->Feed("IWRX\r");
        }
        return form->Start->isEnabled();
    }));
    EXPECT_TRUE(notice->isVisible());
}

TEST_F(PortFailureTest, AnErrorThenThePortLeavingTheListIsTheUsualHangUp) {
    ReportRecorder reports;
    Capture();
    // Listed when the wait fails and at the component's first look after it; gone from then on.
    ports.DropAfter(3);
    FailWaits(5);
    ASSERT_TRUE(WaitFor([&] { return SearchingAgain(); })) << "the capture stays parked";
    EXPECT_EQ(Notice(), nullptr) << "a hang-up is not a failure to tell";
    EXPECT_NE(form->CName->toolTip().toStdString().find("went away"), std::string::npos);
    EXPECT_TRUE(reports.Messages().empty()) << reports.Messages().front();
}

} // namespace
