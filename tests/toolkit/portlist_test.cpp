#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
    toolkit::SerialPortListOptions o = OptionsFor(sysfs);
    o.extraPorts = {"/tmp/from-command-line", "ttyS9"};
    EXPECT_EQ(toolkit::ListSerialPorts(o),
              (std::vector<std::string>{"ttyUSB0", "/tmp/unit-b", "/dev/pts/7", "/tmp/from-command-line", "ttyS9"}));
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
}

TEST(PortList, MissingTreeGivesNoPorts) {
    toolkit::SerialPortListOptions o;
    o.sysfsRoot = "/nonexistent/class/tty";
    o.extraPortsEnv = nullptr;
    EXPECT_TRUE(toolkit::ListSerialPorts(o).empty());
}

TEST(PortList, ByIdLinksNameTheAdapterBehindEachListedPort) {
    FakeSysfs sysfs;
    sysfs.AddByIdLink("usb-Maker_Model_A1-if00-port0", "../../ttyUSB0");
    sysfs.AddByIdLink("usb-Other_Box_B2-if01-port0", "../../ttyUSB1");
    sysfs.AddByIdLink("usb-Other_Box_B2-if00-port0", "../../ttyUSB1");  // two links: the first by name wins
    sysfs.AddByIdLink("usb-Unlisted_C3-if00", "../../ttyACM0");
    sysfs.AddByIdLink("usb-Dangling_D4-if00", "../../ttyUSB7");
    std::ofstream(std::filesystem::path(sysfs.ByIdRoot()) / "not-a-link") << "x";
    toolkit::SerialPortListOptions o = OptionsFor(sysfs);
    o.serialByIdRoot = sysfs.ByIdRoot();
    const std::vector<std::string> ports{"ttyS0", "ttyUSB0", "ttyUSB1", "/dev/ttyUSB0", "/tmp/ttyUSB0", "not-a-link"};
    EXPECT_EQ(toolkit::SerialPortStableNames(ports, o),
              (std::map<std::string, std::string>{{"ttyUSB0", "usb-Maker_Model_A1-if00-port0"},
                                                  {"ttyUSB1", "usb-Other_Box_B2-if00-port0"},
                                                  {"/dev/ttyUSB0", "usb-Maker_Model_A1-if00-port0"}}));
    o.serialByIdRoot = "/nonexistent/serial/by-id";  // no USB adapters plugged in: no folder
    EXPECT_TRUE(toolkit::SerialPortStableNames(ports, o).empty());
}

TEST(PortList, PortNamesMapToDevices) {
    EXPECT_EQ(toolkit::PortNameToDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(toolkit::PortNameToDevicePath("/dev/pts/3"), "/dev/pts/3");
}

} // namespace
