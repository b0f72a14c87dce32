// transferjob: one transfer job (CUploadDlg with its worker thread, as the programs run
// it) from the command line, for the benchmark. Passive data connections.
//   transferjob [OPTIONS] get URL LOCALDIR    download the file URL names into LOCALDIR
//   transferjob [OPTIONS] put LOCALFILE URL   upload LOCALFILE into the remote directory URL names
// URLs as ftpcli takes them: ftp:// or ftps:// (implicit TLS). Options, as ftpcli's:
//   --tls require|try|never   ftp:// URLs: explicit TLS required, used if offered, or never
//                             (the default); nobody is asked whether clear text will do
//   --trust SHA256            accept a certificate no trusted root vouches for when its
//                             SHA-256 fingerprint is this one
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
#include <utility>

#include "../ftpcli/Url.h"
#include "engine/BlockingSocket.h"
#include "engine/FTPClient.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"
#include "session/ConnectionSession.h"
#include "sites/SiteRecord.h"
#include "transfer/UploadDlg.h"

namespace {

constexpr const char* USAGE = "usage: transferjob [--tls require|try|never] [--trust SHA256] get URL LOCALDIR\n"
                              "       transferjob [--tls require|try|never] [--trust SHA256] put LOCALFILE URL\n";
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

// Nobody answers: clear text is refused, and so is a certificate that no trusted root vouches
// for, unless its fingerprint was given.
class CommandLineAnswers final : public nsFTP::ITlsQuestions {
public:
    explicit CommandLineAnswers(std::string trustedSha256) : trustedSha256(std::move(trustedSha256)) {}
    bool ContinueWithoutTls(const nsFTP::LogonSettings&) override { return false; }
    bool AcceptCertificate(const nsFTP::LogonSettings&, const nsSocket::TlsSessionInfo& session) override
    {
        if (!trustedSha256.empty() && session.certificate.sha256 == trustedSha256) return true;
        PrintError(L"the server's certificate (" + session.certificate.subject + L") has the SHA-256 fingerprint " +
                   Wide(session.certificate.sha256) + L"; to trust it, pass --trust with that fingerprint");
        return false;
    }

private:
    const std::string trustedSha256;
};

std::string Utf8(const wchar_t* text) { return nsFTP::WideToWire(text); }

std::wstring ParentOf(const std::wstring& remotePath)
{
    const std::size_t slash = remotePath.find_last_of(L'/');
    if (slash == std::wstring::npos) return L".";
    return slash == 0 ? L"/" : remotePath.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"/\\") + 1); }

SiteRecord SiteOf(const ftpcli::FtpUrl& url, SiteEncryption encryption)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, L"transferjob");
    SetText(site.host, Wide(url.host));
    site.port = url.port;
    SetText(site.user, Wide(url.user));
    SetText(site.password, Wide(url.password));
    site.passive = 1;
    site.timeout = SITE_TIMEOUT_SECONDS;
    SetSiteEncryption(site, url.implicitTls ? SiteEncryption::RequireImplicit : encryption);
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
    SiteEncryption encryption = SiteEncryption::PlainOnly;
    std::string trustedSha256;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == L'-'; first += 2) {
        const std::wstring option = argv[first], value = argv[first + 1];
        if (option == L"--tls" && value == L"require") {
            encryption = SiteEncryption::RequireExplicit;
        } else if (option == L"--tls" && value == L"try") {
            encryption = SiteEncryption::IfAvailable;
        } else if (option == L"--tls" && value == L"never") {
            encryption = SiteEncryption::PlainOnly;
        } else if (option == L"--trust") {
            trustedSha256 = Utf8(value.c_str());
        } else {
            std::fputs(USAGE, stderr);
            return 2;
        }
    }
    argv += first - 1;
    argc -= first - 1;
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
        CommandLineAnswers answers(trustedSha256);
        session.unattendedAnswers = &answers;
        if (OpenSite(session, SiteOf(url, encryption))) {
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
