// A port whose open never returns (a wedged driver, a hung network mount) against the search:
// the window keeps serving its events and closing, the search moves on past the port once its
// deadline has passed, never asks the port again while its open hangs, and a device that comes
// late is closed. The hang is a real one: the test's opener opens a FIFO that has no writer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <vector>
#include <memory>
#include <string>

#include "QtWait.h"
#include "app/MainForm.h"
#include "app/ProbeOpener.h"
#include "serial/platform/FakeDevice.h"

namespace {

using serialdev::FakeLine;

template <class Pred>
bool WaitFor(Pred pred) {
    return testsupport::WaitWithQtEvents(pred);
}

// Installs an opener for the test's paths: each opens a fake device on its line; a hanging
// path first blocks in open() of a FIFO that has no writer, until Release gives it one.
class TestPorts {
public:
    explicit TestPorts(const std::filesystem::path& dir) : FGate((dir / "gate").string()) {
        EXPECT_EQ(mkfifo(FGate.c_str(), 0600), 0);
        FPrevious = serialdev::SetDeviceOpener([this](const std::string& path) { return Open(path); });
    }
    ~TestPorts() {
        // No open may stay blocked on the gate once the test's objects go.
        Release();
        EXPECT_TRUE(testsupport::WaitUntil([&] { return FInside.load() == 0; }));
        serialdev::SetDeviceOpener(std::move(FPrevious));
        if (FWriter >= 0) ::close(FWriter);
    }
    // Before the window or opener asks: the opener reads these from its own thread.
    void Add(const std::string& path, std::shared_ptr<FakeLine> line, bool hangs = false) {
        FLines[path] = {std::move(line), hangs};
    }
    // Opens of a hanging path begun, and those still blocked.
    int Entered() const { return FEntered.load(); }
    int Inside() const { return FInside.load(); }
    // Every open blocked on the gate returns, and every later one passes: a FIFO opened for
    // reading and writing never waits, and once it has a writer, no reader waits either.
    void Release() {
        if (FWriter < 0) FWriter = ::open(FGate.c_str(), O_RDWR | O_CLOEXEC);
    }

private:
    struct Port {
        std::shared_ptr<FakeLine> line;
        bool hangs = false;
    };
    serialdev::OpenResult Open(const std::string& path) {
        const auto port = FLines.find(path);
        if (port == FLines.end()) return {nullptr, ENOENT};
        if (port->second.hangs) {
            ++FInside;
            ++FEntered;
            const int reader = ::open(FGate.c_str(), O_RDONLY | O_CLOEXEC);
            if (reader >= 0) ::close(reader);
            --FInside;
        }
        return {std::make_unique<serialdev::FakeDevice>(port->second.line, path), 0};
    }

    std::string FGate;
    std::map<std::string, Port> FLines;
    std::atomic<int> FEntered{0};
    std::atomic<int> FInside{0};
    int FWriter = -1;
    serialdev::DeviceOpener FPrevious;
};

class ProbeOpenTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::unique_ptr<TestPorts> ports;
    std::unique_ptr<TForm1> form;
    std::shared_ptr<FakeLine> hangingLine = std::make_shared<FakeLine>();
    std::shared_ptr<FakeLine> unitLine = std::make_shared<FakeLine>();
    const std::string hanging = "/dev/torvane-test-wedged";
    const std::string unit = "/dev/torvane-test-unit";

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvane-probe-open-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ports = std::make_unique<TestPorts>(dir);
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

// The opener on its own, without a window: results, the deadline, the bound on hanging opens.
TEST_F(ProbeOpenTest, AnOpenerKeepsAtMostItsBoundOfOpensHangingAndClosesWhatComesLate) {
    std::atomic<int> ended{0};
    AddPorts();
    std::vector<std::string> paths;
    std::vector<std::shared_ptr<FakeLine>> lines;
    for (size_t i = 0; i < ProbeOpener::kMaxHanging; ++i) {
        paths.push_back("/dev/torvane-test-wedged-" + std::to_string(i));
        lines.push_back(std::make_shared<FakeLine>());
        ports->Add(paths.back(), lines.back(), /*hangs=*/true);
    }
    ProbeOpener opener([&] { ++ended; }, std::chrono::milliseconds(0));

    ASSERT_EQ(opener.Start(unit), ProbeOpener::Refusal::None);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return opener.Ended(); }));
    serialdev::OpenResult opened = opener.Take();
    ASSERT_NE(opened.Device, nullptr);
    EXPECT_TRUE(unitLine->IsOpen());
    EXPECT_EQ(ended.load(), 1);
    opened.Device.reset();
    EXPECT_FALSE(opener.Pending());

    ASSERT_EQ(opener.Start("/dev/torvane-test-missing"), ProbeOpener::Refusal::None);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return opener.Ended(); }));
    EXPECT_EQ(opener.Take().Error, ENOENT);

    for (size_t i = 0; i < ProbeOpener::kMaxHanging; ++i) {
        ASSERT_EQ(opener.Start(paths[i]), ProbeOpener::Refusal::None) << i;
        ASSERT_TRUE(testsupport::WaitUntil([&] { return ports->Inside() == static_cast<int>(i) + 1; }));
        EXPECT_TRUE(opener.Overdue());
        opener.GiveUp();
        EXPECT_EQ(opener.Hanging(), i + 1);
    }
    EXPECT_EQ(opener.Start(paths[0]), ProbeOpener::Refusal::StillHanging);
    EXPECT_EQ(opener.Start(unit), ProbeOpener::Refusal::TooManyHanging);
    EXPECT_FALSE(opener.Pending());
    const int endedBefore = ended.load();

    ports->Release();  // every open given up returns; their devices close on their own threads
    ASSERT_TRUE(testsupport::WaitUntil([&] { return opener.Hanging() == 0; }));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]->OpenedPath(), paths[i]);
        EXPECT_FALSE(lines[i]->IsOpen()) << "a device that came late is closed";
    }
    EXPECT_EQ(ended.load(), endedBefore) << "no word about an open given up";
    ASSERT_EQ(opener.Start(unit), ProbeOpener::Refusal::None) << "room again";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return opener.Ended(); }));
    EXPECT_NE(opener.Take().Device, nullptr);
}

} // namespace
