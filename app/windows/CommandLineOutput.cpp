#include "app/CommandLineOutput.h"

#include <windows.h>

#include <string>

#include "toolkit/windows/UniqueHandle.h"

namespace {

bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != 0;
}

// A console takes UTF-16 as it stands, whatever its code page.
bool WriteToConsole(HANDLE console, const QString& text) {
    const std::wstring wide = text.toStdWString();
    const wchar_t* at = wide.data();
    size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
        if (!WriteConsoleW(console, at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        left -= written;
    }
    return true;
}

// A file or pipe gets UTF-8, as a script reading it on any code page can decode it.
bool WriteToFile(HANDLE file, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left < (1 << 20) ? left : (1 << 20));
        if (!WriteFile(file, at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        left -= written;
    }
    return true;
}

bool WriteToHandle(HANDLE h, const QString& text) {
    return IsConsole(h) ? WriteToConsole(h, text) : WriteToFile(h, text);
}

} // namespace

void WriteCommandLineText(const QString& text, bool isError) {
    QString windowsText = text;
    windowsText.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));

    // Output redirected by whoever started the program (`torvane-capture --help > help.txt`,
    // a script reading a pipe): it goes there.
    const HANDLE standard = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (IsValid(standard) && GetFileType(standard) != FILE_TYPE_UNKNOWN && WriteToHandle(standard, windowsText)) {
        return;
    }

    // Typed in cmd or PowerShell: the shell's console shows it. The shell does not wait for a
    // window program and has printed its next prompt already, so the text starts on a new line.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        bool written = false;
        {  // closed before the console is let go
            const toolkit::UniqueHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
            if (console.Valid()) written = WriteToConsole(console.Get(), QStringLiteral("\r\n") + windowsText);
        }
        FreeConsole();
        if (written) return;
    }

    // Started from Explorer, a shortcut or the Run box: no console would be seen.
    const std::wstring message = text.trimmed().toStdWString();
    MessageBoxW(nullptr, message.c_str(), L"torvane-capture",
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}
