#pragma once
// Waiting on the user-interface thread.
#include <windows.h>

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

// Waits for the object while this thread's windows paint, run their timers and answer
// messages sent from other threads and processes. The user's input, commands, close
// requests and the program's own posted messages stay queued and are handled after the
// wait, so nothing can start while the object's work goes on.
void PumpWaitHoldingInput(HANDLE object);

} // namespace fw
