// Runs a real transfer job against an in-process scripted server and leaves it waiting at
// a moment worth a screenshot. Not part of the program.
//   transfer_screenshot_driver progress   a download halfway: the first file is in, the
//                                         server is slow to start the second
//   transfer_screenshot_driver replace    an upload asking whether to replace index.html
//   transfer_screenshot_driver resume     a download offering to resume a partial file
//   transfer_screenshot_driver retry      a download whose data connection broke three
//                                         times, counting down to its last try
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/BlockingSocket.h"
#include "session/ConnectionSession.h"
#include "support/ScriptedServer.h"
#include "support/Text.h"
#include "transfer/UploadDlg.h"

namespace {

constexpr auto SERVER_PAUSE = std::chrono::minutes(10);
constexpr std::size_t FIRST_FILE_BYTES = 1200 * 1024;
constexpr std::size_t SECOND_FILE_BYTES = 1850 * 1024;
constexpr std::size_t LOCAL_PAGE_BYTES = 51234;
constexpr int SITE_TIMEOUT_SECONDS = 900;

const char* const FIRST_FILE = "/home/alice/releases/2026/december/orvid-setup-1.4.2-x86.exe";
const char* const SECOND_FILE = "/home/alice/releases/2026/december/orvid-1.4.2-manual.pdf";

void ScriptLogon(testsupport::ScriptedServer& server, const std::string& featReply)
{
    server.Reply("220 ready\r\n")
        .On("USER alice", "331 password\r\n")
        .On("PASS secret", "230 in\r\n")
        .On("FEAT", featReply)
        .On("PWD", "257 \"/home/alice\" is current\r\n");
}

SiteRecord Site(const testsupport::ScriptedServer& server)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, L"Releases");
    SetText(site.host, L"127.0.0.1");
    site.port = server.Port();
    SetText(site.user, L"alice");
    SetText(site.password, L"secret");
    site.timeout = SITE_TIMEOUT_SECONDS;
    SetSiteEncryption(site, SiteEncryption::PlainOnly);
    return site;
}

std::wstring TempDirectory()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring directory = std::wstring(temp) + L"orvid-transfer-shot";
    CreateDirectoryW(directory.c_str(), nullptr);
    return directory;
}

using testsupport::Wide;

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    nsSocket::SocketLibrary sockets;
    const std::wstring which = commandLine ? commandLine : L"";
    const std::wstring local = TempDirectory();

    testsupport::ScriptedServer server;
    ScriptLogon(server,
                which == L"resume" ? "211-Features:\r\n REST STREAM\r\n211 End\r\n" : "502 Command not supported\r\n");
    auto list = std::make_unique<TransferList>();
    std::wstring target;
    UINT kind = JOB_DOWNLOAD;
    if (which == L"replace") {
        server.ExpectPasv().On("LIST /home/alice/www", "150 listing\r\n");
        server.DataSend("-rw-r--r-- 1 maria staff 58213 Mar  4 09:15 index.html\r\n"
                        "-rw-r--r-- 1 maria staff 2310 Mar  4 09:15 style.css\r\n");
        server.Reply("226 done\r\n").Delay(SERVER_PAUSE);
        const std::wstring page = local + L"\\index.html";
        std::ofstream(std::filesystem::path(page), std::ios::binary) << std::string(LOCAL_PAGE_BYTES, 'h');
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(page.c_str(), GetFileExInfoStandard, &data);
        AddItem(LOCAL_PAGE_BYTES, list.get(), false, L"index.html", page, data.ftLastWriteTime.dwLowDateTime,
                data.ftLastWriteTime.dwHighDateTime);
        target = L"/home/alice/www";
        kind = JOB_UPLOAD;
    } else if (which == L"resume") {
        server.Delay(SERVER_PAUSE);
        const std::wstring partial = local + L"\\orvid-setup-1.4.2-x86.exe.part";
        std::ofstream(std::filesystem::path(partial), std::ios::binary) << std::string(FIRST_FILE_BYTES / 3, 'x');
        AddItem(FIRST_FILE_BYTES, list.get(), false, L"orvid-setup-1.4.2-x86.exe", Wide(FIRST_FILE), 0, 0);
        target = local;
    } else if (which == L"retry") {
        server.On("TYPE I", "200 binary\r\n");
        for (int drop = 0; drop < 3; ++drop) {
            server.ExpectPasv().On(std::string("RETR ") + FIRST_FILE, "150 sending\r\n");
            server.DataSendThenReset(std::string(FIRST_FILE_BYTES / 2, 'x')).Reply("426 Connection closed\r\n");
        }
        server.Delay(SERVER_PAUSE);
        AddItem(FIRST_FILE_BYTES, list.get(), false, L"orvid-setup-1.4.2-x86.exe", Wide(FIRST_FILE), 0, 0);
        target = local;
    } else {
        server.On("TYPE I", "200 binary\r\n");
        server.ExpectPasv().On(std::string("RETR ") + FIRST_FILE, "150 sending\r\n");
        server.DataSend(std::string(FIRST_FILE_BYTES, 'x')).Reply("226 done\r\n");
        server.ExpectPasv().Expect(std::string("RETR ") + SECOND_FILE).Delay(SERVER_PAUSE);
        AddItem(FIRST_FILE_BYTES, list.get(), false, L"orvid-setup-1.4.2-x86.exe", Wide(FIRST_FILE), 0, 0);
        AddItem(SECOND_FILE_BYTES, list.get(), false, L"orvid-1.4.2-manual.pdf", Wide(SECOND_FILE), 0, 0);
        target = local;
    }
    server.Start();

    ConnectionSession session;
    if (!OpenSite(session, Site(server))) return 1;
    list->owner = &session;
    CUploadDlg job(&session, std::move(list), target, kind);
    job.DoModal(nullptr);
    return 0;
}
