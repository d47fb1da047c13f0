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
        int TypeFd = -1;  // an 8250 slot's "type", kept open and read again from its start
        bool Seen = false;
    };
    DIR* Tree = nullptr;  // kept open between passes, read from its start each time
    std::vector<Known> Entries;  // in name order

    ~Kept() {
        for (Known& k : Entries) Forget(k);
        if (Tree != nullptr) closedir(Tree);
    }

    static void Forget(Known& entry) {
        if (entry.TypeFd >= 0) close(entry.TypeFd);
        entry.TypeFd = -1;
        entry.What = Kind::NoDriver;
    }

    Known& Lookup(int dir, const dirent& e) {
        const std::string_view name(e.d_name);
        auto it = std::lower_bound(Entries.begin(), Entries.end(), name,
                                   [](const Known& k, std::string_view n) { return k.Name < n; });
        if (it != Entries.end() && it->Name == name && e.d_ino != 0 && it->Inode == e.d_ino) return *it;
        if (it == Entries.end() || it->Name != name) it = Entries.insert(it, Known{std::string(name)});
        Forget(*it);
        it->Inode = e.d_ino;
        struct stat st {};
        if (fstatat(dir, (it->Name + "/device/driver").c_str(), &st, 0) == 0) {
            const std::string driver = DriverName(dir, it->Name);
            const bool family8250 = driver.rfind("serial8250", 0) == 0 || driver.rfind("8250", 0) == 0;
            it->What = family8250 ? Kind::Driver8250 : Kind::Driver;
            if (family8250) it->TypeFd = openat(dir, (it->Name + "/type").c_str(), O_RDONLY | O_CLOEXEC);
        }
        return *it;
    }
};

SerialPortScanner::SerialPortScanner(SerialPortListOptions options)
    : FOptions(std::move(options)), FKept(std::make_unique<Kept>()) {}

SerialPortScanner::~SerialPortScanner() = default;

std::vector<std::string> SerialPortScanner::List() {
    using Kind = Kept::Kind;
    std::vector<std::string> ports;
    if (FKept->Tree == nullptr) {
        FKept->Tree = opendir(FOptions.sysfsRoot.c_str());
    } else {
        rewinddir(FKept->Tree);
    }
    for (Kept::Known& k : FKept->Entries) k.Seen = false;
    if (FKept->Tree != nullptr) {
        const int dir = dirfd(FKept->Tree);
        while (const dirent* e = readdir(FKept->Tree)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            Kept::Known& entry = FKept->Lookup(dir, *e);
            entry.Seen = true;
            if (entry.What == Kind::Driver || (entry.What == Kind::Driver8250 && HasUart(entry.TypeFd))) {
                ports.push_back(entry.Name);
            }
        }
    }
    std::erase_if(FKept->Entries, [](Kept::Known& k) {
        if (!k.Seen) Kept::Forget(k);
        return !k.Seen;
    });
    std::sort(ports.begin(), ports.end());
    if (FOptions.extraPortsEnv != nullptr) {
        for (auto& extra : SplitColonList(std::getenv(FOptions.extraPortsEnv))) ports.push_back(extra);
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
