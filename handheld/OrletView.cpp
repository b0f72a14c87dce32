#include "OrletView.h"

#include "LocalBrowser.h"
#include "OrletDoc.h"
#include "commands/FileCommands.h"
#include "framework/App.h"
#include "framework/FrameWindow.h"
#include "framework/Wait.h"
#include "remotetools/PropDlg.h"
#include "session/RemotePane.h"
#include "session/Win32Reporter.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "shell/TextDlg.h"
#include "transfer/UploadDlg.h"

const std::array<const wchar_t*, 5> MODE_ENTRIES = {L"FTP Files", L"Local Files", L"-----", L"Go...", L"Up"};

namespace {

struct ListColumn {
    const wchar_t* header;
    int width;
    int format;
};
constexpr std::array<ListColumn, 5> REMOTE_COLUMNS = {{
    {L"Name", 150, LVCFMT_LEFT},
    {L"Time", 110, LVCFMT_LEFT},
    {L"Size", 80, LVCFMT_RIGHT},
    {L"Attributes", 80, LVCFMT_RIGHT},
    {L"Owner", 60, LVCFMT_RIGHT},
}};
constexpr std::array<ListColumn, 3> LOCAL_COLUMNS = {{
    {L"Name", 150, LVCFMT_LEFT},
    {L"Time", 110, LVCFMT_LEFT},
    {L"Size", 80, LVCFMT_RIGHT},
}};
enum LocalColumn { LOCAL_COLUMN_NAME, LOCAL_COLUMN_TIME, LOCAL_COLUMN_SIZE };

constexpr DWORD LIST_EXTENDED_STYLE = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
constexpr int NO_ICON_YET = -2;

const wchar_t* const CREATE_FAILED_TEXT = L"The directory could not be created:\n";
const wchar_t* const RENAME_FAILED_TEXT = L"The item could not be renamed:\n";
const wchar_t* const LIST_FAILED_TEXT = L"This directory cannot be listed:\n";

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

// A combo box's window is as high as its box and its dropped list together; the closed
// rectangle shows only the box.
int DroppedHeight(const fw::ComboBox& combo)
{
    RECT dropped = {};
    combo.Send(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    const RECT closed = combo.GetRectInParent();
    return Height(dropped) > Height(closed) ? Height(dropped) : Height(closed);
}

constexpr ViewCommands VIEW_COMMANDS = MakeViewCommands(ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS);

} // namespace

COrletView::COrletView() : fw::FormView(IDD_ORLET_FORM) {}

std::span<const CommandEntry<COrletView>> COrletView::Commands()
{
    using namespace rules;
    // Every command of the view, with the rule that enables it in the menu, the toolbar
    // and both context menus, its handler, and its place in the context menus: there the
    // items are enabled as everywhere, CHMOD is offered in the server's list only, and
    // Paste only once items were copied, and in the other list.
    static constexpr CommandEntry<COrletView> COMMANDS[] = {
        {ID_FILE_CONNECT, WhenDisconnected, &COrletView::Connect},
        {ID_FILE_DISCONNECT, WhenConnected, &COrletView::Disconnect},
        {ID_EDIT_COPY, AnySelected, &COrletView::Copy, {CLIPBOARD_GROUP, IDS_MENU_COPY}},
        {ID_EDIT_PASTE, PasteFromOtherList, &COrletView::Paste, {CLIPBOARD_GROUP, IDS_MENU_PASTE, CopiedFromOtherList}},
        {ID_EDIT_FIND, WhenConnected, &COrletView::Find},
        {ID_FILE_NEW_DIRECTORY, ListReady, &COrletView::NewDirectory, {FILE_GROUP, IDS_MENU_NEW_DIRECTORY}},
        {ID_FILE_RENAME, OneSelected, &COrletView::Rename, {FILE_GROUP, IDS_MENU_RENAME}},
        {ID_FILE_DELETE, AnySelected, &COrletView::Delete, {FILE_GROUP, IDS_MENU_DELETE}},
        {ID_FILE_MOVE_TO, AnySelected, &COrletView::MoveTo, {FILE_GROUP, IDS_MENU_MOVE_TO}},
        {ID_TOOLS_CHMOD, RemoteSelected, &COrletView::Chmod, {ITEM_GROUP, IDS_MENU_CHMOD, InRemoteList}},
        {ID_FILE_PROPERTIES, OneSelected, &COrletView::Properties, {ITEM_GROUP, IDS_MENU_PROPERTIES}},
        {ID_VIEW_ICONS, ListFocused, &COrletView::ShowViewMode<ID_VIEW_ICONS>, {VIEW_GROUP, IDS_MENU_ICONS}},
        {ID_VIEW_LIST, ListFocused, &COrletView::ShowViewMode<ID_VIEW_LIST>, {VIEW_GROUP, IDS_MENU_LIST}},
        {ID_VIEW_DETAILS, ListFocused, &COrletView::ShowViewMode<ID_VIEW_DETAILS>, {VIEW_GROUP, IDS_MENU_DETAILS}},
        {ID_TOOLS_SET_TEMP_DIRECTORY, Always, &COrletView::SetTempDirectory},
        {ID_HELP_HOME_PAGE, Always, &COrletView::OpenHomePage},
    };
    return COMMANDS;
}

COrletDoc* COrletView::Document() const { return dynamic_cast<COrletDoc*>(GetDocument()); }

ConnectionSession* COrletView::Session() const
{
    COrletDoc* document = Document();
    return document != nullptr ? &document->Session() : nullptr;
}

LocalBrowser* COrletView::Local() const
{
    COrletDoc* document = Document();
    return document != nullptr ? &document->Local() : nullptr;
}

HWND COrletView::Owner() const { return GetFrame() != nullptr ? GetFrame()->Handle() : Handle(); }

ListSide COrletView::FocusedSide() const
{
    const HWND focus = ::GetFocus();
    if (focus == nullptr) return ListSide::None;
    if (focus == localList.Handle()) return ListSide::Local;
    if (focus == remoteList.Handle()) return ListSide::Remote;
    return ListSide::None;
}

CListCtrlEx* COrletView::FocusedList()
{
    switch (FocusedSide()) {
    case ListSide::Local: return &localList;
    case ListSide::Remote: return &remoteList;
    default: return nullptr;
    }
}

CommandContext COrletView::Context() const
{
    CommandContext context;
    context.focus = FocusedSide();
    context.connected = remote.IsConnected();
    context.copySource = copySource;
    if (context.focus == ListSide::Local) context.selected = localList.GetSelectedCount();
    if (context.focus == ListSide::Remote) context.selected = remoteList.GetSelectedCount();
    return context;
}

// ---------------------------------------------------------------- commands

bool COrletView::OnCommand(UINT id)
{
    const CommandEntry<COrletView>* command = FindCommand(id);
    if (command == nullptr) return false;
    (this->*command->run)();
    return true;
}

bool COrletView::OnUpdateCommand(fw::CommandState& state)
{
    const CommandEntry<COrletView>* command = FindCommand(state.Id());
    if (command == nullptr) return false;
    state.Enable(command->enabled(Context()));
    if (const ViewCommand* view = FindViewCommand(VIEW_COMMANDS, state.Id())) {
        const CListCtrlEx* list = FocusedList();
        state.SetCheck(list != nullptr && list->GetViewMode() == view->style);
    }
    return true;
}

void COrletView::Connect()
{
    if (!remote.EngineAvailable()) return;
    if (COrletDoc* document = Document()) document->Connect();
}

void COrletView::Disconnect()
{
    if (!remote.EngineAvailable()) return;
    if (COrletDoc* document = Document()) document->Disconnect();
}

template <UINT command> void COrletView::ShowViewMode()
{
    static_assert(FindViewCommand(VIEW_COMMANDS, command) != nullptr);
    if (CListCtrlEx* list = FocusedList()) list->SetViewMode(FindViewCommand(VIEW_COMMANDS, command)->style);
}

void COrletView::SetTempDirectory() { SetTempDirectoryCommand(Owner()); }

void COrletView::OpenHomePage() { ::OpenHomePage(Owner()); }

void COrletView::NewDirectory()
{
    if (FocusedSide() == ListSide::Remote) {
        remote.Run(RemoteCommand::NewDirectory);
        return;
    }
    LocalBrowser* local = Local();
    if (local == nullptr || FocusedSide() != ListSide::Local) return;
    const std::wstring target = LocalTargetDirectory(*local, SelectedLocalEntries());
    CTextDlg prompt(NEW_DIRECTORY_CAPTION, std::wstring());
    if (prompt.DoModal(Owner()) != IDOK || prompt.Text().empty()) return;
    const std::wstring path = JoinLocalPath(target, prompt.Text());
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        // The list stays as it was; the user learns why the name was not taken.
        ShowLastError(CREATE_FAILED_TEXT + path);
        return;
    }
    ListLocal();
}

void COrletView::Rename()
{
    if (FocusedSide() == ListSide::Remote) {
        remote.Run(RemoteCommand::Rename);
        return;
    }
    LocalBrowser* local = Local();
    const std::vector<int> selected = SelectedLocalEntries();
    if (local == nullptr || FocusedSide() != ListSide::Local || selected.empty()) return;
    const std::wstring oldName = local->entries[static_cast<std::size_t>(selected.front())].cFileName;
    CTextDlg prompt(RENAME_CAPTION, oldName);
    if (prompt.DoModal(Owner()) != IDOK || prompt.Text().empty()) return;
    const std::wstring from = JoinLocalPath(local->currentDirectory, oldName);
    const std::wstring to = JoinLocalPath(local->currentDirectory, prompt.Text());
    if (!MoveFileW(from.c_str(), to.c_str())) {
        ShowLastError(RENAME_FAILED_TEXT + from);
        return;
    }
    ListLocal();
}

void COrletView::Delete()
{
    if (FocusedSide() == ListSide::Remote) {
        remote.Run(RemoteCommand::Delete);
        return;
    }
    LocalBrowser* local = Local();
    const std::vector<int> selected = SelectedLocalEntries();
    if (local == nullptr || FocusedSide() != ListSide::Local || selected.empty()) return;
    fw::App* app = fw::GetApp();
    const std::wstring caption = app != nullptr ? app->GetAppName() : std::wstring();
    if (MessageBoxW(Owner(), DELETE_QUESTION, caption.c_str(), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return;
    auto items = std::make_unique<TransferList>();
    AddLocalEntries(items.get(), selected);
    CUploadDlg job(Session(), std::move(items), local->currentDirectory, JOB_DELETE_LOCAL);
    job.DoModal(Owner());
    ListLocal();
}

void COrletView::MoveTo()
{
    if (FocusedSide() == ListSide::Remote) {
        remote.Run(RemoteCommand::MoveTo);
        return;
    }
    LocalBrowser* local = Local();
    const std::vector<int> selected = SelectedLocalEntries();
    if (local == nullptr || FocusedSide() != ListSide::Local || selected.empty()) return;
    CTextDlg prompt(MOVE_TO_CAPTION, std::wstring());
    if (prompt.DoModal(Owner()) != IDOK || prompt.Text().empty()) return;
    auto items = std::make_unique<TransferList>();
    AddLocalEntries(items.get(), selected);
    CUploadDlg job(Session(), std::move(items), prompt.Text(), JOB_MOVE_LOCAL);
    job.DoModal(Owner());
    ListLocal();
}

void COrletView::Properties()
{
    if (FocusedSide() == ListSide::Remote) {
        remote.Run(RemoteCommand::Properties);
        return;
    }
    LocalBrowser* local = Local();
    const std::vector<int> selected = SelectedLocalEntries();
    if (local == nullptr || FocusedSide() != ListSide::Local || selected.empty()) return;
    const WIN32_FIND_DATAW& found = local->entries[static_cast<std::size_t>(selected.front())];
    CPropDlg properties;
    properties.localItem = true;
    properties.directory = IsDirectoryEntry(found);
    properties.name = found.cFileName;
    properties.path = local->currentDirectory;
    properties.sizeText = PropertiesSizeText(EntrySize(found));
    properties.modifiedText = FormatFileTime(found.ftLastWriteTime);
    properties.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    properties.hidden = (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    properties.system = (found.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    properties.DoModal(Owner());
}

void COrletView::Chmod()
{
    if (FocusedSide() == ListSide::Remote) remote.Run(RemoteCommand::Chmod);
}

void COrletView::Find() { remote.Find(this); }

// ---------------------------------------------------------------- copy and paste

void COrletView::Copy()
{
    const ListSide side = FocusedSide();
    if (side == ListSide::Remote) {
        CopyEntries(remote.SelectedEntries());
        return;
    }
    LocalBrowser* local = Local();
    if (side != ListSide::Local || local == nullptr || !clipboard) return;
    ClearList(clipboard.get());
    AddLocalEntries(clipboard.get(), SelectedLocalEntries());
    copySource = ListSide::Local;
}

void COrletView::CopyEntries(const std::vector<RemoteEntry>& entries)
{
    ConnectionSession* session = Session();
    if (session == nullptr || !clipboard) return;
    clipboard = MakeTransferList(*session, entries);
    copySource = ListSide::Remote;
}

void COrletView::DragEntries(const std::vector<RemoteEntry>& entries) { (void)entries; }

void COrletView::Paste()
{
    ConnectionSession* session = Session();
    LocalBrowser* local = Local();
    const ListSide side = FocusedSide();
    if (session == nullptr || local == nullptr || side == ListSide::None || !clipboard || !remote.EngineAvailable())
        return;
    // The clipboard keeps its items, so that they can be pasted again.
    auto items = std::make_unique<TransferList>();
    items->owner = session;
    for (const TransferItem* copied = clipboard->head; copied != nullptr; copied = copied->next) {
        TransferItem* item = AddItem(copied->sizeUnknown != 0 ? REMOTE_SIZE_UNKNOWN : copied->size, items.get(),
                                     copied->isDirectory != 0, copied->name, copied->path,
                                     copied->lastWrite.dwLowDateTime, copied->lastWrite.dwHighDateTime);
        if (item != nullptr) item->isLink = copied->isLink;
    }
    if (side == ListSide::Local) {
        CUploadDlg job(session, std::move(items), LocalTargetDirectory(*local, SelectedLocalEntries()), JOB_DOWNLOAD);
        job.DoModal(Owner());
        ListLocal();
        return;
    }
    const std::wstring target = remote.TargetDirectory();
    if (target.empty()) return;
    CUploadDlg job(session, std::move(items), target, JOB_UPLOAD);
    job.DoModal(Owner());
    RefreshRemote();
}

// ---------------------------------------------------------------- remote side

bool COrletView::GoToFoundItem(const std::wstring& directory, const std::wstring& name)
{
    if (!remote.GoToItem(directory, name)) return false;
    mode = MODE_REMOTE;
    ModeList().SetCurSel(mode);
    LayOut();
    remoteList.SetFocus();
    return true;
}

// ---------------------------------------------------------------- local side

void COrletView::ListLocal()
{
    LocalBrowser* local = Local();
    if (local == nullptr) return;
    fw::WaitCursor wait;
    localList.DeleteAllItems();
    localList.SetImageList(nullptr, LVSIL_NORMAL);
    localList.SetImageList(nullptr, LVSIL_SMALL);
    localIcons.Create();
    localIcons.AttachTo(localList);

    fw::ComboBox paths = LocalPathList();
    paths.ResetContent();
    const std::vector<std::wstring> entries = LocalPathListEntries(local->currentDirectory);
    for (const std::wstring& entry : entries)
        paths.AddString(entry);
    paths.SetCurSel(static_cast<int>(entries.size()) - 1);

    const bool listed = local->List();
    ShowLocalStatus(listed ? std::wstring() : LIST_FAILED_TEXT + local->currentDirectory);
    localIconIndexes.assign(local->entries.size(), NO_ICON_YET);
    localList.Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(local->entries.size()),
                   LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void COrletView::ShowLocalStatus(const std::wstring& text)
{
    fw::Window status = Child(IDC_LOCAL_STATUS);
    status.SetText(text);
    status.Show(!text.empty() && mode == MODE_LOCAL ? SW_SHOWNOACTIVATE : SW_HIDE);
}

std::wstring COrletView::LocalStatus() const { return Child(IDC_LOCAL_STATUS).GetText(); }

std::wstring COrletView::LocalEntryPath(int entry) const
{
    const LocalBrowser* local = Local();
    return JoinLocalPath(local->currentDirectory, local->entries[static_cast<std::size_t>(entry)].cFileName);
}

void COrletView::AddLocalEntries(TransferList* items, const std::vector<int>& entries) const
{
    const LocalBrowser* local = Local();
    for (int entry : entries) {
        const WIN32_FIND_DATAW& found = local->entries[static_cast<std::size_t>(entry)];
        AddLocalItem(items, found.cFileName, LocalEntryPath(entry), found.dwFileAttributes, EntrySize(found),
                     found.ftLastWriteTime);
    }
}

std::vector<int> COrletView::SelectedLocalEntries() const
{
    const LocalBrowser* local = Local();
    std::vector<int> selected;
    if (local == nullptr) return selected;
    for (int row : localList.GetSelectedItems())
        if (row >= 0 && static_cast<std::size_t>(row) < local->entries.size()) selected.push_back(row);
    return selected;
}

void COrletView::OnLocalPathSelected()
{
    LocalBrowser* local = Local();
    fw::ComboBox paths = LocalPathList();
    const int selected = paths.GetCurSel();
    if (local == nullptr || selected < 0) return;
    local->currentDirectory = paths.GetLBText(selected);
    ListLocal();
}

void COrletView::LocalEnterPath()
{
    LocalBrowser* local = Local();
    if (local == nullptr) return;
    CTextDlg prompt(ENTER_PATH_CAPTION, local->currentDirectory);
    if (prompt.DoModal(Owner()) != IDOK) return;
    const std::optional<std::wstring> target = LocalEnterPathTarget(prompt.Text(), local->currentDirectory);
    if (!target) return;
    local->currentDirectory = *target;
    ListLocal();
}

void COrletView::OpenLocalEntry()
{
    LocalBrowser* local = Local();
    const std::vector<int> selected = SelectedLocalEntries();
    if (local == nullptr || selected.empty()) return;
    const WIN32_FIND_DATAW& found = local->entries[static_cast<std::size_t>(selected.front())];
    const std::wstring path = LocalEntryPath(selected.front());
    if (IsDirectoryEntry(found)) {
        local->currentDirectory = path;
        ListLocal();
        return;
    }
    OpenWithShell(Owner(), path);
}

void COrletView::GetLocalDisplayInfo(LVITEMW& item)
{
    const LocalBrowser* local = Local();
    if (local == nullptr || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= local->entries.size()) return;
    const std::size_t index = static_cast<std::size_t>(item.iItem);
    const WIN32_FIND_DATAW& found = local->entries[index];
    if ((item.mask & LVIF_IMAGE) != 0 && item.iSubItem == LOCAL_COLUMN_NAME && index < localIconIndexes.size()) {
        if (localIconIndexes[index] == NO_ICON_YET)
            localIconIndexes[index] = localIcons.IndexForFile(LocalEntryPath(item.iItem));
        item.iImage = localIconIndexes[index];
    }
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    std::wstring text;
    switch (item.iSubItem) {
    case LOCAL_COLUMN_NAME: text = found.cFileName; break;
    case LOCAL_COLUMN_TIME: text = FormatFileTime(found.ftLastWriteTime); break;
    case LOCAL_COLUMN_SIZE: text = FormatSize(EntrySize(found)); break;
    default: break;
    }
    lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

// ---------------------------------------------------------------- the mode list and layout

void COrletView::OnModeChosen()
{
    fw::ComboBox modes = ModeList();
    const int chosen = modes.GetCurSel();
    switch (chosen) {
    case MODE_REMOTE:
    case MODE_LOCAL:
        mode = chosen;
        LayOut();
        if (mode == MODE_LOCAL) {
            localList.SetFocus();
        } else {
            remoteList.SetFocus();
        }
        break;
    case MODE_GO:
        if (mode == MODE_REMOTE) {
            remote.EnterPath();
        } else {
            LocalEnterPath();
        }
        break;
    case MODE_UP: {
        // The key moves the path list's selection to the parent, whose own selection
        // handling then lists it.
        fw::ComboBox paths = mode == MODE_REMOTE ? RemotePathList() : LocalPathList();
        paths.Send(WM_KEYDOWN, VK_UP, 0);
        break;
    }
    default: break;
    }
    ModeList().SetCurSel(mode);
}

void COrletView::LayOut()
{
    fw::ComboBox modes = ModeList();
    if (!modes.IsWindow() || !remoteList.IsWindow() || !localList.IsWindow()) return;
    const std::array<int, 4> controls = {IDC_REMOTE_PATH, IDC_REMOTE_LIST, IDC_LOCAL_PATH, IDC_LOCAL_LIST};
    for (int id : controls)
        Child(id).Show(SW_HIDE);

    const RECT client = GetClientRect();
    const RECT modeRect = modes.GetRectInParent();
    const int modeWidth = Width(modeRect);
    const int comboHeight = DroppedHeight(modes);
    modes.Move(client.right - 1 - modeWidth - 2, modeRect.top, modeWidth, comboHeight);

    fw::Window path = Child(mode == MODE_REMOTE ? IDC_REMOTE_PATH : IDC_LOCAL_PATH);
    fw::Window list = Child(mode == MODE_REMOTE ? IDC_REMOTE_LIST : IDC_LOCAL_LIST);
    path.Move(2, modeRect.top, client.right - modeWidth - 7, comboHeight);
    const int listTop = modeRect.bottom + 2;
    list.Move(client.left + 1, listTop, client.right - 1 - (client.left + 1), client.bottom - 1 - listTop);
    path.Show(SW_SHOWNOACTIVATE);
    list.Show(SW_SHOWNOACTIVATE);

    fw::Window status = Child(IDC_LOCAL_STATUS);
    const RECT statusRect = status.GetRectInParent();
    status.Move(client.left + 4, listTop + 4, client.right - 8 - client.left, Height(statusRect));
    status.Show(mode == MODE_LOCAL && !status.GetText().empty() ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (mode == MODE_LOCAL) SetWindowPos(status.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// ---------------------------------------------------------------- window

void COrletView::OnInitialUpdate()
{
    clipboard = std::make_unique<TransferList>();
    clipboard->owner = Session();

    fw::ComboBox modes = ModeList();
    for (const wchar_t* entry : MODE_ENTRIES)
        modes.AddString(entry);
    MakeBoldFont(Handle(), IDC_MODE_LIST);

    struct ListSetup {
        CListCtrlEx& list;
        int id;
        bool isRemote;
    };
    for (const ListSetup& setup :
         {ListSetup{remoteList, IDC_REMOTE_LIST, true}, ListSetup{localList, IDC_LOCAL_LIST, false}}) {
        const int columns =
            setup.isRemote ? static_cast<int>(REMOTE_COLUMNS.size()) : static_cast<int>(LOCAL_COLUMNS.size());
        setup.list.Attach(Handle(), setup.id, columns);
        setup.list.SetRemote(setup.isRemote);
        setup.list.SetCommandFrame(GetFrame());
        setup.list.SetMenuBuilder([this](const CListCtrlEx& list) {
            return BuildContextMenu(Commands(), list, copySource, VIEW_COMMANDS, IDS_MENU_VIEW);
        });
        setup.list.SetExtendedStyle(LIST_EXTENDED_STYLE);
        for (int column = 0; column < columns; ++column) {
            const ListColumn& columnInfo = setup.isRemote ? REMOTE_COLUMNS[static_cast<std::size_t>(column)]
                                                          : LOCAL_COLUMNS[static_cast<std::size_t>(column)];
            setup.list.InsertColumn(column, columnInfo.header, columnInfo.width, columnInfo.format);
        }
    }

    remote.Bind({Session(), Handle(), Owner(), RemotePathList().Handle(), [this] { remote.Fill(); }});
    ListLocal();
    mode = MODE_REMOTE;
    modes.SetCurSel(mode);
    LayOut();
    remote.RestartKeepAlive();
    Win32Reporter().SetActivityWindow(Handle());
}

void COrletView::OnTimer(UINT_PTR id)
{
    if (!remote.OnTimer(id)) fw::FormView::OnTimer(id);
}

void COrletView::OnSize(UINT type, int width, int height)
{
    fw::FormView::OnSize(type, width, height);
    LayOut();
}

bool COrletView::OnCommand(UINT id, UINT code)
{
    if (code == CBN_SELCHANGE) {
        switch (id) {
        case IDC_MODE_LIST: OnModeChosen(); return true;
        case IDC_REMOTE_PATH: remote.OnPathSelected(); return true;
        case IDC_LOCAL_PATH: OnLocalPathSelected(); return true;
        default: break;
        }
    }
    return fw::FormView::OnCommand(id, code);
}

bool COrletView::OnNotify(NMHDR* header, LRESULT& result)
{
    const bool isRemote = header->hwndFrom == remoteList.Handle();
    if (!isRemote && header->hwndFrom != localList.Handle()) return fw::FormView::OnNotify(header, result);
    switch (header->code) {
    case NM_SETFOCUS:
        lastFocusedList = isRemote ? &remoteList : &localList;
        return fw::FormView::OnNotify(header, result);
    case NM_DBLCLK:
        if (isRemote) {
            remote.OpenSelected();
        } else {
            OpenLocalEntry();
        }
        return true;
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        if (isRemote) {
            remote.GetDisplayInfo(item);
        } else {
            GetLocalDisplayInfo(item);
        }
        result = 0;
        return true;
    }
    default: return fw::FormView::OnNotify(header, result);
    }
}

bool COrletView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_SETFOCUS:
        // The frame hands its focus to the view when it is active again, after a dialog
        // or a menu: the commands act on the focused list, so it goes back to the list
        // that had it while that list is shown, else to the list of the mode.
        if (lastFocusedList == nullptr || !IsWindowVisible(lastFocusedList->Handle()))
            lastFocusedList = mode == MODE_LOCAL ? &localList : &remoteList;
        lastFocusedList->SetFocus();
        // Handled: the dialog's own default would focus its first control instead.
        result = TRUE;
        return true;
    case WM_SOCKET_ACTIVITY:
        remote.RestartKeepAlive();
        result = 0;
        return true;
    case WM_DESTROY:
        if (Win32Reporter().ActivityWindow() == Handle()) Win32Reporter().SetActivityWindow(nullptr);
        remoteList.Detach();
        localList.Detach();
        remote.Clear();
        localIcons.Reset();
        break;
    default: break;
    }
    return fw::FormView::OnMessage(message, wParam, lParam, result);
}
