// Starts the handheld program's windows for a screenshot, at the top left of a desktop the
// size of the device, and leaves them at a moment worth a picture. Test-only; the program
// itself takes no options.
//   remote       the server's files: a prepared tree on vsftpd (run under ftpfixture)
//   local        the device's files: a prepared local folder
//   menu         the server's files with the menu open at its File pop-up
//   sitemanager  the Site Manager with sample sites, as the start-up opens it
//   siteprops    Site Properties of a sample site, with the line of a sample TLS connection
//   copy         a paste into the local list, a download halfway from a scripted server
//   resume       the same paste asking whether to resume the first file's partial copy
//   certificate  the certificate dialog of vsftpd with TLS and its self-signed certificate
//   plain-ftp    the plain-FTP question of vsftpd without TLS, for a site "if available"
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "HandheldDialogs.h"
#include "OrletApp.h"
#include "OrletDoc.h"
#include "OrletFrame.h"
#include "OrletView.h"
#include "session/SessionTestSupport.h"
#include "sitedialogs/SampleSites.h"
#include "sitedialogs/SiteProp.h"
#include "sites/SiteStore.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"

namespace fs = std::filesystem;

namespace {

constexpr UINT SHOW_DELAY_MS = 800;
constexpr auto SERVER_PAUSE = std::chrono::minutes(10);
constexpr std::size_t FIRST_FILE_BYTES = 1200 * 1024;
constexpr std::size_t SECOND_FILE_BYTES = 2650 * 1024;

COrletApp* theApp = nullptr;

COrletView& View() { return *static_cast<COrletView*>(theApp->GetView()); }
COrletDoc& Document() { return *static_cast<COrletDoc*>(theApp->GetDocument()); }

void PrepareTree(const testsupport::RealServer& server, const std::string& top)
{
    for (const char* directory : {"docs", "releases", "photos"})
        server.MakeDirectory(top + "/" + directory);
    server.WriteFile(top + "/README", std::string(1480, 'r'));
    server.WriteFile(top + "/notes.txt", std::string(23110, 'c'));
    server.WriteFile(top + "/index.html", std::string(5320, 'h'));
    server.WriteFile(top + "/orlet-3.3.cab", std::string(812032, 'x'));
    server.WriteFile(top + "/manual.pdf", std::string(366080, 'm'));
    server.WriteFile(top + "/map.png", std::string(48211, 'p'));
}

fs::path PrepareLocalFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path folder = fs::path(temp) / L"My Documents";
    // The shots' prefix is kept between runs: an earlier copy would ask to be replaced.
    fs::remove_all(folder);
    fs::create_directories(folder / L"Business");
    fs::create_directories(folder / L"Personal");
    fs::create_directories(folder / L"Templates");
    const struct {
        const wchar_t* name;
        std::size_t size;
    } files[] = {{L"Budget.xls", 18432},
                 {L"meeting notes.txt", 2210},
                 {L"Photo 001.jpg", 412611},
                 {L"route.htm", 9120},
                 {L"packing list.txt", 311}};
    for (const auto& file : files)
        std::ofstream(folder / file.name, std::ios::binary) << std::string(file.size, 'd');
    return folder;
}

bool ConnectToVsftpd(std::unique_ptr<testsupport::RealServer>& server)
{
    std::string why;
    server = testsupport::RealServer::Start(testsupport::ServerKind::Vsftpd, &why);
    if (!server) return false;
    PrepareTree(*server, "pub");
    SiteRecord site = RealServerSite(*server, L"Vantrel mirror");
    ConnectionSession& session = Document().Session();
    if (!OpenSite(session, site)) return false;
    GoToStartDirectory(session, L"pub");
    Document().OnSiteConnected(L"Vantrel mirror");
    return true;
}

// Opens a site on the server of the kind; the logon stops at its first question.
bool ConnectForTlsQuestion(std::unique_ptr<testsupport::RealServer>& server, testsupport::ServerKind kind)
{
    std::string why;
    server = testsupport::RealServer::Start(kind, &why);
    if (!server) return false;
    SiteRecord site = RealServerSite(*server, L"Vantrel mirror");
    SetSiteEncryption(site, kind == testsupport::ServerKind::Vsftpd ? SiteEncryption::IfAvailable
                                                                    : SiteEncryption::RequireExplicit);
    return OpenSite(Document().Session(), site);
}

void CALLBACK OpenFilePopup(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    // The menu's own loop reads the keys: down to "File", right into its pop-up.
    HWND menu = FindWindowW(L"#32768", nullptr);
    if (menu == nullptr) return;
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RIGHT, 0);
}

void CALLBACK OpenMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    SetTimer(nullptr, 0, SHOW_DELAY_MS, OpenFilePopup);
    theApp->MainFrame()->OpenMenu();
}

void CALLBACK ArrangeSiteTree(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND manager = FindWindowW(nullptr, L"Site Manager");
    if (manager == nullptr) return;
    KillTimer(nullptr, timer);
    ArrangeSampleTree(manager);
}

void CALLBACK StartCopy(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    std::vector<RemoteEntry> entries(2);
    entries[0].name = entries[0].displayName = L"orlet-setup-3.3-arm.cab";
    entries[0].size = FIRST_FILE_BYTES;
    entries[1].name = entries[1].displayName = L"orlet-3.3-manual.pdf";
    entries[1].size = SECOND_FILE_BYTES;
    for (RemoteEntry& entry : entries)
        entry.directory = L"/home/alice/releases";
    View().CopyEntries(entries);
    View().LocalList().SetFocus();
    theApp->MainFrame()->RouteCommand(ID_EDIT_PASTE);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    const std::wstring which = commandLine != nullptr ? commandLine : L"";
    COrletApp app;
    theApp = &app;
    app.SetInstance(instance);
    if (which == L"sitemanager") {
        ConnectionSession samples;
        StoreSampleSites(samples.siteList, SITES_KEY);
    }
    if (!app.InitInstance()) return 1;
    SetWindowPos(app.MainFrame()->Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // Only the Site Manager's picture wants the start-up's Connect.
    if (which != L"sitemanager") {
        MSG connect;
        PeekMessageW(&connect, View().Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE);
    } else {
        SetTimer(nullptr, 0, SHOW_DELAY_MS, ArrangeSiteTree);
    }

    std::unique_ptr<testsupport::RealServer> server;
    testsupport::ScriptedServer scripted;
    const fs::path local = PrepareLocalFolder();
    Document().Local().currentDirectory = local.wstring();
    View().ListLocal();

    if (which == L"remote" || which == L"menu") {
        if (!ConnectToVsftpd(server)) return 1;
        View().RemoteList().SetFocus();
        View().RemoteList().SelectOnly(4);
        if (which == L"menu") SetTimer(nullptr, 0, SHOW_DELAY_MS, OpenMenu);
    } else if (which == L"local") {
        View().ModeList().SetCurSel(MODE_LOCAL);
        View().Send(WM_COMMAND, MAKEWPARAM(IDC_MODE_LIST, CBN_SELCHANGE), 0);
        View().LocalList().SelectOnly(4);
    } else if (which == L"siteprops") {
        ConnectionSession samples;
        CSiteProp properties(samples.siteList);
        properties.LoadFrom(SampleSite(L"Home NAS", L"nas.local", NO_GROUP));
        properties.connectionText = L"TLS 1.2, TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384";
        properties.DoModal(app.MainFrame()->Handle());
        return 0;
    } else if (which == L"certificate" || which == L"plain-ftp") {
        if (!ConnectForTlsQuestion(server, which == L"certificate" ? testsupport::ServerKind::VsftpdTls
                                                                   : testsupport::ServerKind::Vsftpd))
            return 1;
    } else if (which == L"resume") {
        ScriptLogon(scripted, "/home/alice", "211-Features:\r\n REST STREAM\r\n211 End\r\n");
        scripted.Delay(SERVER_PAUSE).Start();
        std::ofstream(local / L"orlet-setup-3.3-arm.cab.part", std::ios::binary)
            << std::string(FIRST_FILE_BYTES / 3, 'x');
        if (!OpenSite(Document().Session(), ScriptedSite(scripted))) return 1;
        SetTimer(nullptr, 0, SHOW_DELAY_MS, StartCopy);
    } else if (which == L"copy") {
        ScriptLogon(scripted);
        scripted.On("TYPE I", "200 binary\r\n");
        scripted.ExpectPasv().On("RETR /home/alice/releases/orlet-setup-3.3-arm.cab", "150 sending\r\n");
        scripted.DataSend(std::string(FIRST_FILE_BYTES, 'x')).Reply("226 done\r\n");
        scripted.ExpectPasv().Expect("RETR /home/alice/releases/orlet-3.3-manual.pdf").Delay(SERVER_PAUSE);
        scripted.Start();
        if (!OpenSite(Document().Session(), ScriptedSite(scripted))) return 1;
        Document().SetTitle(L"Releases (127.0.0.1)");
        View().ModeList().SetCurSel(MODE_LOCAL);
        View().Send(WM_COMMAND, MAKEWPARAM(IDC_MODE_LIST, CBN_SELCHANGE), 0);
        SetTimer(nullptr, 0, SHOW_DELAY_MS, StartCopy);
    }
    return app.Run();
}
