#pragma once
// A throw-away /sys/class/tty look-alike for the serial port list, with a /dev/serial/by-id
// look-alike beside it.
#include <filesystem>
#include <string>

namespace testsupport {

class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::string Root() const { return (FDir / "class-tty").string(); }
    // A tty bound to `driver`; for 8250-family drivers `uartType` is what sysfs reports (0: none).
    void AddPort(const std::string& name, const std::string& driver, int uartType = 4);
    // A tty with no device behind it (virtual consoles, pseudo-terminals).
    void AddVirtual(const std::string& name);
    void Remove(const std::string& name);

    std::string ByIdRoot() const { return (FDir / "by-id").string(); }
    // A by-id link `name` leading to `target` (as the system's: "../../ttyUSB0").
    void AddByIdLink(const std::string& name, const std::string& target);

private:
    std::filesystem::path FDir;
};

} // namespace testsupport
