#include "OrvidView.h"

#include <shellapi.h>

#include <map>
#include <set>

#include "HelpCommands.h"
#include "OrvidDoc.h"
#include "commands/FileCommands.h"
#include "commands/LocalTransferCommands.h"
#include "framework/FrameWindow.h"
#include "session/RemotePane.h"
#include "session/Win32Reporter.h"
#include "shell/ShellHelpers.h"
#include "shell/StatusText.h"
#include "transfer/UploadDlg.h"

namespace {

constexpr int LAYOUT_MARGIN = 2;
constexpr std::array<int, LIST_COLUMN_COUNT> COLUMN_WIDTHS = {180, 110, 80, 80, 60};

// The type combo's first entry shows every type.
constexpr int ALL_TYPES_ENTRY = 0;

constexpr ViewCommands VIEW_COMMANDS = MakeViewCommands(ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS);

// The shell's files go in through Paste while connected; the context menu offers Paste
// only while there are any.
bool ShellFilesOnClipboard(const CommandContext&) { return IsClipboardFormatAvailable(CF_HDROP); }
bool ShellFilesToPaste(const CommandContext& context) { return context.connected && ShellFilesOnClipboard(context); }

int Width(const RECT& rect) { return rect.right - rect.left; }

int Height(const RECT& rect) { return rect.bottom - rect.top; }

// The filter bar's controls, read once per fill. Extensions met while all types are
// shown are added to the type combo in the order first met.
class FilterBarReader {
public:
    explicit FilterBarReader(const ConnectionSession& session) : typeCombo(session.typeCombo)
    {
        if (session.filterEdit != nullptr) settings.text = fw::Window(session.filterEdit).GetText();
        if (session.kindCombo != nullptr) {
            const int kind = fw::ComboBox(session.kindCombo).GetCurSel();
            if (kind == static_cast<int>(FilterKind::OnlyFiles) ||
                kind == static_cast<int>(FilterKind::OnlyDirectories))
                settings.kind = static_cast<FilterKind>(kind);
        }
        if (typeCombo.Handle() != nullptr) {
            const int type = typeCombo.GetCurSel();
            if (type > ALL_TYPES_ENTRY) settings.type = typeCombo.GetLBText(type);
            for (int index = 0; index < typeCombo.GetCount(); ++index)
                listedTypes.insert(FoldAsciiLower(typeCombo.GetLBText(index)));
        }
    }

    bool Matches(const RemoteEntry& entry)
    {
        const FilterResult result = ApplyFilter(settings, entry.name, entry.isDirectory != 0);
        if (typeCombo.Handle() != nullptr && !result.extensionToCollect.empty() &&
            listedTypes.insert(FoldAsciiLower(result.extensionToCollect)).second)
            typeCombo.AddString(result.extensionToCollect);
        return result.accepted;
    }

private:
    FilterSettings settings;
    fw::ComboBox typeCombo;
    std::set<std::wstring> listedTypes;
};

} // namespace

COrvidView::COrvidView() : fw::FormView(IDD_ORVID_FORM) {}

DWORD COrvidView::GetViewMode() const { return list.GetViewMode(); }

void COrvidView::SetViewMode(DWORD mode) { list.SetViewMode(mode & LVS_TYPEMASK); }

int COrvidView::ColumnWidth(int column) const
{
    HWND header = ListView_GetHeader(list.Handle());
    HDITEMW item = {};
    item.mask = HDI_WIDTH;
    if (header != nullptr && Header_GetItem(header, column, &item)) return item.cxy;
    return list.GetColumnWidth(column);
}

ConnectionSession* COrvidView::Session() const
{
    auto* document = dynamic_cast<COrvidDoc*>(GetDocument());
    return document != nullptr ? &document->Session() : nullptr;
}

bool COrvidView::IsConnected() const { return pane.IsConnected(); }

HWND COrvidView::Owner() const { return GetFrame() != nullptr ? GetFrame()->Handle() : Handle(); }

// ---------------------------------------------------------------- filling

void COrvidView::ClearPane() { pane.Clear(); }

bool COrvidView::MatchesFilter(const RemoteEntry& entry) const
{
    const ConnectionSession* session = Session();
    if (session == nullptr) return true;
    return FilterBarReader(*session).Matches(entry);
}

void COrvidView::FillPane()
{
    ConnectionSession* session = Session();
    const bool connected = session != nullptr && session->IsConnected();
    if (connected && session->typeCombo != nullptr) {
        fw::ComboBox types(session->typeCombo);
        if (types.GetCurSel() == ALL_TYPES_ENTRY) {
            for (int index = types.GetCount() - 1; index > ALL_TYPES_ENTRY; --index)
                types.DeleteString(index);
        }
    }
    if (!connected) {
        pane.Clear();
        return;
    }

    FilterBarReader filter(*session);
    PaneCounts counts;
    pane.Fill([&](const RemoteEntry& entry) {
        if (!filter.Matches(entry)) return false;
        counts.Add(entry.isDirectory != 0, entry.isLink != 0, entry.size);
        return true;
    });
    SetStatusText(STATUS_PANE_DIRECTORIES, DirectoriesText(counts));
    SetStatusText(STATUS_PANE_FILES, FilesText(counts));
    SetStatusText(STATUS_PANE_BYTES, BytesText(counts));
}

void COrvidView::Refresh() { pane.Refresh(); }

std::size_t COrvidView::RowEntry(int row) const { return pane.RowEntry(row); }

// ---------------------------------------------------------------- selection

std::vector<RemoteEntry> COrvidView::SelectedEntries() const { return pane.SelectedEntries(); }

std::wstring COrvidView::TargetDirectory() { return pane.TargetDirectory(); }

// ---------------------------------------------------------------- navigation

void COrvidView::GoUp()
{
    // The entry above the current one is its parent, or the home directory in front of
    // the root; at the first entry there is nowhere to go.
    fw::ComboBox combo = FolderCombo();
    const int selected = combo.GetCurSel();
    if (selected <= 0) return;
    combo.SetCurSel(selected - 1);
    pane.OnPathSelected();
}

bool COrvidView::GoToFoundItem(const std::wstring& directory, const std::wstring& name)
{
    return pane.GoToItem(directory, name);
}

// ---------------------------------------------------------------- commands

template <UINT command> void COrvidView::ShowViewMode()
{
    static_assert(FindViewCommand(VIEW_COMMANDS, command) != nullptr);
    SetViewMode(FindViewCommand(VIEW_COMMANDS, command)->style);
}

std::span<const CommandEntry<COrvidView>> COrvidView::Commands()
{
    using namespace rules;
    // Every item of the context menu is greyed while the list is not connected.
    constexpr auto menu = [](MenuGroup group, UINT text, CommandRule present = Always) {
        return MenuPlace{group, text, present, WhenConnected};
    };
    // Every command of the pane, with the rule that enables it in the menus, the toolbar
    // and the context menu, its handler, and its place in the context menu.
    static constexpr CommandEntry<COrvidView> COMMANDS[] = {
        {ID_EDIT_COPY, AnySelected, &COrvidView::Copy, menu(CLIPBOARD_GROUP, IDS_MENU_COPY)},
        {ID_EDIT_PASTE, ShellFilesToPaste, &COrvidView::Paste,
         menu(CLIPBOARD_GROUP, IDS_MENU_PASTE, ShellFilesOnClipboard)},
        {ID_FILE_DOWNLOAD_TO, AnySelected, &COrvidView::DownloadTo, menu(TRANSFER_GROUP, IDS_MENU_DOWNLOAD_TO)},
        {ID_FILE_UPLOAD_FILES, WhenConnected, &COrvidView::UploadFiles, menu(TRANSFER_GROUP, IDS_MENU_UPLOAD_FILES)},
        {ID_FILE_NEW_DIRECTORY, ListReady, &COrvidView::NewDirectory, menu(FILE_GROUP, IDS_MENU_NEW_DIRECTORY)},
        {ID_FILE_RENAME, OneSelected, &COrvidView::Rename, menu(FILE_GROUP, IDS_MENU_RENAME)},
        {ID_FILE_DELETE, AnySelected, &COrvidView::Delete, menu(FILE_GROUP, IDS_MENU_DELETE)},
        {ID_FILE_MOVE_TO, AnySelected, &COrvidView::MoveTo, menu(FILE_GROUP, IDS_MENU_MOVE_TO)},
        {ID_TOOLS_CHMOD, RemoteSelected, &COrvidView::Chmod, menu(ITEM_GROUP, IDS_MENU_CHMOD, InRemoteList)},
        {ID_FILE_PROPERTIES, OneSelected, &COrvidView::Properties, menu(ITEM_GROUP, IDS_MENU_PROPERTIES)},
        {ID_VIEW_ICONS, Always, &COrvidView::ShowViewMode<ID_VIEW_ICONS>, menu(VIEW_GROUP, IDS_MENU_ICONS)},
        {ID_VIEW_LIST, Always, &COrvidView::ShowViewMode<ID_VIEW_LIST>, menu(VIEW_GROUP, IDS_MENU_LIST)},
        {ID_VIEW_DETAILS, Always, &COrvidView::ShowViewMode<ID_VIEW_DETAILS>, menu(VIEW_GROUP, IDS_MENU_DETAILS)},
        {ID_EDIT_FIND, WhenConnected, &COrvidView::Find},
        {ID_TOOLS_SET_TEMP_DIRECTORY, Always, &COrvidView::SetTempDirectory},
        {ID_HELP_OVERVIEW, Always, &COrvidView::OpenOverview},
        {ID_HELP_MANUAL, Always, &COrvidView::OpenManual},
        {ID_HELP_HOME_PAGE, Always, &COrvidView::OpenHomePage},
        {IDC_UP, Always, &COrvidView::GoUp},
        {IDC_GO, Always, &COrvidView::EnterPath},
        {IDC_FILTER_REFRESH, Always, &COrvidView::FillPane},
    };
    return COMMANDS;
}

// The pane's one list is what every command acts on, wherever the focus is.
CommandContext COrvidView::Context() const
{
    CommandContext context;
    context.focus = ListSide::Remote;
    context.connected = IsConnected();
    context.selected = list.IsWindow() ? list.GetSelectedCount() : 0;
    return context;
}

bool COrvidView::OnCommand(UINT id)
{
    const CommandEntry<COrvidView>* command = FindCommand(id);
    if (command == nullptr) return false;
    (this->*command->run)();
    return true;
}

void COrvidView::SetTempDirectory() { SetTempDirectoryCommand(Owner()); }

void COrvidView::OpenOverview() { OpenHelpDocument(Owner(), ID_HELP_OVERVIEW); }

void COrvidView::OpenManual() { OpenHelpDocument(Owner(), ID_HELP_MANUAL); }

void COrvidView::OpenHomePage() { ::OpenHomePage(Owner()); }

bool COrvidView::OnUpdateCommand(fw::CommandState& state)
{
    const CommandEntry<COrvidView>* command = FindCommand(state.Id());
    if (command == nullptr) return false;
    state.Enable(command->enabled(Context()));
    if (const ViewCommand* view = FindViewCommand(VIEW_COMMANDS, state.Id()))
        state.SetRadio(GetViewMode() == view->style);
    return true;
}

bool COrvidView::OnCommand(UINT id, UINT code)
{
    if (id == IDC_FOLDER_COMBO && code == CBN_SELCHANGE) {
        pane.OnPathSelected();
        return true;
    }
    return fw::FormView::OnCommand(id, code);
}

void COrvidView::OnListKey(WORD key)
{
    fw::FrameWindow* frame = GetFrame();
    auto route = [frame](UINT command) {
        if (frame != nullptr) frame->RouteCommand(command);
    };
    switch (key) {
    case VK_RETURN: pane.OpenSelected(); break;
    case VK_BACK: GoUp(); break;
    case VK_INSERT: route(ID_FILE_NEW_DIRECTORY); break;
    case VK_DELETE: route(ID_FILE_DELETE); break;
    case VK_F2: route(ID_FILE_RENAME); break;
    case VK_F4: route(ID_FILE_PROPERTIES); break;
    case VK_F5: Refresh(); break;
    case VK_F6: route(ID_FILE_MOVE_TO); break;
    case VK_F9: pane.EnterPath(); break;
    default: break;
    }
}

bool COrvidView::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->hwndFrom != list.Handle()) return fw::FormView::OnNotify(header, result);
    switch (header->code) {
    case NM_DBLCLK: pane.OpenSelected(); return true;
    case LVN_BEGINDRAG: BeginDrag(); return true;
    case LVN_KEYDOWN: OnListKey(reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey); return true;
    case LVN_GETDISPINFOW:
        pane.GetDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(header)->item);
        result = 0;
        return true;
    case LVN_ODFINDITEMW: {
        // Typing a name's first letters in the list, which searches by prefix.
        const auto* find = reinterpret_cast<NMLVFINDITEMW*>(header);
        const LVFINDINFOW& info = find->lvfi;
        result = -1;
        if ((info.flags & (LVFI_STRING | LVFI_PARTIAL)) != 0 && info.psz != nullptr)
            result = pane.FindRowByText(find->iStart, info.psz, (info.flags & LVFI_PARTIAL) != 0,
                                        (info.flags & LVFI_WRAP) != 0);
        return true;
    }
    default: return fw::FormView::OnNotify(header, result);
    }
}

// ---------------------------------------------------------------- the shell and local files

bool COrvidView::EngineAvailable() { return pane.EngineAvailable(); }

void COrvidView::SetConnected(bool connected)
{
    list.SetConnected(connected);
    if (!dropTarget) return;
    if (connected) {
        dropTarget->Register(list.Handle());
    } else {
        dropTarget->Revoke();
    }
}

void COrvidView::Copy() { CopyEntries(SelectedEntries()); }

fw::ComPtr<CMyDataSource> COrvidView::NewOffer(const std::vector<RemoteEntry>& entries)
{
    fw::ComPtr<CMyDataSource> offer;
    if (!IsConnected() || offerLink->session == nullptr || !EngineAvailable() || entries.empty()) return offer;
    offer.Attach(new CMyDataSource(offerLink, entries));
    dataSource = offer;
    return offer;
}

void COrvidView::CopyEntries(const std::vector<RemoteEntry>& entries)
{
    fw::ComPtr<CMyDataSource> offer = NewOffer(entries);
    if (offer && offer->SetClipboard()) clipboardSource = offer;
}

void COrvidView::Paste()
{
    if (!IsConnected() || !EngineAvailable()) return;
    fw::ComPtr<IDataObject> clipboard;
    if (FAILED(OleGetClipboard(clipboard.Put()))) return;
    DropFiles(clipboard.Get(), Session(), list.Handle());
}

void COrvidView::BeginDrag() { DragEntries(SelectedEntries()); }

void COrvidView::DragEntries(const std::vector<RemoteEntry>& entries)
{
    if (fw::ComPtr<CMyDataSource> offer = NewOffer(entries)) offer->DoDragDrop(DROPEFFECT_COPY);
}

void COrvidView::Find() { pane.Find(this); }

void COrvidView::Upload(std::unique_ptr<TransferList> items)
{
    ConnectionSession* session = Session();
    if (session == nullptr || !session->IsConnected() || !EngineAvailable()) return;
    const std::wstring target = TargetDirectory();
    CUploadDlg job(session, std::move(items), target, JOB_UPLOAD);
    job.DoModal(Owner());
    Refresh();
}

void COrvidView::DownloadTo()
{
    ConnectionSession* session = Session();
    if (session == nullptr || !session->IsConnected() || !EngineAvailable()) return;
    DownloadToCommand(Owner(), *session, SelectedEntries());
}

void COrvidView::UploadFiles()
{
    ConnectionSession* session = Session();
    if (session == nullptr || !session->IsConnected() || !EngineAvailable()) return;
    if (UploadFilesCommand(Owner(), *session, TargetDirectory())) Refresh();
}

// ---------------------------------------------------------------- window

void COrvidView::OnInitialUpdate()
{
    MakeBoldFont(Handle(), IDC_FOLDER_LABEL);
    list.Attach(Handle(), IDC_REMOTE_LIST, LIST_COLUMN_COUNT);
    offerLink->session = Session();
    offerLink->owner = Owner();
    dropTarget.Attach(new CMyDropTarget(Session(), list.Handle()));
    list.SetRemote(true);
    list.SetCommandFrame(GetFrame());
    list.SetMenuBuilder([](const CListCtrlEx& pane) {
        return BuildContextMenu(Commands(), pane, ListSide::None, VIEW_COMMANDS, IDS_MENU_VIEW);
    });
    SetUpFileList(list, COLUMN_WIDTHS);
    pane.Bind({Session(), Handle(), Owner(), FolderCombo().Handle(), [this] { FillPane(); }});
    LayOut();
    pane.Start();
}

void COrvidView::SetKeepAliveInterval(UINT milliseconds) { pane.SetKeepAliveInterval(milliseconds); }

void COrvidView::OnTimer(UINT_PTR id)
{
    if (!pane.OnTimer(id)) fw::FormView::OnTimer(id);
}

bool COrvidView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_SOCKET_ACTIVITY:
        pane.RestartKeepAlive();
        result = 0;
        return true;
    case WM_UPLOAD_LIST:
        Upload(std::unique_ptr<TransferList>(reinterpret_cast<TransferList*>(wParam)));
        result = 0;
        return true;
    case WM_DESTROY:
        if (dropTarget) dropTarget->Revoke();
        dropTarget.Reset();
        // Virtual files can't outlive the session they are read through.
        offerLink->session = nullptr;
        if (clipboardSource && OleIsCurrentClipboard(clipboardSource.Get()) == S_OK) OleSetClipboard(nullptr);
        clipboardSource.Reset();
        dataSource.Reset();
        pane.Release();
        break;
    default: break;
    }
    return fw::FormView::OnMessage(message, wParam, lParam, result);
}

void COrvidView::OnSize(UINT type, int width, int height)
{
    fw::FormView::OnSize(type, width, height);
    LayOut();
}

void COrvidView::LayOut()
{
    fw::Window up = Child(IDC_UP);
    fw::Window go = Child(IDC_GO);
    fw::ComboBox folder = FolderCombo();
    fw::Window listWindow = Child(IDC_REMOTE_LIST);
    if (!up.IsWindow() || !go.IsWindow() || !folder.IsWindow() || !listWindow.IsWindow()) return;

    RECT client = GetClientRect();
    RECT upRect = up.GetRectInParent();
    int upLeft = client.right - LAYOUT_MARGIN - Width(upRect);
    up.Move(upLeft, upRect.top, Width(upRect), Height(upRect));

    RECT goRect = go.GetRectInParent();
    int goLeft = upLeft - Width(goRect);
    go.Move(goLeft, goRect.top, Width(goRect), Height(goRect));

    RECT folderRect = folder.GetRectInParent();
    folder.Move(folderRect.left, folderRect.top, goLeft - folderRect.left, folder.DroppedHeight());

    RECT listRect = listWindow.GetRectInParent();
    listWindow.Move(listRect.left, listRect.top, client.right - LAYOUT_MARGIN - listRect.left,
                    client.bottom - LAYOUT_MARGIN - listRect.top);
}
