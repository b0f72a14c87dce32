#include "Wait.h"

#include "Dialog.h"

#include <optional>

namespace fw {
namespace {

constexpr UINT CLASS_NAME_BUFFER = 16;
constexpr wchar_t DIALOG_CLASS_NAME[] = L"#32770";

// A modal dialog runs no loop of its own while its handler waits here, so its
// keyboard navigation has to be done by this loop.
bool PreTranslateForWait(MSG& msg)
{
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        HWND active = ::GetActiveWindow();
        wchar_t name[CLASS_NAME_BUFFER] = {};
        if (active && (active == msg.hwnd || ::IsChild(active, msg.hwnd)) &&
            ::GetClassNameW(active, name, CLASS_NAME_BUFFER) && ::lstrcmpW(name, DIALOG_CLASS_NAME) == 0 &&
            ::IsDialogMessageW(active, &msg)) {
            return true;
        }
    }
    return Dialog::PreTranslateModeless(msg);
}

bool IsSignalled(HANDLE object) { return ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0; }

// The messages a wait that holds the input dispatches: everything below WM_USER except
// WM_CLOSE, the mouse (client and non-client), the keyboard, WM_COMMAND and
// WM_SYSCOMMAND.
struct MessageRange {
    UINT first;
    UINT last;
};
constexpr MessageRange DISPATCHED_WHILE_HOLDING[] = {
    {0, WM_CLOSE - 1},
    {WM_CLOSE + 1, WM_NCMOUSEMOVE - 1},
    {WM_NCXBUTTONDBLCLK + 1, WM_KEYFIRST - 1},
    {WM_KEYLAST + 1, WM_COMMAND - 1},
    {WM_SYSCOMMAND + 1, WM_MOUSEFIRST - 1},
    {WM_MOUSELAST + 1, WM_USER - 1},
};
// A held message that arrives wakes the wait without anything to dispatch; the wait then
// sleeps in slices rather than spin on it.
constexpr DWORD HOLDING_SLICE_MS = 10;

} // namespace

WaitCursor::WaitCursor() noexcept : previous_(::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)))) {}

WaitCursor::~WaitCursor() { ::SetCursor(previous_); }

PumpWaitResult PumpWait(HANDLE object, DWORD timeoutMs)
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        if (IsSignalled(object)) return PumpWaitResult::Signalled;
        MSG msg{};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return PumpWaitResult::Quit;
            }
            if (!PreTranslateForWait(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (IsSignalled(object)) return PumpWaitResult::Signalled;
        }
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            ULONGLONG elapsed = ::GetTickCount64() - start;
            if (elapsed >= timeoutMs) return PumpWaitResult::Timeout;
            remaining = static_cast<DWORD>(timeoutMs - elapsed);
        }
        DWORD result = ::MsgWaitForMultipleObjectsEx(1, &object, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0) return PumpWaitResult::Signalled;
        if (result == WAIT_TIMEOUT) return PumpWaitResult::Timeout;
        if (result != WAIT_OBJECT_0 + 1) return PumpWaitResult::Failed;
    }
}

void PumpWaitHoldingInput(HANDLE object)
{
    // WM_QUIT comes whatever the filter; it is posted again once the wait is over.
    std::optional<WPARAM> quit;
    while (!IsSignalled(object)) {
        bool dispatched = false;
        for (const MessageRange& range : DISPATCHED_WHILE_HOLDING) {
            MSG msg{};
            while (::PeekMessageW(&msg, nullptr, range.first, range.last, PM_REMOVE)) {
                dispatched = true;
                if (msg.message == WM_QUIT) {
                    quit = msg.wParam;
                } else {
                    ::DispatchMessageW(&msg);
                }
            }
        }
        if (dispatched) continue;
        ::MsgWaitForMultipleObjects(1, &object, FALSE, HOLDING_SLICE_MS, QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
    }
    if (quit) ::PostQuitMessage(static_cast<int>(*quit));
}

} // namespace fw
