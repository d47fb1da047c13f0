#pragma once
// A pseudo-terminal pair for tests: the slave path is what the component opens, the master fd
// is the test's side of the line. Waits use poll, never sleeps.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/UniqueFd.h"

namespace testsupport {

class PtyPair {
public:
    PtyPair();  // raw mode on both sides; throws std::runtime_error on failure
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }
    int MasterFd() const { return FMaster.Get(); }

    // Writes all bytes to the master side (what the device "sends").
    void Send(const std::string& bytes) const;
    void Send(const std::vector<uint8_t>& bytes) const;
    // Reads from the master side what the component wrote, until `count` bytes have arrived or
    // `timeoutMs` passed without any.
    std::string Receive(size_t count, int timeoutMs = 2000) const;
    // Blocks until bytes sent wait unread on the component's side, or timeoutMs passed.
    bool WaitArrived(int timeoutMs = 10000) const;
    // Closes the master side: the slave side sees a hang-up.
    void CloseMaster();

private:
    // Declared in this order so the slave side closes first, then the master.
    toolkit::UniqueFd FMaster;
    toolkit::UniqueFd FSlaveKeepAlive;  // holds the slave open so bytes sent before Open are not lost
    std::string FSlavePath;
};

} // namespace testsupport

