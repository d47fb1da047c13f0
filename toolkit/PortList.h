#pragma once
// The serial ports this machine lists. Linux: the ports sysfs knows, in name order, plus the
// virtual ports named in TORVANE_EXTRA_PORTS (a colon-separated list of device paths) after
// them. Windows: the string values of HKLM\<registryKey>, in the registry's order; a value of
// another type, or one that cannot be read, raises toolkit::Exception. Then, on both, the ports
// given on the command line.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace toolkit {

struct SerialPortListOptions {
    std::string sysfsRoot = "/sys/class/tty";  // Linux; injectable so tests can use a fake tree
    const char* extraPortsEnv = "TORVANE_EXTRA_PORTS";
    std::vector<std::string> extraPorts;
    std::string serialByIdRoot = "/dev/serial/by-id";  // injectable as the sysfs root is
    std::string registryKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";  // Windows; injectable for tests
};

std::vector<std::string> ListSerialPorts(const SerialPortListOptions& options = {});

// For listing the ports again and again (a search reads them afresh every pass). Linux: the tree
// and the 8250 slots' UART types are read every time, but whether an entry has a driver, and
// which, is remembered for as long as that very entry stays; a device that goes and comes back is
// a new entry to sysfs (sysfs hands out inode numbers in turn, never one that just went), so it is
// looked at again.
class SerialPortScanner {
public:
    explicit SerialPortScanner(SerialPortListOptions options = {});
    ~SerialPortScanner();
    SerialPortScanner(const SerialPortScanner&) = delete;
    SerialPortScanner& operator=(const SerialPortScanner&) = delete;
    std::vector<std::string> List();

private:
    struct Kept;  // what the platform keeps between passes
    SerialPortListOptions FOptions;
    std::unique_ptr<Kept> FKept;
};

// The device a port name stands for. Linux: "/dev/<name>", or an absolute path as it stands.
// Windows: "\\.\<name>", or a name that already begins with two backslashes as it stands.
std::string PortNameToDevicePath(const std::string& portName);
// The port name for a port a user typed (on the command line): a bare name ("ttyUSB0", "COM5")
// stays a name; a relative path is taken from the current folder, as the user expects, so it
// means the same device whatever the program does later.
std::string PortNameFromUserText(const std::string& text);

// For each of these ports that has one, its stable name in the by-id folder (a USB adapter's
// maker, model and serial number), so a user with several adapters can tell them apart.
std::map<std::string, std::string> SerialPortStableNames(const std::vector<std::string>& ports,
                                                         const SerialPortListOptions& options = {});

// The same for a search that lists the ports every pass: the by-id folder is read when the port
// list changes. Its links come a moment after their ports (the device manager makes them), so for
// kWatchPasses passes after a change the folder's time is checked too, and it is read again if
// it moved; after that a pass costs nothing.
class SerialPortStableNamer {
public:
    static constexpr int kWatchPasses = 128;  // about 5 s of a search with one port

    explicit SerialPortStableNamer(SerialPortListOptions options = {});
    // True when the names for these ports may differ from the last call's; Names() has them.
    bool Update(const std::vector<std::string>& ports);
    const std::map<std::string, std::string>& Names() const { return FNames; }
    // Times the folder has been read, for tests.
    uint64_t LookUps() const { return FLookUps; }

private:
    SerialPortListOptions FOptions;
    bool FDone = false;
    std::vector<std::string> FPorts;
    int FWatchPasses = 0;
    bool FFolderSeen = false;
    std::filesystem::file_time_type FFolderTime;
    std::map<std::string, std::string> FNames;
    uint64_t FLookUps = 0;
};

} // namespace toolkit
