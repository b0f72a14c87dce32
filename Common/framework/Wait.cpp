#include "Wait.h"

#include "Dialog.h"

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

} // namespace fw
