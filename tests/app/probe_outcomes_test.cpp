#include <gtest/gtest.h>

#include <cstdint>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>

#include "app/ProbeOutcomes.h"

namespace {

TEST(ProbeOutcomes, TellsWhyAPortWasPassedOver) {
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB9", ENOENT), "not found");
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB0", EWOULDBLOCK), "busy: held by another program");
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB0", EBUSY), "busy: held by another program");
    const std::string denied = ProbeOutcomes::DescribeOpenFailure("/nonexistent/ttyUSB0", EACCES);
    EXPECT_EQ(denied.rfind("permission denied", 0), 0u);
    EXPECT_EQ(denied.find("join"), std::string::npos) << "no group to name for a device that cannot be looked at";
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/x", EIO), "could not be opened: Input/output error");
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/x", 0), "could not be opened");
}

TEST(ProbeOutcomes, KeepsTheLastOutcomeOfEachListedPortInProbeOrder) {
    ProbeOutcomes o;
    EXPECT_EQ(o.Tooltip(), "No serial ports found yet.");
    o.Opened("ttyS0");
    o.Failed("ttyUSB0", "/dev/ttyUSB0", ENOENT);
    o.NoAnswer("ttyS0");
    o.Answered("/tmp/unit");
    EXPECT_EQ(o.Tooltip(), "Last probe of each port:\nttyS0: opened, no answer\nttyUSB0: not found\n/tmp/unit: the receiver unit answered");
    o.SetStableNames({{"ttyUSB0", "usb-Maker_Model_A1-if00-port0"}, {"ttyUSB1", "usb-Unprobed-if00"}});
    EXPECT_EQ(o.Tooltip(), "Last probe of each port:\nttyS0: opened, no answer\n"
                           "ttyUSB0 (usb-Maker_Model_A1-if00-port0): not found\n/tmp/unit: the receiver unit answered");
    o.KeepOnly({"/tmp/unit", "ttyS0"});
    EXPECT_EQ(o.Outcome("ttyUSB0"), "");
    EXPECT_EQ(o.Outcome("ttyS0"), "opened, no answer");
}

// The window rebuilds its tooltip only when the revision moves: every change must move it, and
// a search asking the same ports with the same outcomes must not.
TEST(ProbeOutcomes, TheRevisionMovesExactlyWhenTheTooltipMayChange) {
    ProbeOutcomes o;
    uint64_t seen = o.Revision();
    auto moved = [&] {
        const bool m = o.Revision() != seen;
        seen = o.Revision();
        return m;
    };
    o.Failed("ttyUSB0", "/dev/ttyUSB0", ENOENT);
    EXPECT_TRUE(moved());
    o.Failed("ttyUSB0", "/dev/ttyUSB0", ENOENT);
    o.KeepOnly({"ttyUSB0"});
    o.SetStableNames({});
    EXPECT_FALSE(moved());
    o.Opened("ttyUSB0");
    EXPECT_TRUE(moved());
    o.SetStableNames({{"ttyUSB0", "usb-Maker_Model_A1-if00-port0"}});
    EXPECT_TRUE(moved());
    o.SetStableNames({{"ttyUSB0", "usb-Maker_Model_A1-if00-port0"}});
    EXPECT_FALSE(moved());
    o.KeepOnly({});
    EXPECT_TRUE(moved());
    EXPECT_EQ(o.Tooltip(), "No serial ports found yet.");
}

#ifndef _WIN32
// Joining the device's group is advice only where the group may read and write it.
TEST(ProbeOutcomes, PermissionAdviceFollowsTheModeBits) {
    using Access = ProbeOutcomes::DeviceAccess;
    const std::string rootOnly = ProbeOutcomes::AdvisePermission("/dev/ttyS0", Access{"root", "root", 020600});
    EXPECT_EQ(rootOnly.find("join "), std::string::npos) << rootOnly;
    EXPECT_EQ(rootOnly.find("adduser"), std::string::npos) << rootOnly;
    EXPECT_NE(rootOnly.find("only root may open /dev/ttyS0 (root:root, mode 0600)"), std::string::npos) << rootOnly;
    EXPECT_NE(rootOnly.find("udev rule"), std::string::npos) << rootOnly;

    const std::string group = ProbeOutcomes::AdvisePermission("/dev/ttyUSB0", Access{"root", "dialout", 020660});
    EXPECT_NE(group.find("join that group (on Debian: sudo adduser $USER dialout)"), std::string::npos) << group;

    const std::string groupReadOnly = ProbeOutcomes::AdvisePermission("/dev/ttyUSB0", Access{"alice", "dialout", 020640});
    EXPECT_EQ(groupReadOnly.find("adduser"), std::string::npos) << groupReadOnly;
    EXPECT_NE(groupReadOnly.find("only its owner alice (or root)"), std::string::npos) << groupReadOnly;
}

// The same, from the device's own mode bits, owner and group.
TEST(ProbeOutcomes, PermissionAdviceLooksAtTheDevice) {
    char pattern[] = "/tmp/torvane-perm-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string path = pattern;
    const group* dialout = getgrnam("dialout");
    const bool canGiveAway = geteuid() == 0 && dialout != nullptr;
    if (canGiveAway) {
        ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    const std::string ownerOnly = ProbeOutcomes::DescribeOpenFailure(path, EACCES);
    EXPECT_EQ(ownerOnly.find("adduser"), std::string::npos) << ownerOnly;
    EXPECT_NE(ownerOnly.find("mode 0600"), std::string::npos) << ownerOnly;
    if (canGiveAway) {
        EXPECT_NE(ownerOnly.find("only root may open"), std::string::npos) << ownerOnly;
        ASSERT_EQ(chown(path.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(chmod(path.c_str(), 0660), 0);
        const std::string grouped = ProbeOutcomes::DescribeOpenFailure(path, EACCES);
        EXPECT_NE(grouped.find("sudo adduser $USER dialout"), std::string::npos) << grouped;
    }
    unlink(path.c_str());
}

#endif

} // namespace
