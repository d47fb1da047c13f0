#pragma once
// The system's port list as a test sets it, in place of the system's own while it lives: one
// port is listed (asked with its name or its device path; on Windows in the device namespace)
// until Drop, or until the list has been read a given number of times more (DropAfter).
#include <mutex>
#include <string>
#include <utility>

#include "serial/platform/SerialDevice.h"

namespace testsupport {

class ScriptedPortList {
public:
    explicit ScriptedPortList(std::string port = "COM7") : FPort(std::move(port)) {
        FPrevious = serialdev::SetPortListedCheck([this](const std::string& path) {
            std::lock_guard<std::mutex> lock(FLock);
            ++FQueries;
            if (FReadsLeft > 0 && --FReadsLeft == 0) FDropped = true;
            return !FDropped && (path == FPort || path == "\\\\.\\" + FPort);
        });
    }
    ~ScriptedPortList() { serialdev::SetPortListedCheck(std::move(FPrevious)); }
    ScriptedPortList(const ScriptedPortList&) = delete;
    ScriptedPortList& operator=(const ScriptedPortList&) = delete;

    void Drop() {
        std::lock_guard<std::mutex> lock(FLock);
        FDropped = true;
    }
    // The port is still listed for the next `reads` - 1 readings, and gone from the one after.
    void DropAfter(int reads) {
        std::lock_guard<std::mutex> lock(FLock);
        FReadsLeft = reads;
    }
    int Queries() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FQueries;
    }

private:
    mutable std::mutex FLock;
    std::string FPort;
    bool FDropped = false;
    int FReadsLeft = 0;
    int FQueries = 0;
    serialdev::PortListedCheck FPrevious;
};

} // namespace testsupport
