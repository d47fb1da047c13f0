#pragma once
// The serial ports this machine lists. Linux: the ports sysfs knows, in name order, plus the
// virtual ports named in TORVANE_EXTRA_PORTS (a colon-separated list of device paths) after
// them. Windows: the string values of HKLM\<registryKey>, in the registry's order; a value of
// another type, or one that cannot be read, raises toolkit::Exception. Then, on both, the ports
// given on the command line.
#include <map>
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

// The device a port name stands for. Linux: "/dev/<name>", or an absolute path as it stands.
// Windows: "\\.\<name>", or a name that already begins with two backslashes as it stands.
std::string PortNameToDevicePath(const std::string& portName);

// For each of these ports that has one, its stable name in the by-id folder (a USB adapter's
// maker, model and serial number), so a user with several adapters can tell them apart.
std::map<std::string, std::string> SerialPortStableNames(const std::vector<std::string>& ports,
                                                         const SerialPortListOptions& options = {});

} // namespace toolkit
