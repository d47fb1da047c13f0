#pragma once
// Where the answer to --help, --version or a mistyped command line goes. On Linux: standard
// output or standard error. On Windows the program is a window program with no console of its
// own: the text goes where the output was redirected, else to the console of the shell that
// started it, else into a message box.
#include <QString>

void WriteCommandLineText(const QString& text, bool isError);
