#include "ExclusiveHolder.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace testsupport {

ExclusiveHolder::ExclusiveHolder(const std::string& path) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    toolkit::UniqueFd readyIn(pipeFds[0]), readyOut(pipeFds[1]);
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    toolkit::UniqueFd releaseIn(pipeFds[0]), releaseOut(pipeFds[1]);
    FChild = fork();
    if (FChild == 0) {
        // Only system calls from here (the owners close with close alone): the parent may have
        // other threads.
        readyIn.Reset();
        releaseOut.Reset();
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char answer = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
        (void)!write(readyOut.Get(), &answer, 1);
        char c;
        while (read(releaseIn.Get(), &c, 1) < 0 && errno == EINTR) {
        }
        if (fd >= 0) ioctl(fd, TIOCNXCL);  // the flag outlives the program while others keep the line open
        _exit(0);
    }
    readyOut.Reset();
    releaseIn.Reset();
    FRelease = std::move(releaseOut);
    char answer = 'n';
    ssize_t n;
    while ((n = read(readyIn.Get(), &answer, 1)) < 0 && errno == EINTR) {
    }
    readyIn.Reset();
    if (FChild < 0 || n != 1 || answer != 'y') {
        Release();
        throw std::runtime_error("could not hold " + path + " exclusively");
    }
}

ExclusiveHolder::~ExclusiveHolder() { Release(); }

void ExclusiveHolder::Release() {
    FRelease.Reset();
    if (FChild > 0) {
        while (waitpid(FChild, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    FChild = -1;
}

} // namespace testsupport
