#pragma once
// Owns one POSIX file descriptor. Closing on the way out keeps errno, so an error a caller is
// about to return survives the clean-up; a close whose result matters goes through Close().
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace toolkit {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : FFd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : FFd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    // Closes the one held (if any) and takes `fd`.
    void Reset(int fd = -1) {
        if (FFd >= 0) {
            const int saved = errno;
            ::close(FFd);
            errno = saved;
        }
        FFd = fd;
    }
    // Hands the descriptor over; this owner holds none afterwards.
    int Release() { return std::exchange(FFd, -1); }
    // Closes now: 0, or the errno of a failed close. Holds none afterwards either way.
    int Close() {
        if (FFd < 0) return 0;
        return ::close(Release()) == 0 ? 0 : errno;
    }

private:
    int FFd = -1;
};

} // namespace toolkit
