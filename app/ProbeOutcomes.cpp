#include "ProbeOutcomes.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "serial/VaUtils.h"

namespace {
std::string OwningGroup(const std::string& devicePath) {
    struct stat st {};
    if (stat(devicePath.c_str(), &st) != 0) return {};
    group grp {};
    group* found = nullptr;
    char buf[4096];
    if (getgrgid_r(st.st_gid, &grp, buf, sizeof buf, &found) != 0 || found == nullptr) return {};
    return found->gr_name;
}
} // namespace

std::string ProbeOutcomes::DescribeOpenFailure(const std::string& devicePath, int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "not found";
    case EBUSY:
    case EWOULDBLOCK:
        return "busy: held by another program";
    case EACCES:
    case EPERM: {
        std::string group = OwningGroup(devicePath);
        if (group.empty() || group == "root") group = "dialout";
        return "permission denied: join the group '" + group + "' that owns the device (on Debian: sudo adduser $USER " +
               group + ", then log in again)";
    }
    case 0:
        return "could not be opened";
    default:
        return "could not be opened: " + vautils::SystemErrorText(error);
    }
}

void ProbeOutcomes::Set(const std::string& port, std::string text) {
    auto it = std::find_if(FOutcomes.begin(), FOutcomes.end(), [&](const auto& p) { return p.first == port; });
    if (it == FOutcomes.end()) {
        FOutcomes.emplace_back(port, std::move(text));
    } else {
        it->second = std::move(text);
    }
}

void ProbeOutcomes::Opened(const std::string& port) { Set(port, "opened, waiting for an answer"); }
void ProbeOutcomes::NoAnswer(const std::string& port) { Set(port, "opened, no answer"); }
void ProbeOutcomes::Answered(const std::string& port) { Set(port, "the receiver unit answered"); }

void ProbeOutcomes::Failed(const std::string& port, const std::string& devicePath, int error) {
    Set(port, DescribeOpenFailure(devicePath, error));
}

void ProbeOutcomes::Gone(const std::string& port) { Set(port, "the receiver unit went away"); }

void ProbeOutcomes::KeepOnly(const std::vector<std::string>& ports) {
    FOutcomes.erase(std::remove_if(FOutcomes.begin(), FOutcomes.end(),
                                   [&](const auto& p) { return std::find(ports.begin(), ports.end(), p.first) == ports.end(); }),
                    FOutcomes.end());
}

std::string ProbeOutcomes::Outcome(const std::string& port) const {
    for (const auto& [name, text] : FOutcomes) {
        if (name == port) return text;
    }
    return {};
}

std::string ProbeOutcomes::Tooltip() const {
    if (FOutcomes.empty()) return "No serial ports found yet.";
    std::string tip = "Last probe of each port:";
    for (const auto& [name, text] : FOutcomes) {
        const auto stable = FStableNames.find(name);
        tip += "\n" + name + (stable == FStableNames.end() ? "" : " (" + stable->second + ")") + ": " + text;
    }
    return tip;
}
