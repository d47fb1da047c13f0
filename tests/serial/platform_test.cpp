// The Linux device layer on pseudo-terminals, and the message rule.
#include <gtest/gtest.h>

#include <thread>

#include "PtyPair.h"
#include "serial/VaUtils.h"
#include "FakeDevice.h"
#include "serial/platform/SerialDevice.h"

using serialdev::WaitOutcome;

namespace {

std::unique_ptr<serialdev::SerialDevice> OpenTty(const std::string& path) {
    serialdev::OpenResult r = serialdev::OpenSystemDevice(path);
    if (!r.Device) ADD_FAILURE() << "open failed: " << r.Error;
    return std::move(r.Device);
}

} // namespace

TEST(LinuxTty, MissingDeviceIsFileNotFound) {
    const serialdev::OpenResult r = serialdev::OpenSystemDevice("/dev/torvane-missing");
    EXPECT_EQ(r.Device, nullptr);
    EXPECT_EQ(r.Error, ENOENT);
}

// Telling a missing device without opening it must agree with what the open would answer, and
// must never pass over a device that an installed opener serves.
TEST(LinuxTty, AMissingDeviceIsToldWithoutAnOpenOnlyWhereTheOpenWouldSayTheSame) {
    testsupport::PtyPair pty;
    for (const char* path : {"/dev/torvane-missing", "/dev/torvane-missing-dir/ttyUSB0"}) {
        EXPECT_EQ(serialdev::DeviceAbsenceError(path), ENOENT) << path;
        EXPECT_EQ(serialdev::OpenSystemDevice(path).Error, ENOENT) << path;
    }
    EXPECT_EQ(serialdev::DeviceAbsenceError(pty.SlavePath()), 0);
    EXPECT_EQ(serialdev::DeviceAbsenceError("/dev/null"), 0) << "there, though not a port: the open decides";
    serialdev::FakeOpenerScope fake(std::make_shared<serialdev::FakeLine>());
    EXPECT_EQ(serialdev::DeviceAbsenceError("/dev/torvane-missing"), 0);
    EXPECT_NE(serialdev::OpenDevice("/dev/torvane-missing").Device, nullptr);
}

TEST(LinuxTty, EventWaitEndsForBytesHangUpOrWake) {
    testsupport::PtyPair pty;
    auto tty = OpenTty(pty.SlavePath());
    ASSERT_TRUE(tty);
    uint32_t events = 99;
    tty->WakeEvents();  // a wake before the wait is not lost, and one wait consumes it
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::Waiting, events), WaitOutcome::Woken);
    EXPECT_EQ(events, 0u);
    std::thread waker([&] { tty->WakeEvents(); });
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::Waiting, events), WaitOutcome::Woken);
    waker.join();

    pty.Send("z");
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::Waiting, events), WaitOutcome::Ready);
    EXPECT_EQ(events, EV_RXCHAR);
    // Unread bytes end every wait that watches waiting bytes, and no wait that watches arrivals.
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::Waiting, events), WaitOutcome::Ready);
    tty->WakeEvents();
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::None, events), WaitOutcome::Woken);
    uint8_t b = 0;
    size_t got = 0;
    EXPECT_EQ(tty->Read(&b, 1, got), 0);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(b, 'z');
    EXPECT_EQ(tty->Read(&b, 1, got), 0);  // nothing more: 0 bytes, no error
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(tty->HungUp());

    pty.CloseMaster();
    EXPECT_EQ(tty->WaitEvents(serialdev::ByteWatch::None, events), WaitOutcome::HungUp);
    EXPECT_TRUE(tty->HungUp());
}

TEST(LinuxTty, AWriteWaitingForRoomEndsOnAWake) {
    testsupport::PtyPair pty;
    auto tty = OpenTty(pty.SlavePath());
    ASSERT_TRUE(tty);
    // Nobody reads the other side: the line fills up and the write waits for room.
    const std::string big(4 * 1024 * 1024, 'x');
    size_t written = 0;
    std::thread waker([&] { tty->WakeWriter(); });
    EXPECT_EQ(tty->Write(reinterpret_cast<const uint8_t*>(big.data()), big.size(),
                         serialdev::SerialDevice::kNoTimeout, written),
              0);
    waker.join();
    EXPECT_LT(written, big.size());
}

TEST(LinuxTty, PseudoTerminalHasNothingToReportOnModemLinesAndErrors) {
    testsupport::PtyPair pty;
    auto tty = OpenTty(pty.SlavePath());
    ASSERT_TRUE(tty);
    uint32_t events = 99;
    EXPECT_EQ(tty->WaitModemChange(events), WaitOutcome::Unsupported);
    serialdev::DeviceStatus status;
    EXPECT_EQ(tty->QueryStatus(status), 0);
    EXPECT_EQ(status.Errors, 0u);
    EXPECT_EQ(tty->Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR), 0);
}

TEST(LinuxTty, WriteStopsAtTheTimeOutWithWhatWentOut) {
    testsupport::PtyPair pty;
    auto tty = OpenTty(pty.SlavePath());
    ASSERT_TRUE(tty);
    size_t written = 0;
    EXPECT_EQ(tty->Write(reinterpret_cast<const uint8_t*>("N"), 1, 1000, written), 0);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(pty.Receive(1), "N");
    // Nobody reads the other side: the line fills up and the write gives up.
    const std::string big(4 * 1024 * 1024, 'x');
    EXPECT_EQ(tty->Write(reinterpret_cast<const uint8_t*>(big.data()), big.size(), 20, written), 0);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

TEST(FakeDevice, ModemWaitEndsOnChangeOrCancel) {
    auto line = std::make_shared<serialdev::FakeLine>();
    serialdev::FakeDevice device(line, "fake");
    uint32_t events = 0;
    std::thread changer([&] { line->ChangeModemLines(EV_CTS | EV_RING); });
    EXPECT_EQ(device.WaitModemChange(events), WaitOutcome::Ready);
    changer.join();
    EXPECT_EQ(events, EV_CTS | EV_RING);
    std::thread canceller([&] { device.CancelModemWait(); });
    EXPECT_EQ(device.WaitModemChange(events), WaitOutcome::Woken);
    canceller.join();
}

TEST(MessageRule, TrimsTheSystemTextAndFillsTheTemplate) {
    EXPECT_EQ(vautils::SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(vautils::FormatCommMessage("Error setting timeouts (%d), %s", EIO),
              "Error setting timeouts (5), Input/output error");
    EXPECT_EQ(vautils::FormatCommMessage("Output buffer is full. Please check comm status.", EIO),
              "Output buffer is full. Please check comm status.");
    EXPECT_EQ(vautils::FormatCommMessage("100%% (%d) %s %s %d", 1), "100% (1) Operation not permitted %s %d");
    EXPECT_EQ(vautils::EscapePercent("a%d%"), "a%%d%%");
    try {
        vautils::RaiseCommError("Read error (%d), %s", EAGAIN);
        FAIL();
    } catch (const EVaCommError& e) {
        EXPECT_EQ(e.ClassName(), "EVaCommError");
        EXPECT_EQ(e.Message(), "Read error (11), Resource temporarily unavailable");
    }
}
