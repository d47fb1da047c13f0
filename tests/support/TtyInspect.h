#pragma once
// Reads a tty's line settings as the kernel holds them (termios2, so any rate shows). Include
// only where <termios.h> is not needed: the two clash.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace testsupport {

struct TtyState {
    uint32_t Rate = 0;
    int DataBits = 0;
    bool TwoStopBits = false;
    bool ParityOn = false;
    bool ParityOdd = false;
    bool MarkSpace = false;
    bool RtsCts = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool ParityCheck = false;
    uint8_t StartChar = 0;
    uint8_t StopChar = 0;
    bool Raw = false;  // no canonical mode, no echo, VMIN 1, VTIME 0, CLOCAL|CREAD
};

// For a pseudo-terminal pass the master fd: it reports the slave's settings.
inline TtyState ReadTtyState(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
    TtyState s;
    s.Rate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.DataBits = 5; break;
    case CS6: s.DataBits = 6; break;
    case CS7: s.DataBits = 7; break;
    default: s.DataBits = 8; break;
    }
    s.TwoStopBits = (t.c_cflag & CSTOPB) != 0;
    s.ParityOn = (t.c_cflag & PARENB) != 0;
    s.ParityOdd = (t.c_cflag & PARODD) != 0;
    s.MarkSpace = (t.c_cflag & CMSPAR) != 0;
    s.RtsCts = (t.c_cflag & CRTSCTS) != 0;
    s.XonXoffOut = (t.c_iflag & IXON) != 0;
    s.XonXoffIn = (t.c_iflag & IXOFF) != 0;
    s.ParityCheck = (t.c_iflag & INPCK) != 0;
    s.StartChar = t.c_cc[VSTART];
    s.StopChar = t.c_cc[VSTOP];
    s.Raw = (t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0 &&
            (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && (t.c_oflag & OPOST) == 0;
    return s;
}

} // namespace testsupport

namespace testsupport {

// The whole of a tty's settings, to see that a port is left as it was found.
struct TtySnapshot {
    termios2 Settings{};
    bool operator==(const TtySnapshot& o) const {
        const termios2& a = Settings;
        const termios2& b = o.Settings;
        return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
               a.c_line == b.c_line && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 && a.c_ispeed == b.c_ispeed &&
               a.c_ospeed == b.c_ospeed;
    }
};

inline TtySnapshot TakeTtySnapshot(int fd) {
    TtySnapshot s;
    if (ioctl(fd, TCGETS2, &s.Settings) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
    return s;
}

// Settings another program might have left on a line: 9600 baud, 7E1, a cooked, echoing console.
inline void SetCookedConsole(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = (t.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | CRTSCTS)) | B9600 | CS7 | PARENB | CREAD | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG;
    t.c_cc[VMIN] = 4;
    t.c_cc[VTIME] = 2;
    if (ioctl(fd, TCSETS2, &t) != 0) throw std::runtime_error(std::string("TCSETS2: ") + std::strerror(errno));
}

} // namespace testsupport
