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
} // namespace

OpenResult OpenDevice(const std::string& path) {
    DeviceOpener opener;
    {
        std::lock_guard<std::mutex> lock(OpenerMutex());
        opener = InstalledOpener();
    }
    return opener ? opener(path) : OpenSystemDevice(path);
}

DeviceOpener SetDeviceOpener(DeviceOpener opener) {
    std::lock_guard<std::mutex> lock(OpenerMutex());
    DeviceOpener previous = std::move(InstalledOpener());
    InstalledOpener() = std::move(opener);
    return previous;
}

} // namespace serialdev
