#pragma once
// Windows tests that drive real windows on their own thread.
#include <windows.h>

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

} // namespace testsupport
