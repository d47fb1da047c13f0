#include "toolkit/PortList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "toolkit/UniqueDir.h"
#include "toolkit/UniqueFd.h"

namespace toolkit {

namespace {

std::string DriverName(int dir, const std::string& entry) {
    char target[4096];
    const ssize_t n = readlinkat(dir, (entry + "/device/driver").c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash != nullptr ? slash + 1 : target;
}

// An 8250-family driver registers every port it could have; only those with a UART behind
// them answer. sysfs says which in "type" (0 means none); setserial can change it at any time,
// and sysfs makes the text afresh for every read from the start.
bool HasUart(int typeFd) {
    char text[32] = {};
    const ssize_t n = pread(typeFd, text, sizeof text - 1, 0);
    return n > 0 && std::atoi(text) != 0;
}

std::vector<std::string> SplitColonList(const char* text) {
    std::vector<std::string> out;
    if (text == nullptr) return out;
    std::string item;
    for (const char* p = text;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (!item.empty()) out.push_back(item);
            item.clear();
            if (*p == '\0') break;
        } else {
            item += *p;
        }
    }
    return out;
}

} // namespace

struct SerialPortScanner::Kept {
    enum class Kind { NoDriver, Driver, Driver8250 };
    struct Known {
        std::string Name;
        ino_t Inode = 0;
        Kind What = Kind::NoDriver;
        UniqueFd TypeFd{};  // an 8250 slot's "type", kept open and read again from its start
    };
    UniqueDir Tree;  // kept open between passes, read from its start each time
    // In the order the last pass read them: a directory that has not changed is read in the same
    // order, so each entry is found at once where the last pass left it.
    std::vector<Known> Entries;
    // TORVANE_EXTRA_PORTS as last read, and the ports it named.
    std::string ExtraText;
    std::vector<std::string> Extra;

    // The entry for this directory entry, at `next` in Entries (moved or made there); entries
    // before `next` are those this pass has read.
    Known& Take(int dir, const dirent& e, size_t next) {
        const std::string_view name(e.d_name);
        auto it = Entries.begin() + static_cast<std::ptrdiff_t>(next);
        if (it == Entries.end() || it->Name != name) {
            it = std::find_if(it, Entries.end(), [&](const Known& k) { return k.Name == name; });
            if (it == Entries.end()) {
                it = Entries.insert(Entries.begin() + static_cast<std::ptrdiff_t>(next), Known{std::string(name)});
            } else {
                std::rotate(Entries.begin() + static_cast<std::ptrdiff_t>(next), it, it + 1);
                it = Entries.begin() + static_cast<std::ptrdiff_t>(next);
            }
        } else if (e.d_ino != 0 && it->Inode == e.d_ino) {
            return *it;
        }
        Look(dir, *it, e.d_ino);
        return *it;
    }

    // Whether an entry has a driver, and which, looked at afresh.
    static void Look(int dir, Known& entry, ino_t inode) {
        entry.TypeFd.Reset();
        entry.What = Kind::NoDriver;
        entry.Inode = inode;
        struct stat st {};
        if (fstatat(dir, (entry.Name + "/device/driver").c_str(), &st, 0) != 0) return;
        const std::string driver = DriverName(dir, entry.Name);
        const bool family8250 = driver.rfind("serial8250", 0) == 0 || driver.rfind("8250", 0) == 0;
        entry.What = family8250 ? Kind::Driver8250 : Kind::Driver;
        if (family8250) entry.TypeFd.Reset(openat(dir, (entry.Name + "/type").c_str(), O_RDONLY | O_CLOEXEC));
    }

    const std::vector<std::string>& ExtraPorts(const char* text) {
        if (text == nullptr) text = "";
        if (ExtraText != text) {
            ExtraText = text;
            Extra = SplitColonList(text);
        }
        return Extra;
    }
};

SerialPortScanner::SerialPortScanner(SerialPortListOptions options)
    : FOptions(std::move(options)), FKept(std::make_unique<Kept>()) {}

SerialPortScanner::~SerialPortScanner() = default;

std::vector<std::string> SerialPortScanner::List() {
    using Kind = Kept::Kind;
    std::vector<std::string> ports;
    if (!FKept->Tree) {
        FKept->Tree.reset(opendir(FOptions.sysfsRoot.c_str()));
    } else {
        rewinddir(FKept->Tree.get());
    }
    size_t read = 0;
    if (FKept->Tree) {
        const int dir = dirfd(FKept->Tree.get());
        while (const dirent* e = readdir(FKept->Tree.get())) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            const Kept::Known& entry = FKept->Take(dir, *e, read++);
            if (entry.What == Kind::Driver || (entry.What == Kind::Driver8250 && HasUart(entry.TypeFd.Get()))) {
                ports.push_back(entry.Name);
            }
        }
    }
    FKept->Entries.erase(FKept->Entries.begin() + static_cast<std::ptrdiff_t>(read), FKept->Entries.end());
    std::sort(ports.begin(), ports.end());
    if (FOptions.extraPortsEnv != nullptr) {
        const std::vector<std::string>& extra = FKept->ExtraPorts(std::getenv(FOptions.extraPortsEnv));
        ports.insert(ports.end(), extra.begin(), extra.end());
    }
    ports.insert(ports.end(), FOptions.extraPorts.begin(), FOptions.extraPorts.end());
    return ports;
}

std::vector<std::string> ListSerialPorts(const SerialPortListOptions& options) { return SerialPortScanner(options).List(); }

namespace {
bool IsAbsolutePath(const std::string& name) { return !name.empty() && name.front() == '/'; }
bool IsPath(const std::string& name) { return name.find('/') != std::string::npos; }
} // namespace

std::string PortNameToDevicePath(const std::string& portName) {
    return IsAbsolutePath(portName) ? portName : "/dev/" + portName;
}

std::string PortNameFromUserText(const std::string& text) {
    if (!IsPath(text) || IsAbsolutePath(text)) return text;
    return std::filesystem::absolute(text).lexically_normal().string();
}

} // namespace toolkit
