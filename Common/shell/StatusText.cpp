#include "shell/StatusText.h"

#include <commctrl.h>

#include <atomic>
#include <memory>

namespace {

std::atomic<HWND> statusTextWindow{nullptr};

} // namespace

void SetStatusTextWindow(HWND window) { statusTextWindow.store(window); }

HWND StatusTextWindow() { return statusTextWindow.load(); }

void SetStatusText(int pane, const std::wstring& text)
{
    if (pane < 0 || pane >= STATUS_PANE_COUNT) return;
    HWND window = statusTextWindow.load();
    if (window == nullptr) return;
    auto copy = std::make_unique<std::wstring>(text);
    if (PostMessageW(window, WM_STATUS_TEXT, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(copy.get())))
        copy.release();
}

void ApplyStatusText(HWND statusBar, WPARAM wParam, LPARAM lParam)
{
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    if (statusBar == nullptr || !text) return;
    SendMessageW(statusBar, SB_SETTEXTW, wParam, reinterpret_cast<LPARAM>(text->c_str()));
}
