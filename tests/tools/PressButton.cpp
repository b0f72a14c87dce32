// pressbutton: presses a button in another program's window, as a user's click would, for
// tests that go through an installer's pages.
//   pressbutton CAPTION_PART BUTTON_TEXT [SECONDS]
// Waits (default 60 s) for a visible top-level window whose caption contains CAPTION_PART
// and that has an enabled button labelled BUTTON_TEXT (the "&" of a mnemonic left out),
// and clicks it. Status 0 when it clicked, 1 when no such button appeared.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int TEXT_CAPACITY = 512;
constexpr DWORD LOOK_INTERVAL_MS = 200;
constexpr int DEFAULT_SECONDS = 60;
constexpr int MS_PER_SECOND = 1000;

struct Search {
    std::wstring caption;
    std::wstring button;
    HWND found = nullptr;
};

std::wstring WindowText(HWND window)
{
    wchar_t text[TEXT_CAPACITY] = {};
    GetWindowTextW(window, text, TEXT_CAPACITY);
    std::wstring plain;
    for (const wchar_t* c = text; *c != L'\0'; ++c)
        if (*c != L'&') plain += *c;
    return plain;
}

BOOL CALLBACK FindButton(HWND child, LPARAM search)
{
    auto& wanted = *reinterpret_cast<Search*>(search);
    wchar_t className[TEXT_CAPACITY] = {};
    GetClassNameW(child, className, TEXT_CAPACITY);
    if (_wcsicmp(className, L"Button") != 0 || !IsWindowVisible(child) || !IsWindowEnabled(child)) return TRUE;
    if (WindowText(child) != wanted.button) return TRUE;
    wanted.found = child;
    return FALSE;
}

BOOL CALLBACK FindWindowWithButton(HWND window, LPARAM search)
{
    auto& wanted = *reinterpret_cast<Search*>(search);
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t caption[TEXT_CAPACITY] = {};
    GetWindowTextW(window, caption, TEXT_CAPACITY);
    if (std::wstring(caption).find(wanted.caption) == std::wstring::npos) return TRUE;
    EnumChildWindows(window, FindButton, search);
    return wanted.found == nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc > 4) {
        std::fputs("usage: pressbutton CAPTION_PART BUTTON_TEXT [SECONDS]\n", stderr);
        return 2;
    }
    const int seconds = argc == 4 ? _wtoi(argv[3]) : DEFAULT_SECONDS;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * MS_PER_SECOND;
    Search search{argv[1], argv[2]};
    while (GetTickCount64() < deadline) {
        search.found = nullptr;
        EnumWindows(FindWindowWithButton, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            // Posted, like a click: a button that opens a modal box would not return to us.
            PostMessageW(search.found, BM_CLICK, 0, 0);
            return 0;
        }
        Sleep(LOOK_INTERVAL_MS);
    }
    std::fprintf(stderr, "pressbutton: no button \"%ls\" in a window \"%ls\" within %d s\n", argv[2], argv[1], seconds);
    return 1;
}
