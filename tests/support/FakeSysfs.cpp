#include "FakeSysfs.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "torvane-sysfs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FDir = pattern;
    fs::create_directories(FDir / "class-tty");
    fs::create_directories(FDir / "drivers");
    fs::create_directories(FDir / "by-id");
}

FakeSysfs::~FakeSysfs() {
    std::error_code ec;
    fs::remove_all(FDir, ec);
}

void FakeSysfs::AddPort(const std::string& name, const std::string& driver, int uartType) {
    const fs::path entry = FDir / "class-tty" / name;
    fs::create_directories(entry / "device");
    fs::create_directories(FDir / "drivers" / driver);
    fs::create_directory_symlink(FDir / "drivers" / driver, entry / "device" / "driver");
    std::ofstream(entry / "type") << uartType << "\n";
}

void FakeSysfs::AddVirtual(const std::string& name) { fs::create_directories(FDir / "class-tty" / name); }

void FakeSysfs::Remove(const std::string& name) { fs::remove_all(FDir / "class-tty" / name); }

void FakeSysfs::AddByIdLink(const std::string& name, const std::string& target) {
    fs::create_symlink(target, FDir / "by-id" / name);
}

} // namespace testsupport
