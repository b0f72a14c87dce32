#include "session/ConnectionSession.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "framework/Handles.h"
#include "framework/Wait.h"
#include "shell/StatusText.h"

const wchar_t* const SESSION_BUSY_TEXT =
    L"The connection is busy copying files for another program. Try again when the copy has ended.";
const wchar_t* const LISTING_PROGRESS_FORMAT = L"Listing the folder: %s entries. Esc to stop.";
const wchar_t* const LISTING_STOPPED_TEXT = L"The listing was stopped; the list shows what it showed before.";

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

// A stop first interrupts the data connection, which ends a listing at once and keeps the
// connection. A server that then holds back its reply to the broken transfer gets this
// long before the whole connection is cut.
constexpr ULONGLONG STOP_GRACE_MS = 1000;
// A listing shorter than this shows no progress, so that the status bar does not flicker.
constexpr ULONGLONG PROGRESS_DELAY_MS = 300;
constexpr std::size_t DIGIT_GROUP = 3;

DWORD WINAPI RunWork(LPVOID parameter)
{
    try {
        (*static_cast<std::function<void()>*>(parameter))();
    } catch (...) {
        // No exception crosses a thread's boundary; the work reports its own failures.
    }
    return 0;
}

std::wstring GroupedCount(std::size_t count)
{
    std::wstring digits = std::to_wstring(count);
    for (std::size_t at = digits.size(); at > DIGIT_GROUP; at -= DIGIT_GROUP)
        digits.insert(at - DIGIT_GROUP, 1, L',');
    return digits;
}

std::wstring ListingProgressText(std::size_t count)
{
    std::wstring text = LISTING_PROGRESS_FORMAT;
    text.replace(text.find(L"%s"), 2, GroupedCount(count));
    return text;
}

} // namespace

ConnectionSession::WorkEnd ConnectionSession::RunWhileWindowAnswers(const std::function<void()>& work,
                                                                    const std::function<std::wstring()>& statusText,
                                                                    bool stopClosesConnection)
{
    // Claimed as the work starts, so that a shell stream opened meanwhile can't share the
    // control connection with it.
    if (!TryClaimEngine()) {
        SetStatusText(STATUS_PANE_MESSAGE, SESSION_BUSY_TEXT);
        return WorkEnd::Busy;
    }
    std::function<void()> job = work;
    waitingThread = GetCurrentThreadId();
    fw::KernelHandle worker(CreateThread(nullptr, 0, RunWork, &job, 0, nullptr));
    if (!worker) {
        job();
        waitingThread = 0;
        ReleaseEngine();
        return WorkEnd::Done;
    }
    const ULONGLONG start = GetTickCount64();
    std::optional<ULONGLONG> stoppedAt;
    std::wstring shown;
    fw::HeldInputAnswers answers;
    answers.onStop = [&] {
        if (!stoppedAt) stoppedAt = GetTickCount64();
        engine->InterruptDataTransfer();
        if (stopClosesConnection) engine->InterruptConnection();
    };
    answers.onClose = answers.onStop;
    answers.onTick = [&] {
        ServeWindowCall(stoppedAt.has_value());
        const ULONGLONG now = GetTickCount64();
        if (stoppedAt) {
            // Again and again: the data connection may open only after the first try.
            engine->InterruptDataTransfer();
            if (now - *stoppedAt >= STOP_GRACE_MS) engine->InterruptConnection();
        }
        if (now - start < PROGRESS_DELAY_MS) return;
        std::wstring text = statusText();
        if (text == shown) return;
        shown = std::move(text);
        SetStatusText(STATUS_PANE_MESSAGE, shown);
    };
    answers.dispatchedPosts = {WM_STATUS_TEXT};
    fw::PumpWaitHoldingInput(worker.Get(), answers);
    waitingThread = 0;
    ReleaseEngine();
    // The progress must not outlive the work, nor invite an Esc that has nothing to stop.
    if (!shown.empty()) SetStatusText(STATUS_PANE_MESSAGE, {});
    return stoppedAt ? WorkEnd::Stopped : WorkEnd::Done;
}

bool ConnectionSession::CallOnWindowThread(const std::function<void()>& call)
{
    const DWORD waiting = waitingThread.load();
    if (waiting == 0 || waiting == GetCurrentThreadId()) {
        call();
        return true;
    }
    std::unique_lock<std::mutex> lock(windowCallLock);
    windowCall = &call;
    windowCallServed.wait(lock, [this] { return windowCall == nullptr; });
    return windowCallRan;
}

void ConnectionSession::ServeWindowCall(bool stopped)
{
    const std::function<void()>* call = nullptr;
    {
        std::lock_guard<std::mutex> lock(windowCallLock);
        call = windowCall;
    }
    if (call == nullptr) return;
    bool ran = false;
    if (!stopped) {
        // The work waits for this call to end, so nothing may leave here without waking
        // it; a call that failed counts as not run.
        try {
            (*call)();
            ran = true;
        } catch (...) {
        }
    }
    {
        std::lock_guard<std::mutex> lock(windowCallLock);
        windowCall = nullptr;
        windowCallRan = ran;
    }
    windowCallServed.notify_all();
}

ConnectionSession::WorkEnd ConnectionSession::ListWhileWindowAnswers(const std::wstring& path, RemoteEntryList& listing,
                                                                     bool& listed)
{
    listed = false;
    const WorkEnd end = RunWhileWindowAnswers([&] { listed = ListDirectory(path, listing); },
                                              [this] { return ListingProgressText(engine->ListingProgress()); }, false);
    if (end == WorkEnd::Stopped && !listed) SetStatusText(STATUS_PANE_MESSAGE, LISTING_STOPPED_TEXT);
    return end;
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
    // the new ones are here, and keeps them when the user stops the listing.
    bool listed = false;
    const WorkEnd end = ListWhileWindowAnswers(byPath ? directory : std::wstring(), listing, listed);
    if (end == WorkEnd::Busy || (end == WorkEnd::Stopped && !listed)) return !entries.empty();
    if (!listed) {
        entries.clear();
        return false;
    }
    listing.Sort();
    entries = std::move(listing);
    return !entries.empty();
}

bool ConnectionSession::TryClaimEngine() noexcept
{
    bool expected = false;
    return engineClaimed.compare_exchange_strong(expected, true);
}

void ConnectionSession::ReleaseEngine() noexcept { engineClaimed = false; }

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
