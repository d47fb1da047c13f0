#include <mutex>

#include "SerialDevice.h"

namespace serialdev {

namespace {
std::mutex& OpenerMutex() {
    static std::mutex m;
    return m;
}
DeviceOpener& InstalledOpener() {
    static DeviceOpener opener;
    return opener;
}
PortListedCheck& InstalledCheck() {
    static PortListedCheck check;
    return check;
}
} // namespace

OpenResult OpenDevice(const std::string& path) {
    DeviceOpener opener;
    {
        std::lock_guard<std::mutex> lock(OpenerMutex());
        opener = InstalledOpener();
    }
    return opener ? opener(path) : OpenSystemDevice(path);
}

int DeviceAbsenceError(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(OpenerMutex());
        if (InstalledOpener()) return 0;
    }
    return SystemDeviceAbsenceError(path);
}

DeviceOpener SetDeviceOpener(DeviceOpener opener) {
    std::lock_guard<std::mutex> lock(OpenerMutex());
    DeviceOpener previous = std::move(InstalledOpener());
    InstalledOpener() = std::move(opener);
    return previous;
}

bool IsPortListed(const std::string& path) {
    PortListedCheck check;
    {
        std::lock_guard<std::mutex> lock(OpenerMutex());
        check = InstalledCheck();
    }
    if (!check) check = SystemPortListedCheck();
    return check(path);
}

PortListedCheck SetPortListedCheck(PortListedCheck check) {
    std::lock_guard<std::mutex> lock(OpenerMutex());
    PortListedCheck previous = std::move(InstalledCheck());
    InstalledCheck() = std::move(check);
    return previous;
}

} // namespace serialdev
