#include "app/CommandLineOutput.h"

#include <cstdio>

void WriteCommandLineText(const QString& text, bool isError) {
    std::fputs(text.toLocal8Bit().constData(), isError ? stderr : stdout);
}
