#include "OrletView.h"

#include "OrletDoc.h"
#include "commands/FileCommands.h"
#include "framework/FrameWindow.h"
#include "session/RemotePane.h"
#include "session/Win32Reporter.h"
#include "shell/FileListColumns.h"
#include "shell/ShellHelpers.h"
#include "transfer/UploadDlg.h"

const std::array<const wchar_t*, 5> MODE_ENTRIES = {L"FTP Files", L"Local Files", L"-----", L"Go...", L"Up"};

namespace {

// The local list's columns are the remote list's first three.
constexpr std::array<int, REMOTE_LIST_COLUMNS> COLUMN_WIDTHS = {150, 110, 80, 80, 60};

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

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

template <UINT command> void COrletView::ShowViewMode()
{
    static_assert(FindViewCommand(VIEW_COMMANDS, command) != nullptr);
    if (CListCtrlEx* list = FocusedList()) list->SetViewMode(FindViewCommand(VIEW_COMMANDS, command)->style);
}

void COrletView::SetTempDirectory() { SetTempDirectoryCommand(Owner()); }

void COrletView::OpenHomePage() { ::OpenHomePage(Owner()); }

void COrletView::RunOnFocusedList(RemoteCommand command, void (LocalListPane::*localCommand)())
{
    switch (FocusedSide()) {
    case ListSide::Remote: remote.Run(command); break;
    case ListSide::Local:
        if (localCommand != nullptr) (local.*localCommand)();
        break;
    default: break;
    }
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
    if (side != ListSide::Local || local.Browser() == nullptr || !clipboard) return;
    ClearList(clipboard.get());
    local.AddEntries(clipboard.get(), local.SelectedEntries());
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
    const ListSide side = FocusedSide();
    if (session == nullptr || local.Browser() == nullptr || side == ListSide::None || !clipboard ||
        !remote.EngineAvailable())
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
        CUploadDlg job(session, std::move(items), local.TargetDirectory(), JOB_DOWNLOAD);
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
            local.EnterPath();
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
    const int comboHeight = modes.DroppedHeight();
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
        const int columns = setup.isRemote ? REMOTE_LIST_COLUMNS : LOCAL_LIST_COLUMNS;
        setup.list.Attach(Handle(), setup.id, columns);
        setup.list.SetRemote(setup.isRemote);
        setup.list.SetCommandFrame(GetFrame());
        setup.list.SetMenuBuilder([this](const CListCtrlEx& list) {
            return BuildContextMenu(Commands(), list, copySource, VIEW_COMMANDS, IDS_MENU_VIEW);
        });
        SetUpFileList(setup.list, std::span(COLUMN_WIDTHS).first(static_cast<std::size_t>(columns)));
    }

    remote.Bind({Session(), Handle(), Owner(), RemotePathList().Handle(), [this] { remote.Fill(); }});
    COrletDoc* document = Document();
    local.Bind({Session(), document != nullptr ? &document->Local() : nullptr, Owner(), LocalPathList().Handle(),
                Child(IDC_LOCAL_STATUS).Handle(), [this] { return mode == MODE_LOCAL; }});
    ListLocal();
    mode = MODE_REMOTE;
    modes.SetCurSel(mode);
    LayOut();
    remote.Start();
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
        case IDC_LOCAL_PATH: local.OnPathSelected(); return true;
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
            local.OpenSelected();
        }
        return true;
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        if (isRemote) {
            remote.GetDisplayInfo(item);
        } else {
            local.GetDisplayInfo(item);
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
        remote.Release();
        local.Release();
        break;
    default: break;
    }
    return fw::FormView::OnMessage(message, wParam, lParam, result);
}
