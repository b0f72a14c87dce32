#include "Window.h"

namespace fw {

bool Window::IsWindow() const noexcept { return hwnd_ && ::IsWindow(hwnd_); }

LRESULT Window::Send(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageW(hwnd_, message, wParam, lParam);
}

bool Window::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessageW(hwnd_, message, wParam, lParam) != FALSE;
}

std::wstring Window::GetText() const
{
    int length = ::GetWindowTextLengthW(hwnd_);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(hwnd_, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool Window::SetText(const std::wstring& text) const { return ::SetWindowTextW(hwnd_, text.c_str()) != FALSE; }

bool Window::Show(int command) const
{
    if (!IsWindow()) return false;
    ::ShowWindow(hwnd_, command);
    return true;
}

bool Window::IsVisible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }

bool Window::Enable(bool enable) const
{
    if (!IsWindow()) return false;
    ::EnableWindow(hwnd_, enable);
    return true;
}

bool Window::IsEnabled() const { return hwnd_ && ::IsWindowEnabled(hwnd_); }

bool Window::SetFocus() const { return hwnd_ && ::SetFocus(hwnd_) != nullptr; }

bool Window::Destroy() const { return hwnd_ && ::DestroyWindow(hwnd_); }

bool Window::Move(int x, int y, int width, int height, bool repaint) const
{
    return ::MoveWindow(hwnd_, x, y, width, height, repaint) != FALSE;
}

bool Window::Move(const RECT& rect, bool repaint) const
{
    return Move(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

RECT Window::GetClientRect() const
{
    RECT rect{};
    ::GetClientRect(hwnd_, &rect);
    return rect;
}

RECT Window::GetWindowRect() const
{
    RECT rect{};
    ::GetWindowRect(hwnd_, &rect);
    return rect;
}

RECT Window::GetRectInParent() const
{
    RECT rect = GetWindowRect();
    HWND parent = ::GetParent(hwnd_);
    if (parent && (GetStyle() & WS_CHILD)) {
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

bool Window::ScreenToClient(POINT& point) const { return ::ScreenToClient(hwnd_, &point) != FALSE; }

bool Window::ClientToScreen(POINT& point) const { return ::ClientToScreen(hwnd_, &point) != FALSE; }

bool Window::Invalidate(bool erase) const { return ::InvalidateRect(hwnd_, nullptr, erase) != FALSE; }

bool Window::Update() const { return ::UpdateWindow(hwnd_) != FALSE; }

Window Window::Child(int id) const { return Window(::GetDlgItem(hwnd_, id)); }

Window Window::Parent() const { return Window(::GetParent(hwnd_)); }

int Window::GetId() const { return ::GetDlgCtrlID(hwnd_); }

DWORD Window::GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)); }

DWORD Window::GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)); }

bool Window::ModifyStyle(DWORD remove, DWORD add) const
{
    DWORD old = GetStyle();
    DWORD style = (old & ~remove) | add;
    if (style == old) return false;
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(style));
    return true;
}

HFONT Window::GetFont() const { return reinterpret_cast<HFONT>(Send(WM_GETFONT)); }

void Window::SetFont(HFONT font, bool redraw) const
{
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(redraw ? TRUE : FALSE, 0));
}

void Window::SetIcon(HICON icon, bool big) const
{
    Send(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool Window::SetTimer(UINT_PTR id, UINT milliseconds) const
{
    return ::SetTimer(hwnd_, id, milliseconds, nullptr) != 0;
}

bool Window::KillTimer(UINT_PTR id) const { return ::KillTimer(hwnd_, id) != FALSE; }

} // namespace fw
