// What the rest of the device layer asks of Windows by name.
#include "serial/platform/windows/Api.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "serial/platform/windows/Comm.h"
#include "toolkit/PortList.h"
#include "toolkit/SysUtils.h"
#include "toolkit/windows/WideText.h"

namespace serialdev {

OpenResult OpenSystemDevice(const std::string& path) { return WindowsComm::Open(path); }

bool IsNoSuchDevice(int error) { return error == ERROR_FILE_NOT_FOUND; }

bool IsUnsupported(int error) { return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION; }

namespace {

// A port name as the registry lists it: without the device namespace, in one case.
std::wstring ListedForm(const std::string& path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    std::wstring wide = toolkit::Wide(name);
    std::transform(wide.begin(), wide.end(), wide.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return wide;
}

} // namespace

PortListedCheck SystemPortListedCheck(const std::string& registryKey) {
    return [registryKey](const std::string& path) {
        toolkit::SerialPortListOptions options;
        options.registryKey = registryKey;
        options.extraPortsEnv = nullptr;
        std::vector<std::string> ports;
        try {
            ports = toolkit::ListSerialPorts(options);
        } catch (const toolkit::Exception&) {
            return true;  // a value that cannot be read: the list cannot tell
        }
        const std::wstring wanted = ListedForm(path);
        return std::any_of(ports.begin(), ports.end(), [&](const std::string& port) { return ListedForm(port) == wanted; });
    };
}

// A COM device cannot be looked at without opening it.
int SystemDeviceAbsenceError(const std::string&) { return 0; }

std::string SystemDevicePath(const std::string& name) {
    // Ports are reached through the device namespace; a name already there stays as it is.
    if (name.rfind("\\\\", 0) == 0) return name;
    return "\\\\.\\" + name;
}

} // namespace serialdev
