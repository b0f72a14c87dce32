// Starts the desktop program's windows for a screenshot and, by its argument, opens one
// of its dialogs over them: "about" or "prompt"; no argument shows the main window.
// "pane" walks the typical road against vsftpd (run under ftpfixture): a prepared tree,
// the site opened as the Site Manager would, the listing shown; "context-menu" then opens
// the list's context menu over a selected row; "drag-over" shows files from the shell
// dragged over a directory row, and "file-menu" opens the File menu. "find" opens Find over
// the pane and searches a scripted server that stalls in the third directory, so the search
// is caught running; "find-results" shows a finished search of the vsftpd tree.
// "certificate" connects to vsftpd with TLS and its self-signed certificate, so the
// certificate dialog comes up over the frame; "certificate-changed" does so for a site that
// trusts another certificate always; "plain-ftp" connects "if available" to vsftpd without
// TLS, so the plain-FTP question comes; "tls-status" answers the certificate dialog "This
// time only" and shows the connection's encryption in the status bar.
// Test-only: the program itself takes no options.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <memory>
#include <string>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "SharedResource.h"
#include "dragdrop/VirtualFiles.h"
#include "resource.h"
#include "session/SessionTestSupport.h"
#include "shell/TextDlg.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"
#include "support/Text.h"

namespace {

constexpr int SELECTED_ROW = 6;
constexpr UINT MENU_DELAY_MS = 1000;
// Room for the whole listing and the toolbar in one row, on a 1024 x 768 desktop.
constexpr RECT PANE_FRAME = {60, 40, 60 + 880, 40 + 640};

using testsupport::Wide;

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
    server.WriteFile(top + "/docs/setup-guide.pdf", std::string(211456, 'g'));
    server.WriteFile(top + "/releases/orvid-3.2-setup.exe", std::string(1798144, 'x'));
    server.WriteFile(top + "/releases/orvid-3.1-setup.exe", std::string(1761280, 'x'));
    server.WriteFile(top + "/releases/orvid-3.1-src.zip", std::string(899072, 'z'));
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

const wchar_t* const FIND_TEXT = L"setup";
// The scripted server's tree: the top, then the first two directories; the third never answers.
const char* const SCRIPTED_TOP = "drwxr-xr-x 2 ftp ftp 4096 Mar 02 2024 docs\r\n"
                                 "drwxr-xr-x 2 ftp ftp 4096 Mar 02 2024 releases\r\n"
                                 "drwxr-xr-x 2 ftp ftp 4096 Mar 02 2024 src\r\n"
                                 "-rw-r--r-- 1 ftp ftp 1843200 Mar 02 2024 orvid-3.3-setup.exe\r\n"
                                 "-rw-r--r-- 1 ftp ftp 1480 Mar 02 2024 README\r\n";
const char* const SCRIPTED_DOCS = "-rw-r--r-- 1 ftp ftp 211456 Feb 11 2024 setup-guide.pdf\r\n"
                                  "-rw-r--r-- 1 ftp ftp 366080 Feb 11 2024 manual.pdf\r\n";
const char* const SCRIPTED_RELEASES = "-rw-r--r-- 1 ftp ftp 1798144 Dec 01 2023 orvid-3.2-setup.exe\r\n"
                                      "-rw-r--r-- 1 ftp ftp 1761280 Jun 14 2023 orvid-3.1-setup.exe\r\n"
                                      "-rw-r--r-- 1 ftp ftp 899072 Jun 14 2023 orvid-3.1-src.zip\r\n";
constexpr auto STALLED_LISTING = std::chrono::minutes(5);

void ScriptListing(testsupport::ScriptedServer& server, const std::string& path, const std::string& listing)
{
    server.ExpectPasv().On("LIST " + path, "150 listing\r\n").DataSend(listing).Reply("226 done\r\n");
}

bool ConnectToScriptedServer(COrvidApp& app, testsupport::ScriptedServer& server)
{
    ScriptLogon(server, "/pub");
    ScriptListing(server, "/pub", SCRIPTED_TOP);
    ScriptListing(server, "/pub/docs", SCRIPTED_DOCS);
    ScriptListing(server, "/pub/releases", SCRIPTED_RELEASES);
    server.ExpectPasv().Expect("LIST /pub/src").Delay(STALLED_LISTING);
    server.Start();
    SiteRecord site = ScriptedSite(server, false);
    auto& document = *static_cast<COrvidDoc*>(app.GetDocument());
    if (!OpenSite(document.Session(), site)) return false;
    document.OnSiteConnected(L"Vantrel mirror (127.0.0.1:" + std::to_wstring(site.port) + L")");
    return true;
}

// Types the text into Find, once the dialog is up, and starts the search.
void CALLBACK StartFind(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND find = FindWindowW(L"#32770", L"Find");
    if (find == nullptr) return;
    KillTimer(nullptr, timer);
    SetDlgItemTextW(find, IDC_FIND_TEXT, FIND_TEXT);
    SendMessageW(GetDlgItem(find, IDC_FIND_FIND), BM_CLICK, 0, 0);
}

void CALLBACK OpenFind(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    SetTimer(nullptr, 0, MENU_DELAY_MS / 10, StartFind);
    SendMessageW(dragView->GetFrame()->Handle(), WM_COMMAND, MAKEWPARAM(ID_EDIT_FIND, 0), 0);
}

// Opens a site of the kind on the server for the TLS questions; false when there is no
// server or the logon failed.
bool ConnectForTlsQuestion(COrvidApp& app, std::unique_ptr<testsupport::RealServer>& server,
                           testsupport::ServerKind kind, const std::wstring& what)
{
    std::string why;
    server = testsupport::RealServer::Start(kind, &why);
    if (!server) return false;
    SiteRecord site = RealServerSite(*server, L"Vantrel mirror");
    SetSiteEncryption(site, what == L"plain-ftp" ? SiteEncryption::IfAvailable : SiteEncryption::RequireExplicit);
    if (what == L"certificate-changed")
        SetTrustedCertificate(site, "3f8a1c0e5d7b9a2c4e6f8091a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d5");
    auto& document = *static_cast<COrvidDoc*>(app.GetDocument());
    if (!OpenSite(document.Session(), site)) return false;
    document.OnSiteConnected(L"Vantrel mirror (127.0.0.1:" + std::to_wstring(site.port) + L")");
    return true;
}

void CALLBACK TrustThisTimeOnly(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND question = FindWindowW(L"#32770", L"Server Certificate");
    if (question == nullptr) return;
    KillTimer(nullptr, timer);
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDC_CERT_THIS_TIME, BN_CLICKED), 0);
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
    testsupport::ScriptedServer scripted;
    if (what == L"about") {
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    } else if (what == L"prompt") {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        CTextDlg prompt(L"Enter Path", L"/pub/incoming");
        prompt.DoModal(frame);
    } else if (what == L"find") {
        MSG connect;
        PeekMessageW(&connect, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE);
        app.MainFrame()->Move(PANE_FRAME);
        if (!ConnectToScriptedServer(app, scripted)) return 1;
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        app.MainFrame()->UpdateToolBars();
        dragView = static_cast<COrvidView*>(app.GetView());
        SetTimer(nullptr, 0, MENU_DELAY_MS, OpenFind);
    } else if (what == L"certificate" || what == L"certificate-changed" || what == L"plain-ftp" ||
               what == L"tls-status") {
        MSG connect;
        PeekMessageW(&connect, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE);
        app.MainFrame()->Move(PANE_FRAME);
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        if (what == L"tls-status") SetTimer(nullptr, 0, MENU_DELAY_MS / 10, TrustThisTimeOnly);
        const auto kind = what == L"plain-ftp" ? testsupport::ServerKind::Vsftpd : testsupport::ServerKind::VsftpdTls;
        if (!ConnectForTlsQuestion(app, server, kind, what)) return 1;
        app.MainFrame()->UpdateToolBars();
    } else if (what == L"pane" || what == L"context-menu" || what == L"drag-over" || what == L"file-menu" ||
               what == L"find-results") {
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
        if (what == L"find-results") SetTimer(nullptr, 0, MENU_DELAY_MS, OpenFind);
        if (what == L"file-menu") {
            dragView->List().SelectItem(SELECTED_ROW, true);
            SetTimer(nullptr, 0, MENU_DELAY_MS, OpenFileMenu);
        }
    }
    int code = app.Run();
    app.ExitInstance();
    return code;
}
