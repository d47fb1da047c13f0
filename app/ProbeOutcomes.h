#pragma once
// What happened at the last probe of each port, for the tooltip of the port box. The scan
// itself stays silent; this is where a user finds out why a port was passed over.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class ProbeOutcomes {
public:
    void Opened(const std::string& port);        // opened, probe sent, answer awaited
    void NoAnswer(const std::string& port);      // the next tick came without the handshake
    void Answered(const std::string& port);      // the unit is on this port
    // Failed to open or to take the probe; error is the system's error number, 0 when none.
    void Failed(const std::string& port, const std::string& devicePath, int error);
    void Gone(const std::string& port);          // the unit's port hung up
    // The open did not return within the deadline, and was given up.
    void OpenHangs(const std::string& port, std::chrono::milliseconds deadline);
    // Not opened: the last open of this port has still not returned.
    void StillHanging(const std::string& port);
    // Not opened: this many opens of other ports have still not returned.
    void TooManyHanging(const std::string& port, size_t hanging);
    // Ports no longer listed are forgotten.
    void KeepOnly(const std::vector<std::string>& ports);
    // Shown beside each port: the adapter's stable name, for ports that have one.
    void SetStableNames(std::map<std::string, std::string> names);

    std::string Tooltip() const;
    // Moves on whenever the tooltip's text may have changed, and only then.
    uint64_t Revision() const { return FRevision; }
    std::string Outcome(const std::string& port) const;

    // The user-facing outcome of an open that failed with this system error number (errno on
    // Linux, the Win32 error on Windows; 0: no error number); one file per OS.
    static std::string DescribeOpenFailure(const std::string& devicePath, int error);

    // Who may open a device, as its owner, group and mode bits say.
    struct DeviceAccess {
        std::string Owner;
        std::string Group;
        mode_t Mode = 0;
    };
    // Linux: what would let this user open a device it was refused: joining its group only where
    // the group may read and write it.
    static std::string AdvisePermission(const std::string& devicePath, const DeviceAccess& access);

private:
    void Set(const std::string& port, std::string text);
    std::vector<std::pair<std::string, std::string>> FOutcomes;  // in probe order
    std::map<std::string, std::string> FStableNames;
    uint64_t FRevision = 0;
};
