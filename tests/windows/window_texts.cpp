// Reads what a window of another program shows, and clicks its buttons, for the tests that walk
// the setup program's pages under Wine.
//   window-texts.exe dump "<part of the caption>"            the caption, then each visible
//                                                             control's text, one a line (UTF-8)
//   window-texts.exe click "<part of the caption>" "<text>"  clicks the visible button with that
//                                                             text (its & left out)
// Exit 0; 1 when there is no such window or button; 2 on wrong use.
#include <windows.h>
#include <cstdio>
#include <cwchar>

#define TEXT_SIZE 8192

struct Search {
    const wchar_t* wanted;
    HWND found;
};

static BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t caption[512];
    if (!IsWindowVisible(window) || GetWindowTextW(window, caption, 512) == 0) return TRUE;
    if (wcsstr(caption, search->wanted) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

// WM_GETTEXT reaches controls of another process, where GetWindowText gives nothing.
static void TextOf(HWND window, wchar_t* text) {
    DWORD_PTR length = 0;
    text[0] = L'\0';
    if (!SendMessageTimeoutW(window, WM_GETTEXT, TEXT_SIZE, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length)) text[0] = L'\0';
    text[TEXT_SIZE - 1] = L'\0';
}

static void PrintLine(const wchar_t* text) {
    static char utf8[TEXT_SIZE * 3];
    wchar_t line[TEXT_SIZE];
    size_t n = 0;
    for (; text[n] != L'\0' && n + 1 < TEXT_SIZE; ++n) line[n] = text[n] == L'\r' || text[n] == L'\n' ? L' ' : text[n];
    line[n] = L'\0';
    if (WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, static_cast<int>(sizeof utf8), nullptr, nullptr) > 0) std::printf("%s\n", utf8);
}

static BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    wchar_t text[TEXT_SIZE];
    if (!IsWindowVisible(control)) return TRUE;
    TextOf(control, text);
    if (text[0] != L'\0') PrintLine(text);
    return TRUE;
}

static void WithoutAmpersands(const wchar_t* from, wchar_t* to) {
    for (; *from != L'\0'; ++from) {
        if (*from != L'&') *to++ = *from;
    }
    *to = L'\0';
}

static BOOL CALLBACK FindButton(HWND control, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t class_name[64];
    wchar_t text[TEXT_SIZE];
    wchar_t plain[TEXT_SIZE];
    if (!IsWindowVisible(control) || !IsWindowEnabled(control)) return TRUE;
    if (GetClassNameW(control, class_name, 64) == 0 || _wcsicmp(class_name, L"Button") != 0) return TRUE;
    TextOf(control, text);
    WithoutAmpersands(text, plain);
    if (wcscmp(plain, search->wanted) != 0) return TRUE;
    search->found = control;
    return FALSE;
}

int wmain(int argc, wchar_t** argv) {
    Search window = {nullptr, nullptr};
    wchar_t caption[512];
    if (argc < 3) return 2;
    window.wanted = argv[2];
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&window));
    if (window.found == nullptr) return 1;
    if (wcscmp(argv[1], L"dump") == 0) {
        GetWindowTextW(window.found, caption, 512);
        PrintLine(caption);
        EnumChildWindows(window.found, PrintControl, 0);
        return 0;
    }
    if (wcscmp(argv[1], L"click") == 0 && argc == 4) {
        Search button = {argv[3], nullptr};
        EnumChildWindows(window.found, FindButton, reinterpret_cast<LPARAM>(&button));
        if (button.found == nullptr) return 1;
        PostMessageW(button.found, BM_CLICK, 0, 0);
        return 0;
    }
    return 2;
}
