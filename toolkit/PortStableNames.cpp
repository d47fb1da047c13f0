#include "PortList.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace toolkit {

namespace fs = std::filesystem;

namespace {

// Device name (the link target's last component, "ttyUSB0") to the link's own name. Where
// several links lead to one device, the first in name order is kept, so the tooltip is stable.
std::map<std::string, std::string> LinksByDevice(const std::string& root) {
    std::map<std::string, std::string> byDevice;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::read_symlink(it->path(), linkEc);
        if (linkEc || target.filename().empty()) continue;
        const std::string name = it->path().filename().string();
        auto [pos, inserted] = byDevice.emplace(target.filename().string(), name);
        if (!inserted && name < pos->second) pos->second = name;
    }
    return byDevice;
}

} // namespace

std::map<std::string, std::string> SerialPortStableNames(const std::vector<std::string>& ports,
                                                         const SerialPortListOptions& options) {
    std::map<std::string, std::string> names;
    if (ports.empty()) return names;
    const std::map<std::string, std::string> byDevice = LinksByDevice(options.serialByIdRoot);
    for (const std::string& port : ports) {
        // The links lead to devices directly under /dev; a pseudo-terminal or a link of the
        // user's own elsewhere has no stable name there.
        const fs::path device = PortNameToDevicePath(port);
        if (device.parent_path() != "/dev") continue;
        const auto found = byDevice.find(device.filename().string());
        if (found != byDevice.end()) names.emplace(port, found->second);
    }
    return names;
}

SerialPortStableNamer::SerialPortStableNamer(SerialPortListOptions options) : FOptions(std::move(options)) {}

bool SerialPortStableNamer::Update(const std::vector<std::string>& ports) {
    const bool listChanged = !FDone || ports != FPorts;
    if (!listChanged && FWatchPasses == 0) return false;
    std::error_code ec;
    const fs::file_time_type folderTime = fs::last_write_time(FOptions.serialByIdRoot, ec);
    const bool folderSeen = !ec;
    if (listChanged) {
        FWatchPasses = kWatchPasses;
    } else {
        --FWatchPasses;
        if (folderSeen == FFolderSeen && (!folderSeen || folderTime == FFolderTime)) return false;
    }
    FDone = true;
    FPorts = ports;
    FFolderSeen = folderSeen;
    FFolderTime = folderTime;
    ++FLookUps;
    std::map<std::string, std::string> names = SerialPortStableNames(ports, FOptions);
    if (names == FNames) return false;
    FNames = std::move(names);
    return true;
}

} // namespace toolkit
