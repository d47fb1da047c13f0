#include "app/ProbeOutcomes.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "serial/VaUtils.h"

namespace {

std::string UserName(uid_t uid) {
    passwd pw{};
    passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) != 0 || found == nullptr) return std::to_string(uid);
    return found->pw_name;
}

std::string GroupName(gid_t gid) {
    group grp{};
    group* found = nullptr;
    char buf[4096];
    if (getgrgid_r(gid, &grp, buf, sizeof buf, &found) != 0 || found == nullptr) return std::to_string(gid);
    return found->gr_name;
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

} // namespace

std::string ProbeOutcomes::AdvisePermission(const std::string& devicePath, const DeviceAccess& access) {
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    // Membership of root's group is no advice to give, even where it would open the device.
    if ((access.Mode & kGroupReadWrite) == kGroupReadWrite && access.Group != "root") {
        return "permission denied: members of the group '" + access.Group + "' may open it; join that group (on Debian: sudo adduser $USER " +
               access.Group + "), then log in again";
    }
    const std::string who = access.Owner == "root" ? "root" : "its owner " + access.Owner + " (or root)";
    return "permission denied: only " + who + " may open " + devicePath + " (" + access.Owner + ":" + access.Group + ", mode " +
           OctalMode(access.Mode) +
           "), so joining a group would not help; a udev rule giving it to a group you are in (GROUP=\"dialout\", "
           "MODE=\"0660\") or your distribution's serial group would";
}

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
        struct stat st {};
        if (stat(devicePath.c_str(), &st) != 0) {
            return "permission denied: your user may not open it (ls -l " + devicePath + " shows who may)";
        }
        return AdvisePermission(devicePath, DeviceAccess{UserName(st.st_uid), GroupName(st.st_gid), st.st_mode});
    }
    case 0:
        return "could not be opened";
    default:
        return "could not be opened: " + vautils::SystemErrorText(error);
    }
}
