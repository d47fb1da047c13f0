// Ports that belong to other programs: one held by another program is busy and left alone, and a
// port the component opened (a probe that found no unit, say) is given back as it was found.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/serial.h>
#include <unistd.h>

#include <cstdlib>

#include "ExclusiveHolder.h"
#include "PtyPair.h"
#include "TtyInspect.h"
#include "serial/VaComm.h"
#include "toolkit/UniqueFd.h"

namespace {

// As the capture window configures its port.
void ConfigureLikeTheWindow(TVaComm& c, const std::string& path, uint32_t rate = 500000) {
    c.SetDeviceName(path);
    c.SetMonitorEvents({ceRxChar});
    c.SetDirectWrite(true);
    c.SetBaudrate(brUser);
    c.SetUserBaudrate(rate);
    c.SetStopbits(sb2);
}

int OpenErrorCode(TVaComm& c) {
    try {
        c.Open();
    } catch (const EVaCommError& e) {
        return e.ErrorCode();
    }
    return 0;
}

} // namespace

// Root gets past TIOCEXCL, so this is the case that matters when running as root (as CI does);
// for anyone else the kernel refuses the open itself, with the same outcome.
TEST(OtherPrograms, ALineHeldWithExclusiveUseAloneIsBusyAndUntouched) {
    testsupport::PtyPair pty;
    testsupport::SetCookedConsole(pty.MasterFd());
    const testsupport::TtySnapshot before = testsupport::TakeTtySnapshot(pty.MasterFd());
    {
        testsupport::ExclusiveHolder holder(pty.SlavePath());
        TVaComm c;
        ConfigureLikeTheWindow(c, pty.SlavePath());
        EXPECT_EQ(OpenErrorCode(c), EBUSY);
        EXPECT_FALSE(c.Active());
        EXPECT_TRUE(testsupport::TakeTtySnapshot(pty.MasterFd()) == before) << "its settings were not touched";
    }
    // Given up by the other program: the line is free again.
    TVaComm c;
    ConfigureLikeTheWindow(c, pty.SlavePath());
    EXPECT_EQ(OpenErrorCode(c), 0);
}

TEST(OtherPrograms, CloseGivesTheLineBackWithTheSettingsItWasFoundWith) {
    testsupport::PtyPair pty;
    testsupport::SetCookedConsole(pty.MasterFd());
    const testsupport::TtySnapshot before = testsupport::TakeTtySnapshot(pty.MasterFd());
    TVaComm c;
    ConfigureLikeTheWindow(c, pty.SlavePath());
    for (int round = 0; round < 2; ++round) {  // and again: what is saved is never our own setup
        c.Open();
        const testsupport::TtyState open = testsupport::ReadTtyState(pty.MasterFd());
        EXPECT_EQ(open.Rate, 500000u);
        EXPECT_TRUE(open.Raw);
        c.Close();
        EXPECT_TRUE(testsupport::TakeTtySnapshot(pty.MasterFd()) == before) << "round " << round;
    }
}

// Serial flags exist on UART drivers only, so this needs a real UART, and one no other program
// (another test run probing the machine's ports, say) touches meanwhile: it runs only when
// TORVANE_TEST_UART names such a port, for instance /dev/ttyS0.
TEST(OtherPrograms, CloseGivesAUartItsSerialFlagsBack) {
    const char* uart = std::getenv("TORVANE_TEST_UART");
    if (uart == nullptr || *uart == '\0') GTEST_SKIP() << "TORVANE_TEST_UART names no UART";
    const char* path = uart;
    const toolkit::UniqueFd port(open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(port.Valid()) << path;
    const int fd = port.Get();
    serial_struct found{};
    if (ioctl(fd, TIOCGSERIAL, &found) != 0 || found.type == PORT_UNKNOWN) {
        GTEST_SKIP() << path << " has no UART behind it";
    }
    const testsupport::TtySnapshot foundSettings = testsupport::TakeTtySnapshot(fd);
    // Low latency off, so that the probe's asking for it is a change to undo.
    serial_struct before = found;
    before.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &before);
    ioctl(fd, TIOCGSERIAL, &before);
    const testsupport::TtySnapshot beforeSettings = testsupport::TakeTtySnapshot(fd);

    TVaComm c;
    ConfigureLikeTheWindow(c, path, 115200);  // a PC's UART may not make 500000 baud
    const int error = OpenErrorCode(c);
    serial_struct during{};
    ioctl(fd, TIOCGSERIAL, &during);
    c.Close();
    serial_struct after{};
    ioctl(fd, TIOCGSERIAL, &after);
    const testsupport::TtySnapshot afterSettings = testsupport::TakeTtySnapshot(fd);
    ioctl(fd, TIOCSSERIAL, &found);  // leave the machine's port as this test found it
    ioctl(fd, TCSETS2, &foundSettings.Settings);
    if (error == EBUSY) GTEST_SKIP() << path << " is in use";
    ASSERT_EQ(error, 0) << path;
    EXPECT_NE(during.flags & ASYNC_LOW_LATENCY, 0) << "the probe asked for low latency";
    EXPECT_EQ(after.flags, before.flags);
    EXPECT_TRUE(afterSettings == beforeSettings);
}
