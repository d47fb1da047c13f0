#pragma once
// A wake-up flag other threads can wait on in poll or epoll: an eventfd that stays readable
// from Signal until Drain, so a wake asked for before the wait is never lost.
#include "toolkit/UniqueFd.h"

namespace serialdev {

using toolkit::UniqueFd;

class EventFd {
public:
    EventFd();  // Valid() is false (errno set) when the system refuses one
    bool Valid() const { return FFd.Valid(); }
    int Get() const { return FFd.Get(); }
    void Signal() const;
    void Drain() const;

private:
    UniqueFd FFd;
};

} // namespace serialdev
