#include "toolkit/PortList.h"

#include <windows.h>

#include "toolkit/SysUtils.h"
#include "toolkit/windows/WideText.h"

namespace toolkit {

namespace {

class RegistryKey {
public:
    explicit RegistryKey(const std::string& path) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &FKey) != ERROR_SUCCESS) FKey = nullptr;
    }
    ~RegistryKey() {
        if (FKey != nullptr) ::RegCloseKey(FKey);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    std::wstring name(16384, L'\0');  // the longest value name the registry allows, and its end
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

// A string value read in full and cut at its first zero character.
std::string ReadString(HKEY key, const std::wstring& valueName) {
    const std::string shownName = Utf8(valueName.data(), valueName.size());
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        throw Exception(FormatStrings("Failed to get data for '%s'", {shownName}));
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Exception(FormatStrings("Invalid data type for '%s'", {shownName}));
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS) {
        throw Exception(FormatStrings("Failed to get data for '%s'", {shownName}));
    }
    data.resize(got / sizeof(wchar_t));
    const size_t end = data.find(L'\0');
    if (end != std::wstring::npos) data.resize(end);
    return Utf8(data.data(), data.size());
}

} // namespace

std::vector<std::string> ListSerialPorts(const SerialPortListOptions& options) {
    std::vector<std::string> ports;
    const RegistryKey key(options.registryKey);
    // A machine without serial ports has no such key: no ports, and nothing to report.
    if (key.Get() != nullptr) {
        for (const std::wstring& name : ValueNames(key.Get())) ports.push_back(ReadString(key.Get(), name));
    }
    ports.insert(ports.end(), options.extraPorts.begin(), options.extraPorts.end());
    return ports;
}

namespace {
// A name that is already a device or network path ("\\.\COM5", "\\server\...").
bool IsDevicePath(const std::string& name) { return name.rfind("\\\\", 0) == 0; }
} // namespace

std::string PortNameToDevicePath(const std::string& portName) {
    return IsDevicePath(portName) ? portName : "\\\\.\\" + portName;
}

std::string PortNameFromUserText(const std::string& text) { return text; }

// The registry is read afresh every pass; nothing is kept between passes.
struct SerialPortScanner::Kept {};

SerialPortScanner::SerialPortScanner(SerialPortListOptions options) : FOptions(std::move(options)) {}

SerialPortScanner::~SerialPortScanner() = default;

std::vector<std::string> SerialPortScanner::List() { return ListSerialPorts(FOptions); }

} // namespace toolkit
