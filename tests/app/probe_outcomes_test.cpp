#include <gtest/gtest.h>

#include <cerrno>

#include "app/ProbeOutcomes.h"

namespace {

TEST(ProbeOutcomes, TellsWhyAPortWasPassedOver) {
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB9", ENOENT), "not found");
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB0", EWOULDBLOCK), "busy: held by another program");
    EXPECT_EQ(ProbeOutcomes::DescribeOpenFailure("/dev/ttyUSB0", EBUSY), "busy: held by another program");
    const std::string denied = ProbeOutcomes::DescribeOpenFailure("/nonexistent/ttyUSB0", EACCES);
    EXPECT_NE(denied.find("permission denied"), std::string::npos);
    EXPECT_NE(denied.find("dialout"), std::string::npos) << "a device whose group is unknown: the usual group";
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

} // namespace
