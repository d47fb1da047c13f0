#include "app/ProbeOutcomes.h"

#include <grp.h>
#include <sys/stat.h>

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
