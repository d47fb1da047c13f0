// The only file that sees <asm/termbits.h>.
#include "serial/platform/linux/TtySettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace serialdev::tty {

namespace {

// A driver may report the rate its clock can actually make; within 1 % a line still works
// (a character frame tolerates several per cent), beyond that the rate was not taken.
bool RateTaken(uint32_t asked, uint32_t got) {
    const uint64_t difference = asked > got ? asked - got : got - asked;
    return difference * 100 <= asked;
}

int CheckSupported(const LineSettings& s) {
    if (s.DataBits < 5 || s.DataBits > 8) return ENOTSUP;           // 4 data bits: no such format
    if (s.Stop == StopBits::OneAndHalf && s.DataBits != 5) return ENOTSUP;  // 1.5 only with 5 bits
    if (s.OutDsrFlow || s.DsrSensitivity) return ENOTSUP;            // no DSR flow control
    if (s.Dtr == DtrControl::Handshake) return ENOTSUP;              // no DTR handshake
    if (s.Rts == RtsControl::Toggle) return ENOTSUP;                 // no RTS toggling on send
    if (s.NullStrip) return ENOTSUP;                                 // the line discipline keeps zeros
    if (s.ErrorCharReplace && s.ErrorChar != 0) return ENOTSUP;      // errors can only read as 0
    if (s.BaudRate == 0) return EINVAL;                              // rate 0 would hang the line up
    if (s.BaudRate > 0x7FFFFFFFu) return EINVAL;
    return 0;
}

void SetRawFlags(termios2& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                         IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void SetRate(termios2& t, uint32_t rate) {
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = rate;
    t.c_ispeed = rate;
}

void SetFormat(termios2& t, const LineSettings& s) {
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= kSizes[s.DataBits - 5];
    switch (s.ParityMode) {
    case Parity::None: break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    // With 5 data bits the UART sends 1.5 stop bits for CSTOPB.
    if (s.Stop != StopBits::One) t.c_cflag |= CSTOPB;
    // Without IGNPAR/PARMRK a byte received with an error reads as 0.
    if (s.ParityCheck || s.ErrorCharReplace) t.c_iflag |= INPCK;
}

void SetFlow(termios2& t, const LineSettings& s) {
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    // The kernel's hardware flow control is both ways at once: CTS gates sending, RTS signals room.
    if (s.OutCtsFlow || s.Rts == RtsControl::Handshake) t.c_cflag |= CRTSCTS;
    if (s.XonXoffOut) t.c_iflag |= IXON;
    if (s.XonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = s.XonChar;
    t.c_cc[VSTOP] = s.XoffChar;
}

int SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return 0;
    // A pseudo-terminal has no modem lines: nothing to set.
    return IsUnsupported(errno) ? 0 : errno;
}

} // namespace

static_assert(sizeof(termios2) <= sizeof(SavedTermios::Bytes));

int SaveTermios(int fd, SavedTermios& saved) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    std::memcpy(saved.Bytes, &t, sizeof t);
    return 0;
}

int RestoreTermios(int fd, const SavedTermios& saved) {
    termios2 t{};
    std::memcpy(&t, saved.Bytes, sizeof t);
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int MakeRaw(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    SetRawFlags(t);
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int ApplyLineSettings(int fd, const LineSettings& s) {
    if (const int refused = CheckSupported(s)) return refused;
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    SetRawFlags(t);
    SetRate(t, s.BaudRate);
    SetFormat(t, s);
    SetFlow(t, s);
    if (ioctl(fd, TCSETS2, &t) != 0) return errno;

    // Drivers take what they can without complaint; see what they kept. A pseudo-terminal
    // turns every character size into 8 bits and drops parity, so only what every tty keeps
    // is checked: the rate, the stop bits and the flow control.
    termios2 back{};
    if (ioctl(fd, TCGETS2, &back) != 0) return errno;
    if (!RateTaken(s.BaudRate, back.c_ospeed)) return EINVAL;
    if ((back.c_cflag & CSTOPB) != (t.c_cflag & CSTOPB)) return EINVAL;
    if ((back.c_cflag & CRTSCTS) != (t.c_cflag & CRTSCTS)) return EINVAL;
    if ((back.c_iflag & (IXON | IXOFF)) != (t.c_iflag & (IXON | IXOFF))) return EINVAL;

    if (s.Dtr != DtrControl::Handshake) {
        if (const int e = SetModemLine(fd, TIOCM_DTR, s.Dtr == DtrControl::Enabled)) return e;
    }
    // Under hardware flow control the kernel drives RTS itself.
    if ((t.c_cflag & CRTSCTS) == 0) {
        if (const int e = SetModemLine(fd, TIOCM_RTS, s.Rts == RtsControl::Enabled)) return e;
    }
    return 0;
}

int Flush(int fd, bool input, bool output) {
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ioctl(fd, TCFLSH, which) == 0 ? 0 : errno;
}

} // namespace serialdev::tty
