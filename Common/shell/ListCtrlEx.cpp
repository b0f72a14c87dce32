#include "shell/ListCtrlEx.h"

#include <commctrl.h>
#include <windowsx.h>

#include <new>

#include "framework/FrameWindow.h"
#include "framework/OutOfMemory.h"

namespace {

// Distinguishes this subclass from any other on the same control.
constexpr UINT_PTR LIST_EX_SUBCLASS_ID = 0x11C7;
// WM_CONTEXTMENU's position when the menu key or Shift+F10 opened it.
constexpr LPARAM KEYBOARD_CONTEXT_POSITION = -1;

} // namespace

CListCtrlEx::~CListCtrlEx() { Detach(); }

bool CListCtrlEx::Attach(HWND dialog, int controlId, int columns)
{
    Detach();
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return false;
    if (!SetWindowSubclass(control, SubclassProc, LIST_EX_SUBCLASS_ID, reinterpret_cast<DWORD_PTR>(this))) return false;
    hwnd_ = control;
    columnCount = columns;
    return true;
}

void CListCtrlEx::Detach()
{
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) RemoveWindowSubclass(hwnd_, SubclassProc, LIST_EX_SUBCLASS_ID);
    hwnd_ = nullptr;
}

bool CListCtrlEx::CommandEnabled(UINT command) const
{
    if (commandFrame == nullptr) return true;
    fw::CommandState state(command);
    fw::RouteUpdate(commandFrame->GetCommandChain(), state);
    return state.Enabled().value_or(false);
}

fw::MenuHandle CListCtrlEx::BuildContextMenu() const
{
    if (!menuBuilder) return fw::MenuHandle();
    return menuBuilder(*this);
}

void CListCtrlEx::AppendCommand(HMENU menu, UINT command, const wchar_t* text, bool greyed) const
{
    greyed = greyed || !CommandEnabled(command);
    AppendMenuW(menu, MF_STRING | (greyed ? MF_GRAYED : MF_ENABLED), command, text);
}

POINT CListCtrlEx::ContextMenuPoint(LPARAM position) const
{
    if (position != KEYBOARD_CONTEXT_POSITION) return POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    POINT point = {0, 0};
    const int focused = GetNextItem(-1, LVNI_FOCUSED);
    if (focused >= 0) {
        EnsureVisible(focused);
        RECT row = {};
        row.left = LVIR_LABEL;
        if (Send(LVM_GETITEMRECT, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&row)) != 0)
            point = POINT{row.left, row.bottom};
    }
    ClientToScreen(point);
    return point;
}

UINT CListCtrlEx::ShowContextMenu(LPARAM position)
{
    Parent().SetFocus();
    SetFocus();
    fw::MenuHandle menu = BuildContextMenu();
    if (!menu) return 0;
    const POINT point = ContextMenuPoint(position);
    const UINT command = static_cast<UINT>(TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                                          point.x, point.y, 0, Handle(), nullptr));
    if (command != 0 && commandFrame != nullptr) commandFrame->RouteCommand(command);
    return command;
}

LRESULT CALLBACK CListCtrlEx::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self)
{
    auto* list = reinterpret_cast<CListCtrlEx*>(self);
    switch (message) {
    case WM_GETDLGCODE: return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_CONTEXTMENU:
        // The menu's command runs from here, inside the list's own window procedure.
        try {
            list->ShowContextMenu(lParam);
        } catch (const std::bad_alloc&) {
            fw::ShowOutOfMemory(window);
        }
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, LIST_EX_SUBCLASS_ID);
        list->hwnd_ = nullptr;
        break;
    default: break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
