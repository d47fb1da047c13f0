#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    FMaster.Reset(master);
    FSlaveKeepAlive.Reset(slave);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    FSlavePath = name;
}

void PtyPair::Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(FMaster.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{FMaster.Get(), POLLOUT, 0};
                poll(&p, 1, 1000);
                continue;
            }
            throw std::runtime_error(std::string("pty write: ") + std::strerror(errno));
        }
        done += static_cast<size_t>(n);
    }
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) const {
    Send(std::string(bytes.begin(), bytes.end()));
}

std::string PtyPair::Receive(size_t count, int timeoutMs) const {
    std::string out;
    while (out.size() < count) {
        pollfd p{FMaster.Get(), POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        if (ready <= 0 || !(p.revents & POLLIN)) break;
        char buf[4096];
        const ssize_t n = read(FMaster.Get(), buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

void PtyPair::CloseMaster() {
    FSlaveKeepAlive.Reset();
    FMaster.Reset();
}

bool PtyPair::WaitArrived(int timeoutMs) const {
    // The kept-open slave descriptor shares the tty's input queue with the component's.
    pollfd p{FSlaveKeepAlive.Get(), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
}

} // namespace testsupport
