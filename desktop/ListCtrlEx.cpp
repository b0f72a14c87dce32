#include "ListCtrlEx.h"

#include <commctrl.h>
#include <windowsx.h>

#include "framework/FrameWindow.h"
#include "resource.h"

namespace {

// Distinguishes this subclass from any other on the same control.
constexpr UINT_PTR LIST_EX_SUBCLASS_ID = 0x11C7;
// WM_CONTEXTMENU's position when the menu key or Shift+F10 opened it.
constexpr LPARAM KEYBOARD_CONTEXT_POSITION = -1;

enum class Greyed { Never, NoSelection, NotOneSelected };

struct MenuItem {
    UINT command;
    const wchar_t* text;
    Greyed greyed;
};

constexpr MenuItem COPY_ITEM = {ID_EDIT_COPY, L"Copy", Greyed::NoSelection};
constexpr MenuItem PASTE_ITEM = {ID_EDIT_PASTE, L"Paste", Greyed::Never};
constexpr MenuItem LOCAL_ITEMS[] = {
    {ID_FILE_DOWNLOAD_TO, L"Download To...", Greyed::NoSelection},
    {ID_FILE_UPLOAD_FILES, L"Upload Files...", Greyed::Never},
};
constexpr MenuItem FILE_ITEMS[] = {
    {ID_FILE_NEW_DIRECTORY, L"New Directory...", Greyed::Never},
    {ID_FILE_RENAME, L"Rename", Greyed::NotOneSelected},
    {ID_FILE_DELETE, L"Delete", Greyed::NoSelection},
    {ID_FILE_MOVE_TO, L"Move To...", Greyed::NoSelection},
};
constexpr MenuItem CHMOD_ITEM = {ID_TOOLS_CHMOD, L"CHMOD...", Greyed::NoSelection};
constexpr MenuItem PROPERTIES_ITEM = {ID_FILE_PROPERTIES, L"Properties", Greyed::NotOneSelected};
constexpr MenuItem VIEW_ITEMS[] = {
    {ID_VIEW_ICONS, L"Icons", Greyed::Never},
    {ID_VIEW_LIST, L"List", Greyed::Never},
    {ID_VIEW_DETAILS, L"Details", Greyed::Never},
};
const wchar_t* const VIEW_MENU_TEXT = L"View";

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
    const int selected = GetSelectedCount();
    auto append = [&](HMENU menu, const MenuItem& item) {
        bool greyed = !isConnected || (item.greyed == Greyed::NoSelection && selected == 0) ||
                      (item.greyed == Greyed::NotOneSelected && selected != 1) || !CommandEnabled(item.command);
        AppendMenuW(menu, MF_STRING | (greyed ? MF_GRAYED : MF_ENABLED), item.command, item.text);
    };

    fw::MenuHandle menu(CreatePopupMenu());
    if (!menu) return menu;
    append(menu.Get(), COPY_ITEM);
    if (IsClipboardFormatAvailable(CF_HDROP)) append(menu.Get(), PASTE_ITEM);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : LOCAL_ITEMS)
        append(menu.Get(), item);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : FILE_ITEMS)
        append(menu.Get(), item);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    if (isRemote) append(menu.Get(), CHMOD_ITEM);
    append(menu.Get(), PROPERTIES_ITEM);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);

    HMENU view = CreatePopupMenu();
    if (view == nullptr) return menu;
    const DWORD mode = GetViewMode();
    for (const MenuItem& item : VIEW_ITEMS) {
        append(view, item);
        const bool current = (item.command == ID_VIEW_ICONS && mode == LVS_ICON) ||
                             (item.command == ID_VIEW_LIST && mode == LVS_LIST) ||
                             (item.command == ID_VIEW_DETAILS && mode == LVS_REPORT);
        if (current) CheckMenuRadioItem(view, item.command, item.command, item.command, MF_BYCOMMAND);
    }
    // The pop-up belongs to the menu from here on and is destroyed with it.
    AppendMenuW(menu.Get(), MF_POPUP | (isConnected ? MF_ENABLED : MF_GRAYED), reinterpret_cast<UINT_PTR>(view),
                VIEW_MENU_TEXT);
    return menu;
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
    case WM_CONTEXTMENU: list->ShowContextMenu(lParam); return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, SubclassProc, LIST_EX_SUBCLASS_ID);
        list->hwnd_ = nullptr;
        break;
    default: break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
