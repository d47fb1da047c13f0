#include "app/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

// argv holds the arguments in the ANSI code page, where a name like "Müşteri Ölçüm" has already
// lost its letters; the command line in UTF-16 still has them.
QStringList ProcessArguments(int, char**) {
    QStringList arguments;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) arguments << QString::fromWCharArray(wide[i]);
    ::LocalFree(wide);
    return arguments;
}
