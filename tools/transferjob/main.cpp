// transferjob: one transfer job (CUploadDlg with its worker thread, as the programs run
// it) from the command line, for the benchmark. Passive data connections.
//   transferjob get URL LOCALDIR    download the file URL names into LOCALDIR
//   transferjob put LOCALFILE URL   upload LOCALFILE into the remote directory URL names
// Exit status: 0 when the job ended by itself and nothing was reported, 1 when the engine
// or the job reported a failure (on stderr; message boxes are closed), 2 usage error.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "../ftpcli/Url.h"
#include "engine/BlockingSocket.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"
#include "session/ConnectionSession.h"
#include "transfer/UploadDlg.h"

namespace {

constexpr const char* USAGE = "usage: transferjob get URL LOCALDIR | transferjob put LOCALFILE URL\n";
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;
constexpr int TEXT_CAPACITY = 8192;
constexpr auto BOX_LOOK_INTERVAL = std::chrono::milliseconds(20);
constexpr int DWORD_BITS = 32;
constexpr int SITE_TIMEOUT_SECONDS = 30;

std::atomic<bool> failed{false};

void PrintError(const std::wstring& text)
{
    std::string bytes = nsFTP::WideToWire(text);
    for (char& c : bytes)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "transferjob: %s\n", bytes.c_str());
    failed = true;
}

class ConsoleReporter final : public nsFTP::IEngineReporter {
public:
    void ShowError(const std::wstring& text) override { PrintError(text); }
    void SetStatusText(int, const std::wstring&) override {}
    void SocketActivity() override {}
};

// The job shows its failures in message boxes; nobody is there to answer them.
BOOL CALLBACK CloseMessageBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWND text = GetDlgItem(window, MESSAGE_BOX_TEXT_ID);
    if (process != GetCurrentProcessId() || text == nullptr || !IsWindowVisible(window)) return TRUE;
    std::wstring message(TEXT_CAPACITY, L'\0');
    message.resize(GetWindowTextW(text, message.data(), TEXT_CAPACITY));
    PrintError(message);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

std::wstring Wide(const std::string& utf8) { return nsFTP::WireToWide(utf8); }

std::string Utf8(const wchar_t* text) { return nsFTP::WideToWire(text); }

std::wstring ParentOf(const std::wstring& remotePath)
{
    const std::size_t slash = remotePath.find_last_of(L'/');
    if (slash == std::wstring::npos) return L".";
    return slash == 0 ? L"/" : remotePath.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"/\\") + 1); }

SiteRecord SiteOf(const ftpcli::FtpUrl& url)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, L"transferjob");
    SetText(site.host, Wide(url.host));
    site.port = url.port;
    SetText(site.user, Wide(url.user));
    SetText(site.password, Wide(url.password));
    site.passive = 1;
    site.timeout = SITE_TIMEOUT_SECONDS;
    return site;
}

// The remote file as the server lists it, for its size: the job checks that every byte arrived.
bool AddRemoteFile(ConnectionSession& session, TransferList& list, const std::wstring& path)
{
    std::vector<nsFTP::FileStatusPtr> records;
    if (!session.ChangeDirectory(ParentOf(path)) || !session.ListDirectory(std::wstring(), records)) return false;
    for (const nsFTP::FileStatusPtr& record : records) {
        if (record->name != NameOf(path) || record->isDirectory) continue;
        const FILETIME time = ListedTimeToFileTime(record->modified);
        AddItem(record->size, &list, false, record->name, path, time.dwLowDateTime, time.dwHighDateTime);
        return true;
    }
    PrintError(L"not listed: " + path);
    return false;
}

bool AddLocalFile(TransferList& list, const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        PrintError(L"cannot read " + path);
        return false;
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << DWORD_BITS) | data.nFileSizeLow;
    AddItem(size, &list, false, NameOf(path), path, data.ftLastWriteTime.dwLowDateTime,
            data.ftLastWriteTime.dwHighDateTime);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 || (std::wstring(argv[1]) != L"get" && std::wstring(argv[1]) != L"put")) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const bool download = std::wstring(argv[1]) == L"get";
    ftpcli::FtpUrl url;
    std::string error;
    if (!ftpcli::ParseFtpUrl(Utf8(download ? argv[2] : argv[3]), url, error)) {
        std::fprintf(stderr, "transferjob: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    // The site record has no place for TLS yet: an ftps:// URL must not quietly go plain.
    if (url.implicitTls) {
        std::fprintf(stderr, "transferjob: ftps:// URLs are not supported yet\n%s", USAGE);
        return 2;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    nsSocket::SocketLibrary sockets;
    ConsoleReporter reporter;
    nsFTP::SetEngineReporter(&reporter);

    std::atomic<bool> finished{false};
    std::thread boxes([&finished] {
        while (!finished) {
            EnumWindows(CloseMessageBox, 0);
            std::this_thread::sleep_for(BOX_LOOK_INTERVAL);
        }
    });

    INT_PTR result = IDCANCEL;
    {
        ConnectionSession session;
        if (OpenSite(session, SiteOf(url))) {
            auto list = std::make_unique<TransferList>();
            list->owner = &session;
            const std::wstring remote = Wide(url.path);
            const bool listed = download ? AddRemoteFile(session, *list, remote) : AddLocalFile(*list, argv[2]);
            if (listed) {
                CUploadDlg job(&session, std::move(list), download ? std::wstring(argv[3]) : remote,
                               download ? JOB_DOWNLOAD : JOB_UPLOAD);
                result = job.DoModal(nullptr);
            }
            session.LogOff();
        }
    }
    finished = true;
    boxes.join();
    nsFTP::SetEngineReporter(nullptr);
    return result == IDOK && !failed ? 0 : 1;
}
