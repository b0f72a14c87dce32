#pragma once
// Windows tests that drive real windows on their own thread.
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "support/Wait.h"

namespace testsupport {

// Dispatches this thread's queued messages, as a message loop would between two waits;
// true when WM_QUIT was among them.
inline bool PumpMessages()
{
    bool quit = false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return quit;
}

// Dispatches this thread's messages until done() holds; false when it still does not after
// `patience`. A WM_QUIT on the way sets *quit.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience,
                      bool* quit = nullptr)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (PumpMessages() && quit != nullptr) *quit = true;
        if (!done()) Sleep(5);
    }
    return true;
}

// Whether a menu item (sub-menus included) is enabled; none when the menu lacks it.
inline std::optional<bool> MenuItemEnabled(HMENU menu, UINT command)
{
    const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) return std::nullopt;
    return (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

// A menu's items in order, "-" for a separator and a pop-up's items in brackets after its
// text: "Copy|-|View[Icons|List|Details]".
inline std::wstring MenuLayout(HMENU menu)
{
    std::wstring layout;
    for (int index = 0; index < GetMenuItemCount(menu); ++index) {
        if (index > 0) layout += L'|';
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(index), text, 64, MF_BYPOSITION);
        const bool separator = (GetMenuState(menu, static_cast<UINT>(index), MF_BYPOSITION) & MF_SEPARATOR) != 0;
        layout += separator ? L"-" : text;
        if (HMENU popup = GetSubMenu(menu, index)) layout += L'[' + MenuLayout(popup) + L']';
    }
    return layout;
}

} // namespace testsupport
