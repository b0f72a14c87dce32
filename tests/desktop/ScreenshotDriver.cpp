// Starts the desktop program's windows for a screenshot and, by its argument, opens one
// of its dialogs over them: "about" or "prompt"; no argument shows the main window.
// "pane" walks the typical road against vsftpd (run under ftpfixture): a prepared tree,
// the site opened as the Site Manager would, the listing shown; "context-menu" then opens
// the list's context menu over a selected row; "drag-over" shows files from the shell
// dragged over a directory row, and "file-menu" opens the File menu.
// Test-only: the program itself takes no options.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "dragdrop/VirtualFiles.h"
#include "resource.h"
#include "session/SessionTestSupport.h"
#include "shell/TextDlg.h"
#include "support/RealServers.h"

namespace {

constexpr int SELECTED_ROW = 6;
constexpr UINT MENU_DELAY_MS = 1000;
// Room for the whole listing and the toolbar in one row, on a 1024 x 768 desktop.
constexpr RECT PANE_FRAME = {60, 40, 60 + 880, 40 + 640};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A small project's download area.
void PrepareTree(const testsupport::RealServer& server, const std::string& top)
{
    for (const char* directory : {"docs", "releases", "src", "incoming"})
        server.MakeDirectory(top + "/" + directory);
    server.WriteFile(top + "/README", std::string(1480, 'r'));
    server.WriteFile(top + "/CHANGES.txt", std::string(23110, 'c'));
    server.WriteFile(top + "/index.html", std::string(5320, 'h'));
    server.WriteFile(top + "/orvid-3.3-setup.exe", std::string(1843200, 'x'));
    server.WriteFile(top + "/orvid-3.3-src.zip", std::string(912384, 'z'));
    server.WriteFile(top + "/screenshot.png", std::string(48211, 'p'));
    server.WriteFile(top + "/manual.pdf", std::string(366080, 'm'));
    server.WriteFile(top + "/mirrors.csv", std::string(712, 'm'));
}

// Connects the document to vsftpd in the prepared tree; false when there is no server.
bool ConnectToVsftpd(COrvidApp& app, std::unique_ptr<testsupport::RealServer>& server)
{
    std::string why;
    server = testsupport::RealServer::Start(testsupport::ServerKind::Vsftpd, &why);
    if (!server) return false;
    const std::string top = "pub";
    PrepareTree(*server, top);

    SiteRecord site = RealServerSite(*server, L"Vantrel mirror");
    SetText(site.directory, Wide(top));

    auto& document = *static_cast<COrvidDoc*>(app.GetDocument());
    if (!OpenSite(document.Session(), site)) return false;
    GoToStartDirectory(document.Session(), Wide(top));
    document.OnSiteConnected(L"Vantrel mirror (127.0.0.1:" + std::to_wstring(site.port) + L")");
    return true;
}

CListCtrlEx* contextList = nullptr;

// Opens the list's context menu over the selected row, as a right-click would.
void CALLBACK OpenContextMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    RECT row = {};
    row.left = LVIR_LABEL;
    contextList->Send(LVM_GETITEMRECT, SELECTED_ROW, reinterpret_cast<LPARAM>(&row));
    POINT point = {row.left + (row.right - row.left) / 2, (row.top + row.bottom) / 2};
    contextList->ClientToScreen(point);
    contextList->Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(contextList->Handle()), MAKELPARAM(point.x, point.y));
}

COrvidView* dragView = nullptr;
constexpr int DRAG_TARGET_ROW = 2;

// Files from the shell held over a directory row, the mouse button still down: the row
// becomes the drop's target.
void CALLBACK DragOverRow(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    static fw::ComPtr<IDataObject> data = dragdroptests::ShellFileDrop({std::wstring(windows) + L"\\win.ini"}, false);
    CListCtrlEx& list = dragView->List();
    RECT row = {};
    row.left = LVIR_LABEL;
    list.Send(LVM_GETITEMRECT, DRAG_TARGET_ROW, reinterpret_cast<LPARAM>(&row));
    POINT point = {row.left + 8, (row.top + row.bottom) / 2};
    list.ClientToScreen(point);
    const POINTL at = {point.x, point.y};
    DWORD effect = DROPEFFECT_COPY;
    dragView->DropTarget().DragEnter(data.Get(), MK_LBUTTON, at, &effect);
    effect = DROPEFFECT_COPY;
    dragView->DropTarget().DragOver(MK_LBUTTON, at, &effect);
}

void CALLBACK OpenFileMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    PostMessageW(dragView->GetFrame()->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 'f');
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    COrvidApp app;
    app.SetInstance(instance);
    if (!app.InitInstance()) return 1;
    std::wstring what = commandLine != nullptr ? commandLine : L"";
    HWND frame = app.MainFrame()->Handle();
    std::unique_ptr<testsupport::RealServer> server;
    if (what == L"about") {
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    } else if (what == L"prompt") {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        CTextDlg prompt(L"Enter Path", L"/pub/incoming");
        prompt.DoModal(frame);
    } else if (what == L"pane" || what == L"context-menu" || what == L"drag-over" || what == L"file-menu") {
        // The start-up's Connect would open the Site Manager; the road goes round it.
        MSG connect;
        PeekMessageW(&connect, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE);
        app.MainFrame()->Move(PANE_FRAME);
        if (!ConnectToVsftpd(app, server)) return 1;
        // The pointer rests outside the window, so that nothing shows its hover state.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        // The toolbar shows the connection before the menu loop, which runs no idle time.
        app.MainFrame()->UpdateToolBars();
        if (what == L"context-menu") {
            CListCtrlEx& list = static_cast<COrvidView*>(app.GetView())->List();
            list.SelectItem(SELECTED_ROW, true);
            contextList = &list;
            // Once the window has been painted: a menu tracked before that is not shown.
            SetTimer(nullptr, 0, MENU_DELAY_MS, OpenContextMenu);
        }
        dragView = static_cast<COrvidView*>(app.GetView());
        if (what == L"drag-over") SetTimer(nullptr, 0, MENU_DELAY_MS, DragOverRow);
        if (what == L"file-menu") {
            dragView->List().SelectItem(SELECTED_ROW, true);
            SetTimer(nullptr, 0, MENU_DELAY_MS, OpenFileMenu);
        }
    }
    int code = app.Run();
    app.ExitInstance();
    return code;
}
