#include "app/ProcessBoundary.h"

#include <cstdio>

#include "toolkit/qt/FileName.h"

QStringList ProcessArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << toolkit::TextFromBytes(argv[i]);
    return arguments;
}

QString MachinePortsHelp() { return QStringLiteral("the machine's ports and those in TORVANE_EXTRA_PORTS"); }

namespace {
bool WriteAll(std::string_view text, std::FILE* stream) {
    if (text.empty()) return true;
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written;
}
} // namespace

bool WriteCommandLineAnswer(std::string_view out, std::string_view err) {
    const bool outWritten = WriteAll(out, stdout);
    WriteAll(err, stderr);
    return outWritten;
}

void ReleaseCommandLineOutput() {}
