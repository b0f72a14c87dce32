#include "Wait.h"

#include "App.h"
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
// WM_SYSCOMMAND, which it takes off the queue to look at.
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
constexpr MessageRange HELD_WHILE_HOLDING[] = {
    {WM_CLOSE, WM_CLOSE},        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}, {WM_KEYFIRST, WM_KEYLAST},
    {WM_COMMAND, WM_SYSCOMMAND}, {WM_MOUSEFIRST, WM_MOUSELAST},
};
// A held message that arrives wakes the wait without anything to dispatch; the wait then
// sleeps in slices rather than spin on it.
constexpr DWORD HOLDING_SLICE_MS = 10;
constexpr ULONGLONG TICK_MS = 100;
constexpr WPARAM SYSTEM_COMMAND_MASK = 0xFFF0;

// The wait that holds the input on this thread, for windows asked to close meanwhile.
class HoldingWait {
public:
    explicit HoldingWait(const HeldInputAnswers& answers) : answers(answers), outer(current) { current = this; }
    HoldingWait(const HoldingWait&) = delete;
    HoldingWait& operator=(const HoldingWait&) = delete;
    ~HoldingWait() { current = outer; }

    static HoldingWait* Current() { return current; }
    bool TakesClosing() const { return static_cast<bool>(answers.onClose); }

    void RequestClose(HWND window)
    {
        if (closing == nullptr) closing = ::GetAncestor(window, GA_ROOT);
        answers.onClose();
    }

    // Takes Esc and closing; keeps the rest for later. Pointer moves are only positions.
    void Take(const MSG& msg)
    {
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) return;
        if (answers.onStop && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            answers.onStop();
            return;
        }
        if (TakesClosing() && msg.hwnd != nullptr && IsCloseRequest(msg)) {
            RequestClose(msg.hwnd);
            return;
        }
        held.push_back(msg);
    }

    void Tick()
    {
        const ULONGLONG now = ::GetTickCount64();
        if (now - lastTick < TICK_MS) return;
        lastTick = now;
        if (answers.onTick) answers.onTick();
    }

    // After the wait: a close goes back to its window, else the held input is queued again
    // in the order it came.
    void Release()
    {
        if (closing != nullptr) {
            ::PostMessageW(closing, WM_CLOSE, 0, 0);
            return;
        }
        for (const MSG& msg : held) {
            if (msg.hwnd != nullptr) {
                ::PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
            } else {
                ::PostThreadMessageW(::GetCurrentThreadId(), msg.message, msg.wParam, msg.lParam);
            }
        }
    }

private:
    static bool IsCloseRequest(const MSG& msg)
    {
        switch (msg.message) {
        case WM_CLOSE: return true;
        case WM_SYSCOMMAND: return (msg.wParam & SYSTEM_COMMAND_MASK) == SC_CLOSE;
        case WM_SYSKEYDOWN: return msg.wParam == VK_F4;
        case WM_NCLBUTTONDOWN: return msg.wParam == HTCLOSE;
        case WM_COMMAND: return GetApp() != nullptr && GetApp()->IsCloseCommand(LOWORD(msg.wParam));
        default: return false;
        }
    }

    static thread_local HoldingWait* current;
    const HeldInputAnswers& answers;
    HoldingWait* outer;
    HWND closing = nullptr;
    std::vector<MSG> held;
    ULONGLONG lastTick = ::GetTickCount64();
};

thread_local HoldingWait* HoldingWait::current = nullptr;

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

void PumpWaitHoldingInput(HANDLE object, const HeldInputAnswers& answers)
{
    HoldingWait wait(answers);
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
        for (UINT message : answers.dispatchedPosts) {
            MSG msg{};
            while (::PeekMessageW(&msg, nullptr, message, message, PM_REMOVE)) {
                dispatched = true;
                ::DispatchMessageW(&msg);
            }
        }
        for (const MessageRange& range : HELD_WHILE_HOLDING) {
            MSG msg{};
            while (::PeekMessageW(&msg, nullptr, range.first, range.last, PM_REMOVE))
                wait.Take(msg);
        }
        wait.Tick();
        if (dispatched) continue;
        ::MsgWaitForMultipleObjects(1, &object, FALSE, HOLDING_SLICE_MS, QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
    }
    wait.Release();
    if (quit) ::PostQuitMessage(static_cast<int>(*quit));
}

bool DeferCloseDuringWait(HWND window)
{
    HoldingWait* wait = HoldingWait::Current();
    if (wait == nullptr || !wait->TakesClosing()) return false;
    wait->RequestClose(window);
    return true;
}

} // namespace fw
