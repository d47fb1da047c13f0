#pragma once
// What differs per OS at the edge of the process, one file per OS: the arguments as the system
// gives them, the help's words for where ports come from, and the one way out for every answer
// of the command line (help, version, errors, --summary).
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

// The process's arguments, the program's path first, as the system gave them, in the lossless
// text of toolkit/qt/FileName.h: UTF-16 on Windows (never through the ANSI code page), the bytes
// as they are on Linux (whatever the locale).
QStringList ProcessArguments(int argc, char** argv);

// Where the search's ports come from, for the help of --port.
QString MachinePortsHelp();

// Writes a command-line answer: `out` to standard output, `err` to standard error, both UTF-8
// (on Linux a file name's own bytes may be among them). Linux: as they are. Windows, where the
// program is a window program: to the console companion's pipes or wherever the caller
// redirected them, else to the console of the shell that started it, else in one message box.
// False when `out` could not be written whole.
bool WriteCommandLineAnswer(std::string_view out, std::string_view err);

// The window is about to run: a console companion waiting for answers on the output gets its
// end of them, and returns to its shell (Windows); nothing to do elsewhere.
void ReleaseCommandLineOutput();
