#pragma once
// Writing to a console: it takes UTF-16 as it stands, whatever its code page. A console takes a
// limited amount per call, so long texts go in pieces.
#include <windows.h>

#include <string>

inline bool WriteToConsole(HANDLE console, const std::wstring& wide) {
    const wchar_t* at = wide.data();
    size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
        if (!::WriteConsoleW(console, at, chunk, &written, nullptr) || written == 0) return false;
        at += written;
        left -= written;
    }
    return true;
}
