#include "session/ConnectionSession.h"

#include <algorithm>
#include <string_view>

#include "framework/Handles.h"
#include "framework/Wait.h"
#include "shell/StatusText.h"

const wchar_t* const SESSION_BUSY_TEXT =
    L"The connection is busy copying files for another program. Try again when the copy has ended.";

namespace {

constexpr int REPLY_SUCCESS = 0;

} // namespace

ConnectionSession::ConnectionSession() : ConnectionSession(std::make_unique<nsSocket::CBlockingSocket>()) {}

ConnectionSession::ConnectionSession(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket)
    : engine(std::make_unique<nsFTP::CFTPClient>(controlSocket.release()))
{
}

ConnectionSession::~ConnectionSession() = default;

void ConnectionSession::LogOff()
{
    if (IsConnected()) engine->LogOff();
}

std::wstring ConnectionSession::CurrentDirectory()
{
    std::wstring path;
    if (engine->GetCurrentDir(path) != REPLY_SUCCESS) return {};
    return path;
}

bool ConnectionSession::ChangeDirectory(const std::wstring& path) { return engine->ChangeDir(path) == REPLY_SUCCESS; }

bool ConnectionSession::MakeDirectory(const std::wstring& path, bool report)
{
    return engine->MakeDir(path, report) == REPLY_SUCCESS;
}

void ConnectionSession::RemoveRemoteDirectory(const std::wstring& path) { engine->RemoveDir(path); }

void ConnectionSession::DeleteRemoteFile(const std::wstring& path) { engine->Delete(path); }

int ConnectionSession::RenameRemote(const std::wstring& oldPath, const std::wstring& newPath)
{
    return engine->Rename(oldPath, newPath);
}

bool ConnectionSession::ListDirectory(const std::wstring& path, std::vector<nsFTP::FileStatusPtr>& records)
{
    return engine->ListFiles(path, records, currentSite.passive != 0);
}

bool ConnectionSession::ListDirectory(const std::wstring& path, RemoteEntryList& listing)
{
    // Each record becomes a compact entry as it is parsed, so that no listing is ever held
    // twice, once as records and once as entries.
    return engine->ListFiles(
        path,
        [&listing](const nsFTP::CFTPFileStatus& status) {
            if (status.name != L"." && status.name != L"..") listing.Add(status);
        },
        currentSite.passive != 0);
}

std::unique_ptr<nsSocket::IBlockingSocket> ConnectionSession::OpenRemoteTransfer(const std::wstring& path, bool upload)
{
    return engine->OpenDataTransfer(path, currentSite.passive != 0, upload);
}

bool ListsByPath(const std::wstring& path)
{
    return !path.empty() && path.front() != L'-' && path.find_first_of(L" \t") == std::wstring::npos;
}

namespace {

struct ListingWork {
    ConnectionSession* session;
    const std::wstring* path;
    RemoteEntryList* listing;
    bool listed;
};

DWORD WINAPI ListOnWorker(LPVOID parameter)
{
    auto* work = static_cast<ListingWork*>(parameter);
    try {
        work->listed = work->session->ListDirectory(*work->path, *work->listing);
    } catch (...) {
        work->listed = false;
    }
    return 0;
}

} // namespace

bool ConnectionSession::ListWhileWindowAnswers(const std::wstring& path, RemoteEntryList& listing)
{
    ListingWork work{this, &path, &listing, false};
    fw::KernelHandle worker(CreateThread(nullptr, 0, ListOnWorker, &work, 0, nullptr));
    if (!worker) return ListDirectory(path, listing);
    // Counted as a worker, so that nothing else starts on the engine meanwhile.
    const bool wasActive = workerActive.exchange(true);
    fw::PumpWaitHoldingInput(worker.Get());
    workerActive = wasActive;
    return work.listed;
}

bool ConnectionSession::RefreshRemote()
{
    fw::WaitCursor wait;
    if (!IsConnected()) {
        entries.clear();
        return false;
    }

    const std::wstring directory = CurrentDirectory();
    // The new entries are collected apart and take the old ones' place only once complete.
    RemoteEntryList listing(directory);
    // The session is inside the directory, so a LIST without an argument lists it too.
    const bool byPath = ListsByPath(directory);
    // A big listing takes a while: the window goes on painting the entries it has until
    // the new ones are here.
    const bool listed = ListWhileWindowAnswers(byPath ? directory : std::wstring(), listing);
    if (!listed) {
        entries.clear();
        return false;
    }
    listing.Sort();
    entries = std::move(listing);
    return !entries.empty();
}

bool ConnectionSession::TryBeginShellUse()
{
    if (workerActive) return false;
    ++shellUsers;
    return true;
}

void ConnectionSession::EndShellUse() { --shellUsers; }

void ConnectionSession::KeepAlive()
{
    if (!IsBusy() && IsConnected() && currentSite.keepAlive != 0) engine->KeepAlivePwd();
}

bool WindowMayUseEngine(const ConnectionSession& session)
{
    if (!session.IsBusy()) return true;
    SetStatusText(STATUS_PANE_MESSAGE, SESSION_BUSY_TEXT);
    return false;
}
