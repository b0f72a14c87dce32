#pragma once
// Running out of memory where the system, another process or a worker enters the program:
// the operation that ran out is abandoned and the user is told, and the program goes on.
#include <windows.h>

namespace fw {

extern const wchar_t* const OUT_OF_MEMORY_TEXT;

// The error box that says the last operation ran out of memory, owned by the window (or
// the active one). While one is up, another failure shows no second box.
void ShowOutOfMemory(HWND owner) noexcept;

} // namespace fw
