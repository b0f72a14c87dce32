#include "OrletFrame.h"

#include "OrletDoc.h"
#include "OrletResource.h"
#include "session/Win32Reporter.h"

namespace {

constexpr int TOOLBAR_IMAGE_SIZE = 16;
constexpr COLORREF TOOLBAR_MASK = RGB(255, 0, 255);
// Room around each image: narrow enough for the bar to need no more than two rows on a
// 240-pixel screen.
constexpr int TOOLBAR_PADDING = 4;

HINSTANCE ModuleOf(HWND window) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)); }

constexpr int MENU_TEXT_CAPACITY = 64;

// A menu resource loads as a menu bar, which no pop-up can show; its pop-ups move into a
// pop-up menu of their own, in order, with their texts.
fw::MenuHandle PopupOf(HMENU bar)
{
    fw::MenuHandle popup(CreatePopupMenu());
    if (!popup || bar == nullptr) return popup;
    while (GetMenuItemCount(bar) > 0) {
        wchar_t text[MENU_TEXT_CAPACITY] = {};
        GetMenuStringW(bar, 0, text, MENU_TEXT_CAPACITY, MF_BYPOSITION);
        HMENU submenu = GetSubMenu(bar, 0);
        // RemoveMenu leaves the pop-up alive for its new owner.
        RemoveMenu(bar, 0, MF_BYPOSITION);
        if (submenu != nullptr) AppendMenuW(popup.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), text);
    }
    DestroyMenu(bar);
    return popup;
}

} // namespace

bool COrletFrame::CreateBar(HINSTANCE instance)
{
    if (!menuBar.Create(Handle(), IDW_MENU_BAR, ID_MENU_BAR_MENU, instance)) return false;
    // Before the buttons, which are measured with it.
    menuBar.Send(TB_SETPADDING, 0, MAKELPARAM(TOOLBAR_PADDING, TOOLBAR_PADDING));
    toolBarImages = fw::ImageList(ImageList_LoadImageW(instance, MAKEINTRESOURCEW(IDB_TOOLBAR), TOOLBAR_IMAGE_SIZE, 0,
                                                       TOOLBAR_MASK, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    return toolBarImages.IsValid() && menuBar.AddButtons(instance, IDR_MAINFRAME, toolBarImages.Get());
}

int COrletFrame::OnCreate(CREATESTRUCTW* create)
{
    if (fw::FrameWindow::OnCreate(create) == -1) return -1;
    HINSTANCE instance = create->hInstance != nullptr ? create->hInstance : ModuleOf(Handle());
    // The menu opens from the menu bar, as on the device, not from a bar of its own.
    HMENU bar = GetMenu(Handle());
    SetMenu(Handle(), nullptr);
    menu = PopupOf(bar);

    if (!CreateBar(instance)) return -1;
    AddBar(menuBar, fw::BarSide::Bottom);
    Win32Reporter().SetSilent(false);
    return 0;
}

void COrletFrame::OnClose()
{
    // The connection ends while this window still stands, so QUIT goes out long before the
    // socket library is cleaned up.
    if (auto* document = dynamic_cast<COrletDoc*>(GetDocument())) document->Disconnect();
    Win32Reporter().SetSilent(true);
    fw::FrameWindow::OnClose();
}

void COrletFrame::OnSize(UINT type, int width, int height)
{
    fw::FrameWindow::OnSize(type, width, height);
    if (type == SIZE_MINIMIZED || !menuBar.IsWindow()) return;
    // The bar's buttons take the rows the new width needs; give it their height.
    menuBar.WrapTo(width);
    const int rowsHeight = menuBar.GetIdealHeight();
    RECT bar = menuBar.GetRectInParent();
    if (rowsHeight == bar.bottom - bar.top) return;
    SetBarHeight(menuBar.Handle(), rowsHeight);
    RecalcLayout();
}

void COrletFrame::SetScreenSize(int width, int height)
{
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(Handle(), GWL_EXSTYLE)));
    SetWindowPos(Handle(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RecalcLayout();
}

void COrletFrame::OpenMenu()
{
    const UINT command = menuBar.OpenMenu(Handle(), menu.Get());
    if (command != 0) RouteCommand(command);
}

bool COrletFrame::OnCommand(UINT id)
{
    if (id != ID_MENU_BAR_MENU) return fw::FrameWindow::OnCommand(id);
    OpenMenu();
    return true;
}

bool COrletFrame::HandlesCommand(UINT id) const
{
    return id == ID_MENU_BAR_MENU || fw::FrameWindow::HandlesCommand(id);
}
