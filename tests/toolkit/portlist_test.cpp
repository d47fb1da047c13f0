#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeSysfs.h"
#include "toolkit/PortList.h"

namespace {

using testsupport::FakeSysfs;

toolkit::SerialPortListOptions OptionsFor(const FakeSysfs& sysfs, const char* env = "TORVANE_TEST_EXTRA_PORTS") {
    toolkit::SerialPortListOptions o;
    o.sysfsRoot = sysfs.Root();
    o.extraPortsEnv = env;
    return o;
}

TEST(PortList, ListsDriverBackedPortsInNameOrderAndSkipsEmpty8250Slots) {
    FakeSysfs sysfs;
    sysfs.AddPort("ttyUSB1", "ftdi_sio");
    sysfs.AddPort("ttyACM0", "cdc_acm");
    sysfs.AddPort("ttyS0", "serial8250", 4);
    sysfs.AddPort("ttyS1", "serial8250", 0);  // no UART behind it
    sysfs.AddPort("ttyUSB0", "ftdi_sio");
    sysfs.AddVirtual("tty0");
    sysfs.AddVirtual("ptmx");
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
    EXPECT_EQ(toolkit::ListSerialPorts(OptionsFor(sysfs)),
              (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}));
}

TEST(PortList, ExtraPortsComeAfterInTheirOwnOrder) {
    FakeSysfs sysfs;
    sysfs.AddPort("ttyUSB0", "ftdi_sio");
    setenv("TORVANE_TEST_EXTRA_PORTS", "/tmp/unit-b::/dev/pts/7:", 1);
    EXPECT_EQ(toolkit::ListSerialPorts(OptionsFor(sysfs)),
              (std::vector<std::string>{"ttyUSB0", "/tmp/unit-b", "/dev/pts/7"}));
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
}

TEST(PortList, MissingTreeGivesNoPorts) {
    toolkit::SerialPortListOptions o;
    o.sysfsRoot = "/nonexistent/class/tty";
    o.extraPortsEnv = nullptr;
    EXPECT_TRUE(toolkit::ListSerialPorts(o).empty());
}

TEST(PortList, PortNamesMapToDevices) {
    EXPECT_EQ(toolkit::PortNameToDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(toolkit::PortNameToDevicePath("/dev/pts/3"), "/dev/pts/3");
}

} // namespace
