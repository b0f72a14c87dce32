#include "shell/StaticEx.h"

#include <commctrl.h>

namespace {

// Distinguishes this subclass from any other on the same control.
constexpr UINT_PTR STATIC_EX_SUBCLASS_ID = 0x5E1C;

} // namespace

CStaticEx::~CStaticEx() { Detach(); }

bool CStaticEx::Attach(HWND dialog, int controlId)
{
    Detach();
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return false;
    if (!SetWindowSubclass(control, SubclassProc, STATIC_EX_SUBCLASS_ID, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = control;
    return true;
}

void CStaticEx::Detach()
{
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) RemoveWindowSubclass(hwnd_, SubclassProc, STATIC_EX_SUBCLASS_ID);
    hwnd_ = nullptr;
}

void CStaticEx::SetIcon(HICON newIcon)
{
    icon = newIcon;
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
}

void CStaticEx::Paint()
{
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(hwnd_, &paint);
    if (dc == nullptr) return;
    if (icon != nullptr) DrawIcon(dc, 0, 0, icon);
    EndPaint(hwnd_, &paint);
}

LRESULT CALLBACK CStaticEx::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self)
{
    auto* control = reinterpret_cast<CStaticEx*>(self);
    switch (message) {
    case WM_PAINT: control->Paint(); return 0;
    case WM_ERASEBKGND: {
        RECT client = {};
        ::GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, STATIC_EX_SUBCLASS_ID);
        control->hwnd_ = nullptr;
        break;
    default: break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
