#include "serial/platform/linux/EventFd.h"

#include <sys/eventfd.h>

#include <cstdint>

namespace serialdev {

EventFd::EventFd() : FFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void EventFd::Signal() const {
    const uint64_t one = 1;
    // Only fails when the counter is about to overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t n = ::write(FFd.Get(), &one, sizeof one);
}

void EventFd::Drain() const {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(FFd.Get(), &value, sizeof value);
}

} // namespace serialdev
