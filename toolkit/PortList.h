#pragma once
// The serial ports this machine lists, in name order, plus the virtual ports named in
// TORVANE_EXTRA_PORTS (a colon-separated list of device paths) after them.
#include <string>
#include <vector>

namespace toolkit {

struct SerialPortListOptions {
    std::string sysfsRoot = "/sys/class/tty";  // injectable so tests can use a fake tree
    const char* extraPortsEnv = "TORVANE_EXTRA_PORTS";
};

std::vector<std::string> ListSerialPorts(const SerialPortListOptions& options = {});

// The device a port name stands for: "/dev/<name>", or an absolute path as it stands.
std::string PortNameToDevicePath(const std::string& portName);

} // namespace toolkit
