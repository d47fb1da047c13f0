#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
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

// The search asks every pass; the folder is read when the list changes, and again only if it
// moves soon after (an adapter's link comes a moment after its port).
TEST(PortList, StableNamesAreLookedUpWhenThePortListChangesAndWhileItsLinksMayStillCome) {
    namespace fs = std::filesystem;
    using Namer = toolkit::SerialPortStableNamer;
    FakeSysfs sysfs;
    sysfs.AddByIdLink("usb-Maker_Model_A1-if00-port0", "../../ttyUSB0");
    toolkit::SerialPortListOptions o = OptionsFor(sysfs);
    o.serialByIdRoot = sysfs.ByIdRoot();
    // Folder times set by hand: the file system's clock may not tick between two changes.
    const auto touch = [&](int hoursAgo) {
        fs::last_write_time(o.serialByIdRoot, fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
    };
    touch(10);
    Namer namer(o);
    const std::vector<std::string> ports{"ttyS0", "ttyUSB0"};
    EXPECT_TRUE(namer.Update(ports));
    EXPECT_EQ(namer.Names(), (std::map<std::string, std::string>{{"ttyUSB0", "usb-Maker_Model_A1-if00-port0"}}));
    for (int pass = 0; pass < 2 * Namer::kWatchPasses; ++pass) EXPECT_FALSE(namer.Update(ports));
    EXPECT_EQ(namer.LookUps(), 1u);

    // A new adapter: its port first, its link a few passes later.
    const std::vector<std::string> more{"ttyS0", "ttyUSB0", "ttyUSB1"};
    EXPECT_FALSE(namer.Update(more)) << "looked up, with nothing new to name yet";
    EXPECT_FALSE(namer.Update(more));
    sysfs.AddByIdLink("usb-Other_Box_B2-if00-port0", "../../ttyUSB1");
    touch(9);
    EXPECT_TRUE(namer.Update(more));
    EXPECT_EQ(namer.Names().at("ttyUSB1"), "usb-Other_Box_B2-if00-port0");
    EXPECT_EQ(namer.LookUps(), 3u);

    // Unplugged: the port goes, and with the last adapter the device manager removes the folder.
    fs::remove_all(o.serialByIdRoot);
    EXPECT_TRUE(namer.Update(ports));
    EXPECT_TRUE(namer.Names().empty());
    for (int pass = 0; pass < 2 * Namer::kWatchPasses; ++pass) EXPECT_FALSE(namer.Update(ports));
    EXPECT_EQ(namer.LookUps(), 4u);
}

TEST(PortList, PortNamesMapToDevices) {
    EXPECT_EQ(toolkit::PortNameToDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(toolkit::PortNameToDevicePath("/dev/pts/3"), "/dev/pts/3");
    // What a user types: a bare name stays a name, a relative path becomes the device it names now.
    EXPECT_EQ(toolkit::PortNameFromUserText("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(toolkit::PortNameFromUserText("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(toolkit::PortNameFromUserText("./links/../unit"), (std::filesystem::current_path() / "unit").string());
}

} // namespace

namespace {

// A search lists the ports every pass with one scanner: each pass must see the tree as it is then.
TEST(PortList, AScannerSeesEveryChangeBetweenPasses) {
    FakeSysfs sysfs;
    sysfs.AddPort("ttyUSB0", "ftdi_sio");
    sysfs.AddPort("ttyS0", "serial8250", 0);
    sysfs.AddVirtual("ttyACM0");
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
    // Like sysfs, which never hands a new entry the inode of one that went: the new one exists
    // before the old one goes.
    auto replace = [&sysfs](const std::string& name, auto&& add) {
        add(name + ".new");
        sysfs.Remove(name);
        std::filesystem::rename(sysfs.Root() + "/" + name + ".new", sysfs.Root() + "/" + name);
    };
    toolkit::SerialPortScanner scanner(OptionsFor(sysfs));
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyUSB0"}));

    sysfs.AddPort("ttyUSB1", "ftdi_sio");                             // plugged in
    sysfs.Remove("ttyUSB0");                                          // unplugged
    std::ofstream(sysfs.Root() + "/ttyS0/type") << "4\n";            // a UART set up behind the slot
    replace("ttyACM0", [&](const std::string& n) { sysfs.AddPort(n, "cdc_acm"); });  // now a device
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB1"}));

    replace("ttyUSB1", [&](const std::string& n) { sysfs.AddVirtual(n); });  // back as something else
    std::ofstream(sysfs.Root() + "/ttyS0/type") << "0\n";
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyACM0"}));
    EXPECT_EQ(scanner.List(), toolkit::ListSerialPorts(OptionsFor(sysfs)));

    // The variable naming virtual ports is read afresh too.
    setenv("TORVANE_TEST_EXTRA_PORTS", "/tmp/unit-a", 1);
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyACM0", "/tmp/unit-a"}));
    setenv("TORVANE_TEST_EXTRA_PORTS", "/tmp/unit-b:/tmp/unit-a", 1);
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyACM0", "/tmp/unit-b", "/tmp/unit-a"}));
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
    EXPECT_EQ(scanner.List(), (std::vector<std::string>{"ttyACM0"}));
}

// The scanner remembers entries in the order the directory gave them; a tree whose entries come,
// go and come back in another order must still be listed exactly, pass after pass.
TEST(PortList, AScannerKeepsUpWithATreeThatChurns) {
    FakeSysfs sysfs;
    unsetenv("TORVANE_TEST_EXTRA_PORTS");
    toolkit::SerialPortScanner scanner(OptionsFor(sysfs));
    std::vector<std::string> present;
    auto add = [&](int i) {
        const std::string name = "ttyUSB" + std::to_string(i);
        if (i % 3 == 0) sysfs.AddVirtual(name);
        else sysfs.AddPort(name, "ftdi_sio");
        if (i % 3 != 0) present.push_back(name);
    };
    for (int i = 0; i < 40; ++i) add(i);
    uint32_t seed = 7;
    for (int pass = 0; pass < 60; ++pass) {
        seed = seed * 1103515245u + 12345u;
        const int i = static_cast<int>((seed >> 8) % 40);
        const std::string name = "ttyUSB" + std::to_string(i);
        if (std::filesystem::exists(sysfs.Root() + "/" + name)) {
            sysfs.Remove(name);
            std::erase(present, name);
        } else {
            add(i);
        }
        std::vector<std::string> expected = present;
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(scanner.List(), expected) << "pass " << pass;
    }
}

} // namespace
