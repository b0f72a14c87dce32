#include "commands/RemoteListPane.h"

#include "commands/FileCommands.h"
#include "framework/Wait.h"
#include "session/RemotePane.h"
#include "session/Win32Reporter.h"
#include "shell/Format.h"
#include "shell/TextDlg.h"

namespace {

// Whether a row's name is the text, or begins with it, without regard to case, as the
// list's own search compares.
bool NameMatches(std::wstring_view name, const std::wstring& text, bool partial)
{
    const int length = static_cast<int>(partial && name.size() > text.size() ? text.size() : name.size());
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), length, text.c_str(),
                          static_cast<int>(text.size())) == CSTR_EQUAL;
}

} // namespace

void RemoteListPane::Bind(Binding newBinding) { binding = std::move(newBinding); }

void RemoteListPane::Start() const
{
    RestartKeepAlive();
    Win32Reporter().SetActivityWindow(binding.view);
}

void RemoteListPane::Release()
{
    if (Win32Reporter().ActivityWindow() == binding.view) Win32Reporter().SetActivityWindow(nullptr);
    Clear();
    list.Detach();
}

bool RemoteListPane::IsConnected() const { return binding.session != nullptr && binding.session->IsConnected(); }

bool RemoteListPane::EngineAvailable() const
{
    return binding.session != nullptr && WindowMayUseEngine(*binding.session);
}

// ---------------------------------------------------------------- rows

void RemoteListPane::Clear()
{
    if (binding.pathList != nullptr) fw::ComboBox(binding.pathList).ResetContent();
    // The list's count drops to none before the map empties, so it never asks for a row
    // the map no longer has.
    list.DeleteAllItems();
    rows.clear();
    list.SetImageList(nullptr, LVSIL_NORMAL);
    list.SetImageList(nullptr, LVSIL_SMALL);
    icons.Reset();
}

void RemoteListPane::Fill(const std::function<bool(const RemoteEntry&)>& accept)
{
    Clear();
    ConnectionSession* session = binding.session;
    // The entries of a closed connection are no listing to show again.
    if (session == nullptr || !session->IsConnected()) return;
    icons.Create();
    icons.AttachTo(list);

    const FolderComboModel model = BuildFolderCombo(session->CurrentDirectory(), session->homeDirectory);
    fw::ComboBox paths(binding.pathList);
    for (const std::wstring& entry : model.entries)
        paths.AddString(entry);
    paths.SetCurSel(model.selected);

    const RemoteEntryList& entries = session->entries;
    if (!accept) {
        rows.resize(entries.size());
        for (std::size_t index = 0; index < rows.size(); ++index)
            rows[index] = index;
    } else {
        rows.reserve(entries.size());
        RemoteEntry entry;
        for (std::size_t index = 0; index < entries.size(); ++index) {
            entries.Read(index, entry);
            if (accept(entry)) rows.push_back(index);
        }
    }
    // The list was emptied above, so every row it shows now is new: nothing else to
    // invalidate, and no scroll position to keep.
    list.Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(rows.size()), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void RemoteListPane::Refresh()
{
    if (!IsConnected() || !EngineAvailable()) return;
    fw::WaitCursor wait;
    binding.session->RefreshRemote();
    if (binding.fill) binding.fill();
}

std::size_t RemoteListPane::RowEntry(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return NO_ROW_ENTRY;
    return rows[static_cast<std::size_t>(row)];
}

std::optional<RemoteEntry> RemoteListPane::EntryOfRow(int row) const
{
    const std::size_t index = RowEntry(row);
    if (binding.session == nullptr || index >= binding.session->entries.size()) return std::nullopt;
    return binding.session->entries[index];
}

std::optional<std::size_t> RemoteListPane::ListedRow(int row) const
{
    const std::size_t index = RowEntry(row);
    if (binding.session == nullptr || index >= binding.session->entries.size()) return std::nullopt;
    return index;
}

std::vector<RemoteEntry> RemoteListPane::SelectedEntries() const
{
    std::vector<RemoteEntry> selected;
    for (int row : list.GetSelectedItems())
        if (std::optional<RemoteEntry> entry = EntryOfRow(row)) selected.push_back(std::move(*entry));
    return selected;
}

std::wstring RemoteListPane::TargetDirectory() const
{
    if (!IsConnected()) return {};
    const std::vector<RemoteEntry> selected = SelectedEntries();
    if (!selected.empty() && selected.front().isDirectory != 0)
        return JoinRemotePath(selected.front().directory, selected.front().name);
    return binding.session->CurrentDirectory();
}

int RemoteListPane::FindRow(const std::wstring& name) const
{
    const int count = static_cast<int>(rows.size());
    const int start = list.GetNextItem(-1, LVNI_SELECTED) + 1;
    // A server tells names apart by case, so a row of exactly that name comes first; the
    // list's own search, which ignores case, is the fallback. Both go on from the top
    // after the last row, so that an item above the selection is found too.
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        const std::optional<std::size_t> index = ListedRow(row);
        if (index &&
            (binding.session->entries.NameAt(*index) == name || binding.session->entries.DisplayNameAt(*index) == name))
            return row;
    }
    return FindRowByText(start, name, false, true);
}

int RemoteListPane::FindRowByText(int start, const std::wstring& text, bool partial, bool wrap) const
{
    const int count = static_cast<int>(rows.size());
    if (count == 0) return -1;
    if (start < 0 || start >= count) start = 0;
    const int steps = wrap ? count : count - start;
    for (int step = 0; step < steps; ++step) {
        const int row = (start + step) % count;
        const std::optional<std::size_t> index = ListedRow(row);
        if (index && NameMatches(binding.session->entries.DisplayNameAt(*index), text, partial)) return row;
    }
    return -1;
}

void RemoteListPane::GetDisplayInfo(LVITEMW& item)
{
    const std::optional<RemoteEntry> entry = EntryOfRow(item.iItem);
    if (!entry) return;
    if ((item.mask & LVIF_IMAGE) != 0 && item.iSubItem == REMOTE_COLUMN_NAME)
        item.iImage = icons.IndexFor(entry->name, entry->isDirectory != 0);
    if ((item.mask & LVIF_PARAM) != 0) item.lParam = static_cast<LPARAM>(RowEntry(item.iItem));
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    lstrcpynW(item.pszText, RemoteColumnText(*entry, item.iSubItem).c_str(), item.cchTextMax);
}

// ---------------------------------------------------------------- navigation and commands

bool RemoteListPane::EnterDirectory(const std::wstring& path)
{
    if (!IsConnected() || !EngineAvailable()) return false;
    bool entered = false;
    {
        fw::WaitCursor wait;
        entered = binding.session->ChangeDirectory(path);
    }
    if (entered) Refresh();
    return entered;
}

void RemoteListPane::OnPathSelected()
{
    if (!IsConnected()) return;
    fw::ComboBox paths(binding.pathList);
    const int selected = paths.GetCurSel();
    if (selected >= 0) EnterDirectory(paths.GetLBText(selected));
}

void RemoteListPane::EnterPath()
{
    if (!IsConnected() || !EngineAvailable()) return;
    const std::wstring current = binding.session->CurrentDirectory();
    CTextDlg prompt(ENTER_PATH_CAPTION, current);
    if (prompt.DoModal(binding.owner) != IDOK) return;
    if (const std::optional<std::wstring> target = EnterPathTarget(prompt.Text(), current)) EnterDirectory(*target);
}

void RemoteListPane::OpenSelected()
{
    if (!IsConnected() || !EngineAvailable()) return;
    const std::vector<RemoteEntry> selected = SelectedEntries();
    if (selected.empty()) return;
    const RemoteEntry& entry = selected.front();
    if (entry.isDirectory != 0) {
        EnterDirectory(JoinRemotePath(entry.directory, entry.name));
        return;
    }
    OpenRemoteFileCommand(binding.owner, *binding.session, entry);
}

bool RemoteListPane::GoToItem(const std::wstring& directory, const std::wstring& name)
{
    if (!IsConnected()) return false;
    if (directory != binding.session->CurrentDirectory() && !EnterDirectory(directory)) return false;
    const int row = FindRow(name);
    if (row < 0) return false;
    list.SelectOnly(row);
    list.EnsureVisible(row);
    return true;
}

void RemoteListPane::Run(RemoteCommand command)
{
    ConnectionSession* session = binding.session;
    if (session == nullptr) return;
    // Properties only shows what the listing said.
    if (command != RemoteCommand::Properties && !EngineAvailable()) return;
    const HWND owner = binding.owner;
    bool changed = false;
    switch (command) {
    case RemoteCommand::NewDirectory: changed = NewDirectoryCommand(owner, *session, TargetDirectory()); break;
    case RemoteCommand::Rename: changed = RenameCommand(owner, *session, SelectedEntries()); break;
    case RemoteCommand::Delete: changed = DeleteCommand(owner, *session, SelectedEntries()); break;
    case RemoteCommand::MoveTo: changed = MoveToCommand(owner, *session, SelectedEntries()); break;
    case RemoteCommand::Properties: PropertiesCommand(owner, SelectedEntries()); break;
    case RemoteCommand::Chmod: changed = ChmodCommand(owner, *session, SelectedEntries()); break;
    }
    if (changed) Refresh();
}

void RemoteListPane::Find(IFindOwner* findOwner)
{
    if (!IsConnected() || !EngineAvailable()) return;
    CFindDlg dialog(findOwner, *binding.session);
    const INT_PTR result = dialog.DoModal(binding.owner);
    // The dialog's own Goto has shown the item; after a delete the list is refreshed, and
    // the found item selected again.
    if (!dialog.deleted) return;
    Refresh();
    if (result == IDOK) findOwner->GoToFoundItem(dialog.gotoDirectory, dialog.gotoName);
}

// ---------------------------------------------------------------- keep-alive

void RemoteListPane::SetKeepAliveInterval(UINT milliseconds)
{
    keepAliveIntervalMs = milliseconds;
    if (binding.view != nullptr && ::IsWindow(binding.view)) RestartKeepAlive();
}

void RemoteListPane::RestartKeepAlive() const
{
    if (binding.view == nullptr) return;
    KillTimer(binding.view, KEEPALIVE_TIMER);
    SetTimer(binding.view, KEEPALIVE_TIMER, keepAliveIntervalMs, nullptr);
}

bool RemoteListPane::OnTimer(UINT_PTR id) const
{
    if (id != KEEPALIVE_TIMER) return false;
    // KeepAlive stays off a connection that the shell's copy or a job uses.
    if (binding.session != nullptr) binding.session->KeepAlive();
    return true;
}
