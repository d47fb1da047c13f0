#pragma once
// An opener for tests of code that opens devices: each path opens a fake device on its line; a
// hanging path first blocks in a real open() that does not return (a FIFO with no writer), as an
// open of a wedged driver or of a device on a hung network mount does, until Release. Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Wait.h"
#include "FakeDevice.h"

namespace testsupport {

using serialdev::FakeLine;

// Installed for its lifetime.
class HangingOpens {
public:
    explicit HangingOpens(const std::filesystem::path& dir) : FGate((dir / "gate").string()) {
        EXPECT_EQ(mkfifo(FGate.c_str(), 0600), 0);
        FPrevious = serialdev::SetDeviceOpener([this](const std::string& path) { return Open(path); });
    }
    ~HangingOpens() {
        // No open may stay blocked on the gate once the test's objects go.
        Release();
        EXPECT_TRUE(WaitUntil([&] { return FInside.load() == 0; }));
        serialdev::SetDeviceOpener(std::move(FPrevious));
        if (FWriter >= 0) ::close(FWriter);
    }
    // Before the window or opener asks: the opener reads these from its own thread.
    void Add(const std::string& path, std::shared_ptr<FakeLine> line, bool hangs = false) {
        FLines[path] = {std::move(line), hangs};
    }
    // Opens of a hanging path begun, and those still blocked.
    int Entered() const { return FEntered.load(); }
    int Inside() const { return FInside.load(); }
    // Every open blocked on the gate returns, and every later one passes: a FIFO opened for
    // reading and writing never waits, and once it has a writer, no reader waits either.
    void Release() {
        if (FWriter < 0) FWriter = ::open(FGate.c_str(), O_RDWR | O_CLOEXEC);
    }

private:
    struct Port {
        std::shared_ptr<FakeLine> line;
        bool hangs = false;
    };
    serialdev::OpenResult Open(const std::string& path) {
        const auto port = FLines.find(path);
        if (port == FLines.end()) return {nullptr, ENOENT};
        if (port->second.hangs) {
            ++FInside;
            ++FEntered;
            const int reader = ::open(FGate.c_str(), O_RDONLY | O_CLOEXEC);
            if (reader >= 0) ::close(reader);
            --FInside;
        }
        return {std::make_unique<serialdev::FakeDevice>(port->second.line, path), 0};
    }

    std::string FGate;
    std::map<std::string, Port> FLines;
    std::atomic<int> FEntered{0};
    std::atomic<int> FInside{0};
    int FWriter = -1;
    serialdev::DeviceOpener FPrevious;
};

} // namespace testsupport
