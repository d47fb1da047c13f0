#include "app/ProcessBoundary.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <string>

#include "ConsoleWrite.h"
#include "toolkit/windows/UniqueHandle.h"
#include "toolkit/windows/WideText.h"

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

QString MachinePortsHelp() { return QStringLiteral("the machine's ports"); }

namespace {

// Set by the console companion (torvane-capture.com): the event it waits on beside this process.
constexpr wchar_t kCompanionEventVariable[] = L"TORVANE_COMPANION_EVENT";

bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return ::GetConsoleMode(h, &mode) != 0;
}

// A file or pipe gets UTF-8, as a script reading it on any code page can decode it.
bool WriteToFile(HANDLE file, std::string_view bytes) {
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left < (1u << 20) ? left : (1u << 20));
        if (!::WriteFile(file, at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        left -= written;
    }
    return true;
}

bool WriteToHandle(HANDLE h, const std::string& text) {
    if (!IsValid(h) || ::GetFileType(h) == FILE_TYPE_UNKNOWN) return false;
    return IsConsole(h) ? WriteToConsole(h, toolkit::Wide(text)) : WriteToFile(h, text);
}

std::string WindowsLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Typed in cmd or PowerShell without the companion: the shell's console shows it. The shell does
// not wait for a window program and has printed its next prompt already, so the text starts on a
// new line.
bool WriteToParentConsole(const std::string& text) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    bool written = false;
    {  // closed before the console is let go
        const toolkit::UniqueHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (console.Valid()) written = WriteToConsole(console.Get(), toolkit::Wide("\r\n" + text));
    }
    ::FreeConsole();
    return written;
}

} // namespace

bool WriteCommandLineAnswer(std::string_view out, std::string_view err) {
    const std::string outText = WindowsLineEnds(out), errText = WindowsLineEnds(err);
    // Where whoever started the program put its output (the companion's pipes, a file, a pipe
    // of a script): each stream goes there; what cannot goes on together below.
    const bool outDone = outText.empty() || WriteToHandle(::GetStdHandle(STD_OUTPUT_HANDLE), outText);
    const bool errDone = errText.empty() || WriteToHandle(::GetStdHandle(STD_ERROR_HANDLE), errText);
    if (outDone && errDone) return true;
    const std::string left = (outDone ? std::string() : outText) + (errDone ? std::string() : errText);
    if (WriteToParentConsole(left)) return true;
    // Started from Explorer, a shortcut or the Run box: no console would be seen.
    QString message = QString::fromUtf8(left.data(), static_cast<qsizetype>(left.size())).trimmed();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const std::wstring wide = message.toStdWString();
    ::MessageBoxW(nullptr, wide.c_str(), L"torvane-capture", MB_OK | MB_SETFOREGROUND | (errDone ? MB_ICONINFORMATION : MB_ICONERROR));
    return true;
}

void ReleaseCommandLineOutput() {
    // The output handles may be the companion's pipes: closed here, it reads to their end. The
    // C library's streams go to NUL instead, so nothing written later lands in a closed handle.
    // (The C library took the handles it was started with as its streams' own, and closes them.)
    for (const auto& [stream, id] : {std::pair{stdout, STD_OUTPUT_HANDLE}, std::pair{stderr, STD_ERROR_HANDLE}}) {
        if (std::freopen("NUL", "w", stream) != nullptr) {
            ::SetStdHandle(id, reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))));
        }
    }
    wchar_t value[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(kCompanionEventVariable, value, 32);
    ::SetEnvironmentVariableW(kCompanionEventVariable, nullptr);  // not for programs started from here
    if (length == 0 || length >= 32) return;
    const auto event = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(value, nullptr, 10)));
    ::SetEvent(event);
    ::CloseHandle(event);
}
