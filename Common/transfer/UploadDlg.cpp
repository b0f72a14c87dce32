// The job dialog: start, progress texts, and the end that waits for the worker.
#include "transfer/UploadDlg.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "SharedResource.h"
#include "framework/Controls.h"
#include "framework/Wait.h"
#include "session/ConnectionSession.h"
#include "session/Win32Reporter.h"
#include "shell/DialogResources.h"
#include "shell/StatusText.h"

namespace {

constexpr const wchar_t* JOB_STOPPED_TEXT = L"The job stopped: there was not enough memory to go on.";

constexpr std::uint64_t KILOBYTE = 1024;
// The box about left-out entries names this many and counts the rest, each path cut in
// the middle to this many characters, so that it always fits the screen.
constexpr std::size_t LEFT_OUT_LINES_SHOWN = 20;
constexpr std::size_t LEFT_OUT_PATH_CHARS = 160;
constexpr std::size_t ELLIPSIS_CHARS = 3;
constexpr DWORD SYSTEM_TEXT_CAPACITY = 512;

constexpr const wchar_t* DOWNLOAD_FAILED_TEXT = L"Failed to download file:";
constexpr const wchar_t* DOWNLOADS_FAILED_TEXT = L"Failed to download these files:";

// The left-out box has one part per reason, in this order.
constexpr std::pair<LeftOutReason, const wchar_t*> LEFT_OUT_HEADINGS[] = {
    {LeftOutReason::Name, L"These items were left out because their names or paths are too long or not allowed here:"},
    {LeftOutReason::Loop, L"These links lead back to a folder the job already holds, so they were not followed:"},
    {LeftOutReason::Depth, L"These folders lie too deep in the tree, so what they hold was left out:"},
};

const wchar_t* JobTitle(UINT kind)
{
    switch (kind) {
    case JOB_UPLOAD: return L"Uploading...";
    case JOB_DOWNLOAD: return L"Downloading...";
    case JOB_DELETE_REMOTE:
    case JOB_DELETE_LOCAL: return L"Deleting...";
    case JOB_MOVE_REMOTE:
    case JOB_MOVE_LOCAL: return L"Moving...";
    default: return nullptr;
    }
}

std::wstring CountText(UINT kind, std::uint64_t position, std::uint64_t total)
{
    auto number = [](std::uint64_t value) { return std::to_wstring(value); };
    switch (kind) {
    case JOB_UPLOAD:
        return L"Uploading " + number(position / KILOBYTE) + L" Kb of " + number(total / KILOBYTE) + L" Kb";
    case JOB_DOWNLOAD:
        return L"Downloading " + number(position / KILOBYTE) + L" Kb of " + number(total / KILOBYTE) + L" Kb";
    case JOB_DELETE_REMOTE:
    case JOB_DELETE_LOCAL: return L"Deleting " + number(position + 1) + L" of " + number(total);
    case JOB_MOVE_REMOTE:
    case JOB_MOVE_LOCAL: return L"Moving " + number(position + 1) + L" of " + number(total);
    default: return {};
    }
}

// The bar's range is a signed 32-bit number: larger totals are scaled down, positions alike.
int RangeShift(std::uint64_t total)
{
    int shift = 0;
    while ((total >> shift) > static_cast<std::uint64_t>(INT_MAX))
        ++shift;
    return shift;
}

std::wstring ShortenedForDisplay(const std::wstring& path)
{
    if (path.size() <= LEFT_OUT_PATH_CHARS) return path;
    const std::size_t kept = LEFT_OUT_PATH_CHARS - ELLIPSIS_CHARS;
    const std::size_t head = kept / 2;
    return path.substr(0, head) + L"..." + path.substr(path.size() - (kept - head));
}

// Appends a line for each of lines, at most shown of them, and counts the rest; returns
// how many were shown.
std::size_t AppendLines(std::wstring& text, const std::vector<std::wstring>& lines, std::size_t shown)
{
    shown = std::min(shown, lines.size());
    for (std::size_t i = 0; i < shown; ++i)
        text += L"\n" + lines[i];
    if (shown < lines.size()) text += L"\n...and " + std::to_wstring(lines.size() - shown) + L" more.";
    return shown;
}

// The system's text for an error code, on one line.
std::wstring SystemErrorText(DWORD error)
{
    wchar_t text[SYSTEM_TEXT_CAPACITY] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, SYSTEM_TEXT_CAPACITY, nullptr);
    std::wstring line(text, length);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r' || line.back() == L' '))
        line.pop_back();
    if (line.empty()) return L"error code " + std::to_wstring(error);
    return line;
}

} // namespace

CUploadDlg::CUploadDlg(ConnectionSession* session, std::unique_ptr<TransferList> list,
                       const std::wstring& targetDirectory, UINT kind)
    : fw::Dialog(SharedDialogs().transferProgress), session(session), list(std::move(list)),
      targetDirectory(targetDirectory), kind(kind)
{
}

CUploadDlg::~CUploadDlg()
{
    // The end of the dialog has waited for the worker already, unless the window was
    // destroyed some other way (with its owner); the worker must not outlive its dialog.
    if (worker) {
        StopWorker();
        WaitForSingleObject(worker.Get(), INFINITE);
        if (session != nullptr) session->ReleaseEngine();
    }
}

BOOL CUploadDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    cancelEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!list) return TRUE;
    const wchar_t* title = JobTitle(kind);
    if (title == nullptr) return TRUE;
    SetText(title);
    if (list->owner == nullptr) list->owner = session;
    window = Handle();
    // The claim is taken now, as the work starts: the shell may have opened a stream
    // while the command's prompts were up.
    if (session != nullptr && !session->TryClaimEngine()) {
        SetStatusText(STATUS_PANE_MESSAGE, SESSION_BUSY_TEXT);
        Post(WM_COMMAND, IDCANCEL);
        return TRUE;
    }
    worker.Reset(CreateThread(nullptr, 0, WorkerMain, this, 0, &workerId));
    // Without a worker nothing was done.
    if (!worker) {
        if (session != nullptr) session->ReleaseEngine();
        Post(WM_COMMAND, IDCANCEL);
    }
    return TRUE;
}

void CUploadDlg::OnOK() { EndJob(IDOK); }

void CUploadDlg::OnCancel() { EndJob(IDCANCEL); }

bool CUploadDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message != WM_JOB_PROGRESS) return false;
    switch (lParam) {
    case JOB_PROGRESS_POSITION: ShowPosition(); break;
    case JOB_PROGRESS_RANGE: ShowRange(); break;
    case JOB_PROGRESS_NAME: {
        std::unique_ptr<wchar_t[]> name(reinterpret_cast<wchar_t*>(wParam));
        Child(IDC_TRANSFER_NAME).SetText(name.get());
        break;
    }
    default: break;
    }
    result = 0;
    return true;
}

void CUploadDlg::ShowRange()
{
    const std::uint64_t total = progressTotal.load();
    rangeShift = RangeShift(total);
    fw::ProgressBar(Child(IDC_TRANSFER_PROGRESS)).SetRange(0, static_cast<int>(total >> rangeShift));
}

void CUploadDlg::ShowPosition()
{
    // Cleared before the position is read: a position stored after this read posts anew.
    positionPending.store(false);
    const std::uint64_t position = progressPosition.load();
    const std::uint64_t total = progressTotal.load();
    Child(static_cast<int>(SharedDialogs().transferCount)).SetText(CountText(kind, position, total));
    fw::ProgressBar(Child(IDC_TRANSFER_PROGRESS)).SetPos(static_cast<int>(position >> rangeShift));
}

void CUploadDlg::StopWorker()
{
    if (cancelEvent) SetEvent(cancelEvent.Get());
    // After the event: a transfer the worker opens later sees the event before it reads,
    // and one already open fails at once instead of waiting for a silent server.
    if (!worker || session == nullptr) return;
    if (waitingOnControl.load()) {
        session->Engine().InterruptConnection();
    } else {
        session->Engine().InterruptDataTransfer();
    }
}

void CUploadDlg::EndJob(INT_PTR result)
{
    // A command that arrives while the end waits for the worker (the worker's own IDOK
    // after a Cancel, a second click) changes nothing: the first one decides.
    if (ending) return;
    ending = true;
    if (result == IDCANCEL) {
        StopWorker();
    } else if (cancelEvent) {
        SetEvent(cancelEvent.Get());
    }
    WaitForWorker();
    if (worker && session != nullptr) session->ReleaseEngine();
    DiscardPendingProgress();
    worker.Reset();
    cancelEvent.Reset();
    EndDialog(result);
}

void CUploadDlg::WaitForWorker()
{
    if (!worker) return;
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        const fw::PumpWaitResult waited = fw::PumpWait(worker.Get());
        if (waited == fw::PumpWaitResult::Signalled) break;
        if (waited != fw::PumpWaitResult::Quit) {
            WaitForSingleObject(worker.Get(), INFINITE);
            break;
        }
        // The program is quitting, but the worker may still need this thread; the quit
        // waits until it has ended.
        MSG msg = {};
        if (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            quit = true;
            quitCode = msg.wParam;
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

// Names still queued would be lost with the window, and their strings with them.
void CUploadDlg::DiscardPendingProgress()
{
    MSG msg = {};
    while (PeekMessageW(&msg, Handle(), WM_JOB_PROGRESS, WM_JOB_PROGRESS, PM_REMOVE)) {
        if (msg.lParam == JOB_PROGRESS_NAME) delete[] reinterpret_cast<wchar_t*>(msg.wParam);
    }
}

// ---------------------------------------------------------------- worker side

DWORD WINAPI CUploadDlg::WorkerMain(LPVOID self)
{
    auto* dialog = static_cast<CUploadDlg*>(self);
    UINT command = IDOK;
    // Nothing may leave the thread: a failure inside the job ends it like a stop.
    try {
        command = dialog->RunJob();
    } catch (...) {
        // Only running out of memory (a very large tree) gets here; what was done stays.
        MessageBoxW(nullptr, JOB_STOPPED_TEXT, Win32Reporter().Caption().c_str(), MB_ICONERROR | MB_OK | MB_TOPMOST);
        command = IDOK;
    }
    dialog->list.reset();
    if (command != 0) PostMessageW(dialog->window, WM_COMMAND, command, 0);
    return 0;
}

UINT CUploadDlg::RunJob()
{
    switch (kind) {
    case JOB_UPLOAD: return RunTransfer(true);
    case JOB_DOWNLOAD: return RunTransfer(false);
    case JOB_DELETE_REMOTE: return RunDelete(true);
    case JOB_DELETE_LOCAL: return RunDelete(false);
    case JOB_MOVE_REMOTE: return RunMove(true);
    case JOB_MOVE_LOCAL: return RunMove(false);
    default: return 0;
    }
}

bool CUploadDlg::CancelRequested() const { return WaitForSingleObject(cancelEvent.Get(), 0) != WAIT_TIMEOUT; }

void CUploadDlg::PostName(const std::wstring& text)
{
    auto copy = std::make_unique<wchar_t[]>(text.size() + 1);
    text.copy(copy.get(), text.size());
    if (PostMessageW(window, WM_JOB_PROGRESS, reinterpret_cast<WPARAM>(copy.get()), JOB_PROGRESS_NAME)) copy.release();
}

void CUploadDlg::PostPosition(std::uint64_t position, bool final)
{
    progressPosition.store(position);
    const ULONGLONG now = GetTickCount64();
    if (!final && now - lastPositionPost < PROGRESS_INTERVAL_MS) return;
    // A message still waiting will read the position just stored.
    if (positionPending.exchange(true)) return;
    lastPositionPost = now;
    if (!PostMessageW(window, WM_JOB_PROGRESS, 0, JOB_PROGRESS_POSITION)) positionPending.store(false);
}

// Entries that did not fit an item, names from the server that would lead outside a
// download's target, and the links and directories the walk did not follow were left out
// of the job; the user hears of them once, after everything else was done.
void CUploadDlg::ReportLeftOut() { ShowLeftOut(*list); }

// Every file that did not arrive whole, in one box at the end of the job.
void CUploadDlg::ReportFailedDownloads()
{
    if (failedDownloads.empty()) return;
    std::vector<std::wstring> lines;
    for (const FailedDownload& failure : failedDownloads) {
        std::wstring line = ShortenedForDisplay(failure.localPath);
        if (failure.error != ERROR_SUCCESS) line += L": " + SystemErrorText(failure.error);
        if (!failure.note.empty()) line += (failure.error != ERROR_SUCCESS ? L"; " : L": ") + failure.note;
        lines.push_back(std::move(line));
    }
    std::wstring text = failedDownloads.size() == 1 ? DOWNLOAD_FAILED_TEXT : DOWNLOADS_FAILED_TEXT;
    AppendLines(text, lines, LEFT_OUT_LINES_SHOWN);
    MessageBoxW(nullptr, text.c_str(), Win32Reporter().Caption().c_str(), MB_ICONERROR | MB_OK | MB_TOPMOST);
    failedDownloads.clear();
}

bool RefusedAsTooLarge(const TransferList& list)
{
    if (!list.tooLarge) return false;
    MessageBoxW(nullptr, TRANSFER_TOO_LARGE_TEXT, Win32Reporter().Caption().c_str(), MB_ICONERROR | MB_OK | MB_TOPMOST);
    return true;
}

void ShowLeftOut(const TransferList& list)
{
    if (list.leftOut.empty()) return;
    std::wstring text;
    std::size_t budget = LEFT_OUT_LINES_SHOWN;
    for (const auto& [reason, heading] : LEFT_OUT_HEADINGS) {
        std::vector<std::wstring> lines;
        for (const LeftOutEntry& entry : list.leftOut) {
            if (entry.reason == reason) lines.push_back(ShortenedForDisplay(entry.path));
        }
        if (lines.empty()) continue;
        if (!text.empty()) text += L"\n\n";
        text += heading;
        budget -= AppendLines(text, lines, budget);
    }
    MessageBoxW(nullptr, text.c_str(), Win32Reporter().Caption().c_str(), MB_ICONWARNING | MB_OK | MB_TOPMOST);
}
