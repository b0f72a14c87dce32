#pragma once
// Waiting on the user-interface thread.
#include <windows.h>

#include <functional>
#include <vector>

namespace fw {

// Shows the hourglass while alive and restores the previous cursor.
class WaitCursor {
public:
    WaitCursor() noexcept;
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor();

private:
    HCURSOR previous_;
};

enum class PumpWaitResult { Signalled, Timeout, Quit, Failed };

// Waits for the object while dispatching this thread's messages (to dialogs through
// IsDialogMessage), so a dialog can wait for its worker without deadlock when the
// worker sends to it. On WM_QUIT the message is posted again for the outer loop.
PumpWaitResult PumpWait(HANDLE object, DWORD timeoutMs = INFINITE);

// What a wait that holds the input still answers. Every member may be empty.
struct HeldInputAnswers {
    // Esc: the user asks the work waited for to stop.
    std::function<void()> onStop;
    // The close box, Alt+F4, WM_CLOSE, WM_SYSCOMMAND SC_CLOSE or the program's exit command
    // (App::IsCloseCommand): the work must stop, and the window is closed once it has.
    std::function<void()> onClose;
    // About every tenth of a second, to show how the work goes on.
    std::function<void()> onTick;
    // The program's own posted messages that are safe to handle meanwhile (status texts).
    std::vector<UINT> dispatchedPosts;
};

// Waits for the object while this thread's windows paint, run their timers and answer
// messages sent from other threads and processes. The user's input, commands, close
// requests and the program's own posted messages wait until the object is signalled and
// are handled afterwards, so nothing can start while the object's work goes on. With
// answers, Esc and closing are taken at once instead: a close then comes back to its
// window as WM_CLOSE after the wait, and the input held meanwhile is dropped.
void PumpWaitHoldingInput(HANDLE object, const HeldInputAnswers& answers = {});

// Called by a top-level window that is asked to close: true when a wait that holds the
// input runs on this thread and took the request (the window then must not close now).
bool DeferCloseDuringWait(HWND window);

} // namespace fw
