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

const wchar_t* const LINK_ARROW = L" -> ";
constexpr wchar_t LINK_ATTRIBUTE = L'l';
constexpr int REPLY_SUCCESS = 0;

// Seconds between 1601-01-01 (file times) and 1970-01-01 (the listing's clock), and file
// time ticks per second.
constexpr std::int64_t FILE_TIME_EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr std::int64_t FILE_TIME_TICKS_PER_SECOND = 10000000LL;
constexpr int DWORD_BITS = 32;

wchar_t FoldAsciiUpper(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

int CompareNamesNoCase(std::wstring_view a, std::wstring_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const wchar_t x = FoldAsciiUpper(a[i]);
        const wchar_t y = FoldAsciiUpper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace

bool RemoteEntryLess(const RemoteEntry& a, const RemoteEntry& b)
{
    const bool aDirectory = a.isDirectory != 0;
    const bool bDirectory = b.isDirectory != 0;
    if (aDirectory != bDirectory) return aDirectory;
    return CompareNamesNoCase(a.name, b.name) < 0;
}

FILETIME ListedTimeToFileTime(std::int64_t listedSeconds)
{
    // The parser already read the listing's calendar time as a local time and holds the
    // matching instant, so only the epoch and the unit change here.
    const std::int64_t seconds = std::max<std::int64_t>(listedSeconds, -FILE_TIME_EPOCH_OFFSET_SECONDS);
    const auto ticks =
        static_cast<std::uint64_t>((seconds + FILE_TIME_EPOCH_OFFSET_SECONDS) * FILE_TIME_TICKS_PER_SECOND);
    FILETIME time = {};
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> DWORD_BITS);
    return time;
}

RemoteEntry MakeRemoteEntry(const nsFTP::CFTPFileStatus& status)
{
    RemoteEntry entry;
    entry.name = status.name;
    if (!status.attributes.empty() && status.attributes.front() == LINK_ATTRIBUTE) {
        const std::size_t arrow = entry.name.find(LINK_ARROW);
        if (arrow != std::wstring::npos) entry.name.resize(arrow);
        entry.isLink = 1;
    }
    entry.displayName = status.name;
    entry.directory = status.path;
    entry.attributes = status.attributes;
    entry.owner = status.owner;
    entry.isDirectory = status.isDirectory ? 1 : 0;
    // EPLF and versioned listings may give no size at all: that is unknown, not empty.
    entry.size = status.sizeKnown != 0 ? status.size : REMOTE_SIZE_UNKNOWN;
    entry.time = ListedTimeToFileTime(status.modified);
    return entry;
}

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
    fw::KernelHandle worker(CreateThread(nullptr, 0, RunWork, &job, 0, nullptr));
    if (!worker) {
        job();
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
    ReleaseEngine();
    // The progress must not outlive the work, nor invite an Esc that has nothing to stop.
    if (!shown.empty()) SetStatusText(STATUS_PANE_MESSAGE, {});
    return stoppedAt ? WorkEnd::Stopped : WorkEnd::Done;
}

ConnectionSession::WorkEnd ConnectionSession::ListWhileWindowAnswers(const std::wstring& path,
                                                                     std::vector<nsFTP::FileStatusPtr>& records,
                                                                     bool& listed)
{
    listed = false;
    const WorkEnd end = RunWhileWindowAnswers([&] { listed = ListDirectory(path, records); },
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
    std::vector<nsFTP::FileStatusPtr> records;
    // The session is inside the directory, so a LIST without an argument lists it too.
    const bool byPath = ListsByPath(directory);
    // A big listing takes a while: the window goes on painting the entries it has until
    // the new ones are here, and keeps them when the user stops the listing.
    bool listed = false;
    const WorkEnd end = ListWhileWindowAnswers(byPath ? directory : std::wstring(), records, listed);
    if (end == WorkEnd::Busy || (end == WorkEnd::Stopped && !listed)) return !entries.empty();
    entries.clear();
    if (!listed) return false;
    if (!byPath) {
        for (const nsFTP::FileStatusPtr& record : records)
            record->path = directory;
    }

    entries.reserve(records.size());
    for (const nsFTP::FileStatusPtr& record : records) {
        if (record->name == L"." || record->name == L"..") continue;
        entries.push_back(MakeRemoteEntry(*record));
    }
    std::sort(entries.begin(), entries.end(), RemoteEntryLess);
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
