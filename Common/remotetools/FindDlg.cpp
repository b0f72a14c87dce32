#include "remotetools/FindDlg.h"

#include "engine/Reporter.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <new>
#include <utility>

#include "SharedResource.h"
#include "shell/DialogResources.h"
#include "shell/FileListColumns.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "transfer/TransferList.h"
#include "transfer/UploadDlg.h"

const wchar_t* const FIND_DISCONNECTED_TEXT = L"The connection was closed; the search ended with what it had found.";
const wchar_t* const FIND_OUT_OF_MEMORY_TEXT =
    L"There was not enough memory to search on; the search ended with what it had found.";
const wchar_t* const FIND_LOOPS_TEXT = L"Links back into searched directories were not followed.";
const wchar_t* const FIND_DEPTH_TEXT = L"Directories more than 64 levels down were not searched.";
const wchar_t* const FIND_NOT_CONNECTED_TEXT = L"Not connected to the server. Connect again, then try once more.";

namespace {

const wchar_t* const FIND_BUTTON_TEXT = L"Find";
const wchar_t* const STOP_BUTTON_TEXT = L"Stop";
const wchar_t* const GOTO_MENU_TEXT = L"Goto";
const wchar_t* const COPY_MENU_TEXT = L"Copy Selected";
const wchar_t* const DELETE_MENU_TEXT = L"Delete Selected";

enum ResultColumnIndex { COLUMN_NAME, COLUMN_TIME, COLUMN_SIZE, COLUMN_ATTRIBUTES, COLUMN_OWNER };
// The name column shows the whole path.
constexpr std::array<int, REMOTE_LIST_COLUMNS> RESULT_COLUMN_WIDTHS = {360, 110, 80, 80, 80};

constexpr int SMALL_ICON_SIZE = 16;
constexpr UINT IMAGE_LIST_FLAGS = ILC_COLOR32 | ILC_MASK;
constexpr int IMAGE_LIST_INITIAL = 5;
constexpr int IMAGE_LIST_GROWTH = 5;

constexpr std::array<int, 3> RESULT_BUTTONS = {IDC_FIND_GOTO, IDC_FIND_COPY, IDC_FIND_DELETE};

// The icon key of a directory; a file's is "f" and its lower-cased extension.
const wchar_t* const DIRECTORY_ICON_KEY = L"d";

std::wstring IconKey(const RemoteEntry& entry)
{
    if (entry.isDirectory != 0) return DIRECTORY_ICON_KEY;
    const std::size_t dot = entry.name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : entry.name.substr(dot);
    for (wchar_t& c : extension)
        c = static_cast<wchar_t>(towlower(c));
    return L"f" + extension;
}

void CopyToBuffer(const std::wstring& text, wchar_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) return;
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    text.copy(buffer, count);
    buffer[count] = L'\0';
}

} // namespace

CFindDlg::CFindDlg(IFindOwner* ownerView, ConnectionSession& connection)
    : fw::Dialog(SharedDialogs().find), ownerView(ownerView), connection(connection)
{
}

CFindDlg::~CFindDlg()
{
    // Closing waits for the worker already, unless the window went with its owner.
    if (worker) {
        if (stopEvent) SetEvent(stopEvent.Get());
        WaitForSingleObject(worker.Get(), INFINITE);
    }
}

fw::ListView CFindDlg::Results() const { return fw::ListView(Child(IDC_FIND_RESULTS).Handle()); }

BOOL CFindDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    window = Handle();
    stopEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));

    // Over the pane that opened it; DS_CENTER would centre on the screen instead.
    const HWND owner = GetWindow(Handle(), GW_OWNER);
    if (owner != nullptr) {
        const RECT ownerRect = fw::Window(owner).GetWindowRect();
        const RECT own = GetWindowRect();
        const int width = own.right - own.left;
        const int height = own.bottom - own.top;
        Move(ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2,
             ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2, width, height);
    }

    const fw::ListView list = Results();
    images.Create(SMALL_ICON_SIZE, SMALL_ICON_SIZE, IMAGE_LIST_FLAGS, IMAGE_LIST_INITIAL, IMAGE_LIST_GROWTH);
    list.SetImageList(images.Get(), LVSIL_SMALL);
    SetUpFileList(list, RESULT_COLUMN_WIDTHS);
    MakeBoldFont(Handle(), IDC_FIND_FIND);
    EnableResultButtons(false);
    return TRUE;
}

void CFindDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_FIND_TEXT, findText);
    exchange.Check(IDC_FIND_SUBDIRECTORIES, searchSubdirectories);
    exchange.Check(IDC_FIND_MATCH_CASE, matchCase);
    exchange.Check(IDC_FIND_WHOLE_WORD, wholeWord);
}

bool CFindDlg::OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDC_FIND_FIND: FindOrStop(); return true;
    case IDC_FIND_GOTO: Goto(); return true;
    case IDC_FIND_COPY: CopySelected(); return true;
    case IDC_FIND_DELETE: DeleteSelected(); return true;
    default: return fw::Dialog::OnCommand(id, code);
    }
}

// Enter with the focus on a control that is no button.
void CFindDlg::OnOK() { FindOrStop(); }

void CFindDlg::OnCancel()
{
    if (closing) return;
    closing = true;
    StopWorker();
    SetTimer(FIND_CLOSE_TIMER, FIND_TIMER_MS);
}

// The stop event is seen between entries; a listing in flight is cut so that a server
// trickling one can't hold the stop.
void CFindDlg::StopWorker()
{
    if (stopEvent) SetEvent(stopEvent.Get());
    if (worker) connection.Engine().InterruptDataTransfer();
}

void CFindDlg::OnTimer(UINT_PTR id)
{
    if (id != FIND_CLOSE_TIMER && id != FIND_STOP_TIMER) return;
    // Again at every tick: the listing under way may have opened its data connection
    // only after the stop.
    if (!WorkerEnded()) {
        StopWorker();
        return;
    }
    KillTimer(id);
    if (id == FIND_CLOSE_TIMER) {
        ReturnToIdle(FindState::Idle, std::wstring());
        EndDialog(IDCANCEL);
    } else if (!closing) {
        ReturnToIdle(FindState::Idle, std::wstring());
    }
}

void CFindDlg::OnFinalMessage()
{
    if (worker) {
        SetEvent(stopEvent.Get());
        WaitForSingleObject(worker.Get(), INFINITE);
        worker.Reset();
        connection.ReleaseEngine();
    }
    fw::Dialog::OnFinalMessage();
}

bool CFindDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result)
{
    if (message != WM_FIND_PROGRESS) return false;
    switch (wParam) {
    case FIND_PROGRESS_FOUND: TakeFound(); break;
    case FIND_PROGRESS_STATUS: ShowStatus(); break;
    case FIND_PROGRESS_DONE:
        // A stop or a close under way finishes through its timer. Otherwise the worker has
        // posted its last message and does nothing more than return.
        if (state == FindState::Searching && !closing && worker) {
            WaitForSingleObject(worker.Get(), INFINITE);
            ReturnToIdle(FindState::Finished, EndText());
        }
        break;
    default: break;
    }
    result = 0;
    return true;
}

bool CFindDlg::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_FIND_RESULTS) return false;
    switch (header->code) {
    case LVN_GETDISPINFOW: GetDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(header)); break;
    case NM_RCLICK: ShowContextMenu(); break;
    case NM_DBLCLK: Goto(); break;
    case LVN_BEGINDRAG: DragSelected(); break;
    default: return false;
    }
    result = 0;
    return true;
}

// ---------------------------------------------------------------- searching

void CFindDlg::FindOrStop()
{
    if (closing) return;
    if (worker) {
        if (state != FindState::Searching) return;
        Child(IDC_FIND_FIND).Enable(false);
        state = FindState::Stopping;
        StopWorker();
        SetTimer(FIND_STOP_TIMER, FIND_TIMER_MS);
        return;
    }
    if (!UpdateData(true)) return;
    const std::wstring text = PrepareFindText(findText);
    if (text.empty()) return;
    if (!connection.IsConnected()) {
        Child(IDC_FIND_STATUS).SetText(FIND_NOT_CONNECTED_TEXT);
        return;
    }
    options.text = text;
    options.matchCase = matchCase;
    options.wholeWord = wholeWord;
    options.searchSubdirectories = searchSubdirectories;
    StartSearch();
}

void CFindDlg::StartSearch()
{
    results.clear();
    resultIcons.clear();
    Results().Send(LVM_SETITEMCOUNT, 0, 0);
    {
        std::lock_guard<std::mutex> lock(bufferLock);
        pendingFound.clear();
        pendingStatus.clear();
    }
    startDirectory = connection.CurrentDirectory();
    startEntries = connection.entries;
    outcome = FindOutcome();

    Child(IDC_FIND_FIND).SetText(STOP_BUTTON_TEXT);
    Child(IDC_FIND_FIND).Enable(true);
    EnableResultButtons(false);
    Child(IDC_FIND_STATUS).SetText(std::wstring());
    state = FindState::Searching;
    ResetEvent(stopEvent.Get());
    // Claimed as the search starts: the shell may have opened a stream while the dialog
    // waited for its Find.
    if (!connection.TryClaimEngine()) {
        ReturnToIdle(FindState::Idle, SESSION_BUSY_TEXT);
        return;
    }
    worker.Reset(CreateThread(nullptr, 0, WorkerMain, this, 0, &workerId));
    if (!worker) {
        connection.ReleaseEngine();
        ReturnToIdle(FindState::Idle, std::wstring());
    }
}

bool CFindDlg::WorkerEnded() const { return !worker || WaitForSingleObject(worker.Get(), 0) == WAIT_OBJECT_0; }

void CFindDlg::ReturnToIdle(FindState next, const std::wstring& status)
{
    if (worker) {
        worker.Reset();
        connection.ReleaseEngine();
    }
    TakeFound();
    statusPosted = false;
    Child(IDC_FIND_STATUS).SetText(status);
    Child(IDC_FIND_FIND).SetText(FIND_BUTTON_TEXT);
    Child(IDC_FIND_FIND).Enable(true);
    state = next;
    EnableResultButtons(!results.empty());
}

void CFindDlg::EnableResultButtons(bool enable)
{
    for (int id : RESULT_BUTTONS)
        Child(id).Enable(enable);
}

std::wstring CFindDlg::EndText() const
{
    if (outcome.end == FindEnd::Disconnected) return FIND_DISCONNECTED_TEXT;
    if (outcome.end == FindEnd::OutOfMemory) return FIND_OUT_OF_MEMORY_TEXT;
    std::wstring text;
    if (outcome.loopsCut > 0) text = FIND_LOOPS_TEXT;
    if (outcome.depthsCut > 0) text += (text.empty() ? L"" : L" ") + std::wstring(FIND_DEPTH_TEXT);
    return text;
}

void CFindDlg::TakeFound()
{
    // Cleared before the buffer is taken: a match stored after this posts anew.
    foundPosted = false;
    std::vector<RemoteEntry> found;
    {
        std::lock_guard<std::mutex> lock(bufferLock);
        found.swap(pendingFound);
    }
    if (found.empty()) return;
    for (RemoteEntry& entry : found) {
        resultIcons.push_back(IconFor(entry));
        results.push_back(std::move(entry));
    }
    Results().Send(LVM_SETITEMCOUNT, results.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void CFindDlg::ShowStatus()
{
    statusPosted = false;
    std::wstring text;
    {
        std::lock_guard<std::mutex> lock(bufferLock);
        text = pendingStatus;
    }
    if (state == FindState::Searching) Child(IDC_FIND_STATUS).SetText(text);
}

DWORD WINAPI CFindDlg::WorkerMain(LPVOID self)
{
    static_cast<CFindDlg*>(self)->RunSearch();
    return 0;
}

void CFindDlg::RunSearch()
{
    const auto found = [this](const RemoteEntry& entry) {
        {
            std::lock_guard<std::mutex> lock(bufferLock);
            pendingFound.push_back(entry);
        }
        if (!foundPosted.exchange(true) && !PostMessageW(window, WM_FIND_PROGRESS, FIND_PROGRESS_FOUND, 0))
            foundPosted = false;
    };
    const auto status = [this](const std::wstring& path) {
        {
            std::lock_guard<std::mutex> lock(bufferLock);
            pendingStatus = path;
        }
        if (!statusPosted.exchange(true) && !PostMessageW(window, WM_FIND_PROGRESS, FIND_PROGRESS_STATUS, 0))
            statusPosted = false;
    };
    // A directory the server won't list is skipped without a box; the walk's last status
    // line says how the search ended.
    nsFTP::QuietErrors quiet;
    // Nothing may leave the thread: running out of memory ends the search, with what it had
    // found, and says so.
    try {
        outcome = SearchRemote(connection, startDirectory, startEntries, options, stopEvent.Get(), found, status);
    } catch (const std::bad_alloc&) {
        outcome.end = FindEnd::OutOfMemory;
    } catch (...) {
        outcome.end = FindEnd::Stopped;
    }
    PostMessageW(window, WM_FIND_PROGRESS, FIND_PROGRESS_DONE, 0);
}

// ---------------------------------------------------------------- the results

void CFindDlg::GetDisplayInfo(NMLVDISPINFOW& info)
{
    LVITEMW& item = info.item;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= results.size()) return;
    const RemoteEntry& entry = results[static_cast<std::size_t>(item.iItem)];
    if ((item.mask & LVIF_IMAGE) != 0) item.iImage = resultIcons[static_cast<std::size_t>(item.iItem)];
    if ((item.mask & LVIF_PARAM) != 0) item.lParam = item.iItem;
    if ((item.mask & LVIF_TEXT) == 0) return;
    std::wstring text;
    switch (item.iSubItem) {
    case COLUMN_NAME: text = JoinRemotePath(entry.directory, entry.displayName); break;
    case COLUMN_TIME: text = FormatFileTime(entry.time); break;
    case COLUMN_SIZE: text = FormatSize(entry.size); break;
    case COLUMN_ATTRIBUTES: text = entry.attributes; break;
    case COLUMN_OWNER: text = entry.owner; break;
    default: break;
    }
    CopyToBuffer(text, item.pszText, item.cchTextMax);
}

int CFindDlg::IconFor(const RemoteEntry& entry)
{
    const std::wstring key = IconKey(entry);
    const auto known = iconIndexes.find(key);
    if (known != iconIndexes.end()) return known->second;
    const fw::IconHandle icon = ShellIconFor(entry.name, entry.isDirectory != 0, SHGFI_SMALLICON);
    const int index = icon ? images.AddIcon(icon.Get()) : -1;
    iconIndexes.emplace(key, index);
    return index;
}

std::vector<int> CFindDlg::SelectedRows() const
{
    std::vector<int> rows;
    for (int row : Results().GetSelectedItems())
        if (row >= 0 && static_cast<std::size_t>(row) < results.size()) rows.push_back(row);
    return rows;
}

std::vector<RemoteEntry> CFindDlg::SelectedResults() const
{
    std::vector<RemoteEntry> selected;
    for (int row : SelectedRows())
        selected.push_back(results[static_cast<std::size_t>(row)]);
    return selected;
}

void CFindDlg::ShowContextMenu()
{
    if (Busy() || results.empty()) return;
    fw::MenuHandle menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.Get(), MF_STRING, IDC_FIND_GOTO, GOTO_MENU_TEXT);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.Get(), MF_STRING, IDC_FIND_COPY, COPY_MENU_TEXT);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.Get(), MF_STRING, IDC_FIND_DELETE, DELETE_MENU_TEXT);
    POINT cursor = {};
    GetCursorPos(&cursor);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, Handle(), nullptr));
    if (chosen != 0) OnCommand(chosen, BN_CLICKED);
}

void CFindDlg::Goto()
{
    if (Busy()) return;
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || ownerView == nullptr) return;
    const RemoteEntry& entry = results[static_cast<std::size_t>(rows.front())];
    gotoDirectory = entry.directory;
    gotoName = entry.name;
    ownerView->GoToFoundItem(entry.directory, entry.name);
    EndDialog(IDOK);
}

void CFindDlg::CopySelected()
{
    if (Busy() || ownerView == nullptr) return;
    const std::vector<RemoteEntry> selected = SelectedResults();
    if (!selected.empty()) ownerView->CopyEntries(selected);
}

void CFindDlg::DragSelected()
{
    if (Busy() || ownerView == nullptr) return;
    const std::vector<RemoteEntry> selected = SelectedResults();
    if (!selected.empty()) ownerView->DragEntries(selected);
}

void CFindDlg::DeleteSelected()
{
    if (Busy()) return;
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const std::vector<RemoteEntry> selected = SelectedResults();
    if (!connection.IsConnected() || connection.IsBusy()) {
        Child(IDC_FIND_STATUS).SetText(connection.IsConnected() ? SESSION_BUSY_TEXT : FIND_NOT_CONNECTED_TEXT);
        return;
    }
    if (!ConfirmDelete(Handle())) return;

    CUploadDlg job(&connection, MakeTransferList(connection, selected), std::wstring(), JOB_DELETE_REMOTE);
    job.DoModal(Handle());

    // Highest row first, so that the rows still to go keep their indexes.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        results.erase(results.begin() + *row);
        resultIcons.erase(resultIcons.begin() + *row);
    }
    const fw::ListView resultsList = Results();
    LVITEMW clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    resultsList.Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    resultsList.Send(LVM_SETITEMCOUNT, results.size(), 0);
    resultsList.Invalidate();
    deleted = true;
    EnableResultButtons(!results.empty());
}
