// What the rest of the device layer asks of Linux by name.
#include <sys/stat.h>

#include <cerrno>

#include "serial/platform/linux/Tty.h"
#include "serial/platform/SerialDevice.h"

namespace serialdev {

OpenResult OpenSystemDevice(const std::string& path) { return LinuxTty::Open(path); }

int SystemDeviceAbsenceError(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) != 0 && errno == ENOENT ? ENOENT : 0;
}

// A Linux device name is a path as it stands: no prefix.
std::string SystemDevicePath(const std::string& name) { return name; }

bool IsNoSuchDevice(int error) { return error == ENOENT; }

// What drivers answer for an ioctl they do not have (a pseudo-terminal for modem lines and
// error counters) or a setting they cannot take.
bool IsUnsupported(int error) { return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == ENOSYS; }

// A device that goes away hangs its line up (poll reports it) and loses its node. Only a node
// certainly missing counts as gone: a path that cannot be looked at may still be there.
PortListedCheck SystemPortListedCheck(const std::string&) {
    return [](const std::string& path) { return SystemDeviceAbsenceError(path) == 0; };
}

} // namespace serialdev
