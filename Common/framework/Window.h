#pragma once
// A non-owning view of a window handle. Copying it copies the handle only; the window
// lives as long as whoever created it decides.
#include <windows.h>

#include <string>

namespace fw {

class Window {
public:
    Window() noexcept = default;
    Window(HWND hwnd) noexcept : hwnd_(hwnd) {}

    HWND Handle() const noexcept { return hwnd_; }
    operator HWND() const noexcept { return hwnd_; }
    // The handle is set and still names a window.
    bool IsWindow() const noexcept;

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    std::wstring GetText() const;
    bool SetText(const std::wstring& text) const;

    bool Show(int command = SW_SHOW) const; // true when the call was made, whatever the old state
    bool Hide() const { return Show(SW_HIDE); }
    bool IsVisible() const;
    bool Enable(bool enable) const;
    bool IsEnabled() const;
    bool SetFocus() const;
    bool Destroy() const;

    // Positions are in the parent's client coordinates (screen for top-level windows).
    bool Move(int x, int y, int width, int height, bool repaint = true) const;
    bool Move(const RECT& rect, bool repaint = true) const;
    RECT GetClientRect() const;
    // The window rectangle in screen coordinates.
    RECT GetWindowRect() const;
    // The window rectangle in the parent's client coordinates.
    RECT GetRectInParent() const;
    bool ScreenToClient(POINT& point) const;
    bool ClientToScreen(POINT& point) const;
    bool Invalidate(bool erase = true) const;
    bool Update() const;

    Window Child(int id) const;
    Window Parent() const;
    int GetId() const;

    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    // Clears the remove bits, sets the add bits; true when the style changed.
    bool ModifyStyle(DWORD remove, DWORD add) const;

    HFONT GetFont() const;
    void SetFont(HFONT font, bool redraw = true) const;
    void SetIcon(HICON icon, bool big) const;

    bool SetTimer(UINT_PTR id, UINT milliseconds) const;
    bool KillTimer(UINT_PTR id) const;

protected:
    HWND hwnd_ = nullptr;
};

} // namespace fw
