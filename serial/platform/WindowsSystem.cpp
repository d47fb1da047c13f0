// What the rest of the device layer asks of Windows by name.
#include "WindowsApi.h"

#include "WindowsComm.h"

namespace serialdev {

OpenResult OpenSystemDevice(const std::string& path) { return WindowsComm::Open(path); }

bool IsNoSuchDevice(int error) { return error == ERROR_FILE_NOT_FOUND; }

bool IsUnsupported(int error) { return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION; }

std::string SystemDevicePath(const std::string& name) {
    // Ports are reached through the device namespace; a name already there stays as it is.
    if (name.rfind("\\\\", 0) == 0) return name;
    return "\\\\.\\" + name;
}

} // namespace serialdev
