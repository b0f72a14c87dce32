#include "OutOfMemory.h"

#include <atomic>

#include "App.h"

namespace fw {

const wchar_t* const OUT_OF_MEMORY_TEXT =
    L"There was not enough memory to finish the last operation; it was stopped. Closing other programs or "
    L"choosing fewer items may help.";

namespace {

// A window that fails while it paints would otherwise stack one box per repaint.
std::atomic<bool> showing{false};

} // namespace

void ShowOutOfMemory(HWND owner) noexcept
{
    if (showing.exchange(true)) return;
    const App* app = GetApp();
    // The caption is the program's name, which is already held: nothing here allocates.
    const wchar_t* caption = app != nullptr && !app->GetAppName().empty() ? app->GetAppName().c_str() : nullptr;
    ::MessageBoxW(owner, OUT_OF_MEMORY_TEXT, caption, MB_ICONERROR | MB_OK);
    showing = false;
}

} // namespace fw
