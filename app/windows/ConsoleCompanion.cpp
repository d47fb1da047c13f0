// torvane-capture.com: the console companion of the window program torvane-capture.exe beside it.
// cmd and PowerShell start it when the user types the bare name (.com comes before .exe), and
// wait for it as for any console program. It starts the window program with the same arguments,
// passes on what that writes for the command line (help, version, errors, --summary) to this
// console or wherever it was redirected, and ends with the window program's exit code. When the
// window program shows its window instead, it lets go of the pipes and signals the event, and
// this returns at once, as the shell does for a window program.
#include <windows.h>

#include <cstdint>
#include <string>
#include <thread>

#include "ConsoleWrite.h"
#include "toolkit/windows/UniqueHandle.h"
#include "toolkit/windows/WideText.h"

namespace {

using toolkit::UniqueHandle;

// The arguments after the program's own name, as the command line has them (CommandLineToArgvW's
// rule for the first argument: quoted up to the next quote, else up to the first blank).
std::wstring ArgumentsAfterProgram(const std::wstring& commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring::npos ? commandLine.size() : at + 1;
    } else {
        at = commandLine.find_first_of(L" \t");
        if (at == std::wstring::npos) at = commandLine.size();
    }
    return commandLine.substr(at);
}

// How much of `bytes` is whole UTF-8 sequences: a sequence cut by the end of a read waits for
// the next one.
size_t WholeUtf8Prefix(const std::string& bytes) {
    const size_t size = bytes.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(bytes[size - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

bool WriteAll(HANDLE to, const char* data, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(to, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool WriteConsoleText(HANDLE console, const std::string& utf8) { return WriteToConsole(console, toolkit::Wide(utf8)); }

// Copies the window program's UTF-8 from the pipe to this process's stream: to a console as
// UTF-16 (any code page shows it), to a file or pipe as the bytes they are.
void Relay(HANDLE from, DWORD streamId) {
    const HANDLE to = ::GetStdHandle(streamId);
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(to, &mode) != 0;
    std::string pending;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (!console) {
            WriteAll(to, buffer, got);
            continue;
        }
        pending.append(buffer, got);
        const size_t whole = WholeUtf8Prefix(pending);
        WriteConsoleText(to, pending.substr(0, whole));
        pending.erase(0, whole);
    }
    if (console && !pending.empty()) WriteConsoleText(to, pending);
}

std::wstring WindowProgramPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
    return path + L".exe";
}

} // namespace

int main() {
    const std::wstring program = WindowProgramPath();
    std::wstring commandLine = L"\"" + program + L"\"" + ArgumentsAfterProgram(::GetCommandLineW());

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inheritable, 0) || !::CreatePipe(&errRead, &errWrite, &inheritable, 0)) return 1;
    const UniqueHandle outReadOwner(outRead), errReadOwner(errRead);
    UniqueHandle outWriteOwner(outWrite), errWriteOwner(errWrite);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    const UniqueHandle released(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    if (!released.Valid()) return 1;
    ::SetEnvironmentVariableW(L"TORVANE_COMPANION_EVENT",
                              std::to_wstring(reinterpret_cast<uintptr_t>(released.Get())).c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = ::GetLastError();
        const std::string message = "torvane-capture: " + toolkit::Utf8(program.c_str(), program.size()) +
                                    " could not be started (error " + std::to_string(error) + ")\n";
        const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
        DWORD mode = 0;
        if (::GetConsoleMode(err, &mode)) WriteConsoleText(err, message);
        else WriteAll(err, message.data(), static_cast<DWORD>(message.size()));
        return 1;
    }
    const UniqueHandle child(process.hProcess), childThread(process.hThread);
    // Only the window program holds the writing ends now: the pipes end when it lets go of them.
    outWriteOwner.Reset();
    errWriteOwner.Reset();
    std::thread outRelay(Relay, outRead, STD_OUTPUT_HANDLE);
    std::thread errRelay(Relay, errRead, STD_ERROR_HANDLE);

    const HANDLE ends[] = {child.Get(), released.Get()};
    const DWORD which = ::WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    outRelay.join();
    errRelay.join();
    if (which != WAIT_OBJECT_0) return 0;  // the window is up and runs on its own
    DWORD exitCode = 1;
    ::GetExitCodeProcess(child.Get(), &exitCode);
    return static_cast<int>(exitCode);
}
