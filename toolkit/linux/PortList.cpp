#include "toolkit/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace toolkit {

namespace fs = std::filesystem;

namespace {

std::string DriverName(const fs::path& ttyEntry) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(ttyEntry / "device" / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

// An 8250-family driver registers every port it could have; only those with a UART behind
// them answer. sysfs says which in "type" (0 means none).
bool Is8250WithoutUart(const fs::path& ttyEntry) {
    const std::string driver = DriverName(ttyEntry);
    if (driver.rfind("serial8250", 0) != 0 && driver.rfind("8250", 0) != 0) return false;
    std::ifstream type(ttyEntry / "type");
    int uartType = 0;
    if (!(type >> uartType)) return true;
    return uartType == 0;
}

bool HasDeviceDriver(const fs::path& ttyEntry) {
    std::error_code ec;
    return fs::exists(ttyEntry / "device" / "driver", ec);
}

std::vector<std::string> SplitColonList(const char* text) {
    std::vector<std::string> out;
    if (text == nullptr) return out;
    std::string item;
    for (const char* p = text;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (!item.empty()) out.push_back(item);
            item.clear();
            if (*p == '\0') break;
        } else {
            item += *p;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> ListSerialPorts(const SerialPortListOptions& options) {
    std::vector<std::string> ports;
    std::error_code ec;
    for (fs::directory_iterator it(options.sysfsRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        if (!HasDeviceDriver(entry) || Is8250WithoutUart(entry)) continue;
        ports.push_back(entry.filename().string());
    }
    std::sort(ports.begin(), ports.end());
    if (options.extraPortsEnv != nullptr) {
        for (auto& extra : SplitColonList(std::getenv(options.extraPortsEnv))) ports.push_back(extra);
    }
    ports.insert(ports.end(), options.extraPorts.begin(), options.extraPorts.end());
    return ports;
}

std::string PortNameToDevicePath(const std::string& portName) {
    if (!portName.empty() && portName.front() == '/') return portName;
    return "/dev/" + portName;
}

} // namespace toolkit
