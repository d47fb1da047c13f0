#include "ExclusiveHolder.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

ExclusiveHolder::ExclusiveHolder(const std::string& path) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        throw std::runtime_error("pipe failed");
    }
    FChild = fork();
    if (FChild == 0) {
        // Only system calls from here: the parent may have other threads.
        close(ready[0]);
        close(release[1]);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char answer = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        char c;
        while (read(release[0], &c, 1) < 0 && errno == EINTR) {
        }
        if (fd >= 0) ioctl(fd, TIOCNXCL);  // the flag outlives the program while others keep the line open
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    FRelease = release[1];
    char answer = 'n';
    ssize_t n;
    while ((n = read(ready[0], &answer, 1)) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    if (FChild < 0 || n != 1 || answer != 'y') {
        Release();
        throw std::runtime_error("could not hold " + path + " exclusively");
    }
}

ExclusiveHolder::~ExclusiveHolder() { Release(); }

void ExclusiveHolder::Release() {
    if (FRelease >= 0) close(FRelease);
    FRelease = -1;
    if (FChild > 0) {
        while (waitpid(FChild, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    FChild = -1;
}

} // namespace testsupport
