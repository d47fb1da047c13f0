#pragma once
// The termios side of the Linux tty, kept apart because <asm/termbits.h> (termios2, BOTHER)
// clashes with <termios.h>. Each call answers 0 or an errno value.
#include "serial/platform/SerialDevice.h"

namespace serialdev::tty {

// A port's terminal settings as another program left them, kept opaque here (termios2 lives in
// the .cpp only) so that close can put them back.
struct SavedTermios {
    alignas(8) unsigned char Bytes[64] = {};
};
int SaveTermios(int fd, SavedTermios& saved);
int RestoreTermios(int fd, const SavedTermios& saved);

// Raw mode: no echo, no line editing, no translation, CLOCAL|CREAD, VMIN=1, VTIME=0.
int MakeRaw(int fd);
// Every line setting through one TCSETS2, read back with TCGETS2, then the DTR/RTS levels.
int ApplyLineSettings(int fd, const LineSettings& settings);
int Flush(int fd, bool input, bool output);

} // namespace serialdev::tty
