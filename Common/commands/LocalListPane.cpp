#include "commands/LocalListPane.h"

#include <cstddef>
#include <memory>
#include <optional>

#include "commands/FileCommands.h"
#include "framework/Wait.h"
#include "remotetools/PropDlg.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "shell/TextDlg.h"
#include "transfer/TransferList.h"
#include "transfer/UploadDlg.h"

namespace {

enum LocalColumn { LOCAL_COLUMN_NAME, LOCAL_COLUMN_TIME, LOCAL_COLUMN_SIZE };

constexpr int NO_ICON_YET = -2;

const wchar_t* const CREATE_FAILED_TEXT = L"The directory could not be created:\n";
const wchar_t* const RENAME_FAILED_TEXT = L"The item could not be renamed:\n";
const wchar_t* const LIST_FAILED_TEXT = L"This directory cannot be listed:\n";

} // namespace

void LocalListPane::Bind(Binding newBinding) { binding = std::move(newBinding); }

void LocalListPane::Release()
{
    list.Detach();
    icons.Reset();
}

// ---------------------------------------------------------------- rows

void LocalListPane::List()
{
    LocalBrowser* browser = binding.browser;
    if (browser == nullptr) return;
    fw::WaitCursor wait;
    list.DeleteAllItems();
    list.SetImageList(nullptr, LVSIL_NORMAL);
    list.SetImageList(nullptr, LVSIL_SMALL);
    icons.Create();
    icons.AttachTo(list);

    fw::ComboBox paths(binding.pathList);
    paths.ResetContent();
    const std::vector<std::wstring> entries = LocalPathListEntries(browser->currentDirectory);
    for (const std::wstring& entry : entries)
        paths.AddString(entry);
    paths.SetCurSel(static_cast<int>(entries.size()) - 1);

    const bool listed = browser->List();
    ShowStatus(listed ? std::wstring() : LIST_FAILED_TEXT + browser->currentDirectory);
    iconIndexes.assign(browser->entries.size(), NO_ICON_YET);
    list.Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(browser->entries.size()), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void LocalListPane::ShowStatus(const std::wstring& text) const
{
    fw::Window status(binding.status);
    status.SetText(text);
    const bool shown = binding.shown && binding.shown();
    status.Show(!text.empty() && shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}

std::wstring LocalListPane::StatusText() const { return fw::Window(binding.status).GetText(); }

std::wstring LocalListPane::EntryPath(int entry) const
{
    const LocalBrowser* browser = binding.browser;
    return JoinLocalPath(browser->currentDirectory, browser->entries[static_cast<std::size_t>(entry)].cFileName);
}

void LocalListPane::AddEntries(TransferList* items, const std::vector<int>& entries) const
{
    for (int entry : entries) {
        const WIN32_FIND_DATAW& found = binding.browser->entries[static_cast<std::size_t>(entry)];
        AddLocalItem(items, found.cFileName, EntryPath(entry), found.dwFileAttributes, EntrySize(found),
                     found.ftLastWriteTime);
    }
}

std::vector<int> LocalListPane::SelectedEntries() const
{
    const LocalBrowser* browser = binding.browser;
    std::vector<int> selected;
    if (browser == nullptr) return selected;
    for (int row : list.GetSelectedItems())
        if (row >= 0 && static_cast<std::size_t>(row) < browser->entries.size()) selected.push_back(row);
    return selected;
}

std::wstring LocalListPane::TargetDirectory() const
{
    return LocalTargetDirectory(*binding.browser, SelectedEntries());
}

void LocalListPane::GetDisplayInfo(LVITEMW& item)
{
    const LocalBrowser* browser = binding.browser;
    if (browser == nullptr || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= browser->entries.size()) return;
    const std::size_t index = static_cast<std::size_t>(item.iItem);
    const WIN32_FIND_DATAW& found = browser->entries[index];
    if ((item.mask & LVIF_IMAGE) != 0 && item.iSubItem == LOCAL_COLUMN_NAME && index < iconIndexes.size()) {
        if (iconIndexes[index] == NO_ICON_YET) iconIndexes[index] = icons.IndexForFile(EntryPath(item.iItem));
        item.iImage = iconIndexes[index];
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

// ---------------------------------------------------------------- navigation

void LocalListPane::OnPathSelected()
{
    fw::ComboBox paths(binding.pathList);
    const int selected = paths.GetCurSel();
    if (binding.browser == nullptr || selected < 0) return;
    binding.browser->currentDirectory = paths.GetLBText(selected);
    List();
}

void LocalListPane::EnterPath()
{
    LocalBrowser* browser = binding.browser;
    if (browser == nullptr) return;
    CTextDlg prompt(ENTER_PATH_CAPTION, browser->currentDirectory);
    if (prompt.DoModal(binding.owner) != IDOK) return;
    const std::optional<std::wstring> target = LocalEnterPathTarget(prompt.Text(), browser->currentDirectory);
    if (!target) return;
    browser->currentDirectory = *target;
    List();
}

void LocalListPane::OpenSelected()
{
    const std::vector<int> selected = SelectedEntries();
    if (binding.browser == nullptr || selected.empty()) return;
    const std::wstring path = EntryPath(selected.front());
    if (IsDirectoryEntry(binding.browser->entries[static_cast<std::size_t>(selected.front())])) {
        binding.browser->currentDirectory = path;
        List();
        return;
    }
    OpenWithShell(binding.owner, path);
}

// ---------------------------------------------------------------- commands

void LocalListPane::NewDirectory()
{
    if (binding.browser == nullptr) return;
    const std::wstring target = TargetDirectory();
    CTextDlg prompt(NEW_DIRECTORY_CAPTION, std::wstring());
    if (prompt.DoModal(binding.owner) != IDOK || prompt.Text().empty()) return;
    const std::wstring path = JoinLocalPath(target, prompt.Text());
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        // The list stays as it was; the user learns why the name was not taken.
        ShowLastError(CREATE_FAILED_TEXT + path);
        return;
    }
    List();
}

void LocalListPane::Rename()
{
    LocalBrowser* browser = binding.browser;
    const std::vector<int> selected = SelectedEntries();
    if (browser == nullptr || selected.empty()) return;
    const std::wstring oldName = browser->entries[static_cast<std::size_t>(selected.front())].cFileName;
    CTextDlg prompt(RENAME_CAPTION, oldName);
    if (prompt.DoModal(binding.owner) != IDOK || prompt.Text().empty()) return;
    const std::wstring from = JoinLocalPath(browser->currentDirectory, oldName);
    const std::wstring to = JoinLocalPath(browser->currentDirectory, prompt.Text());
    if (!MoveFileW(from.c_str(), to.c_str())) {
        ShowLastError(RENAME_FAILED_TEXT + from);
        return;
    }
    List();
}

void LocalListPane::Delete()
{
    const std::vector<int> selected = SelectedEntries();
    if (binding.browser == nullptr || selected.empty()) return;
    if (ConfirmDelete(binding.owner)) RunJob(selected, binding.browser->currentDirectory, JOB_DELETE_LOCAL);
}

void LocalListPane::MoveTo()
{
    const std::vector<int> selected = SelectedEntries();
    if (binding.browser == nullptr || selected.empty()) return;
    CTextDlg prompt(MOVE_TO_CAPTION, std::wstring());
    if (prompt.DoModal(binding.owner) == IDOK && !prompt.Text().empty())
        RunJob(selected, prompt.Text(), JOB_MOVE_LOCAL);
}

void LocalListPane::RunJob(const std::vector<int>& entries, const std::wstring& target, UINT jobType)
{
    auto items = std::make_unique<TransferList>();
    AddEntries(items.get(), entries);
    CUploadDlg job(binding.session, std::move(items), target, jobType);
    job.DoModal(binding.owner);
    List();
}

void LocalListPane::Properties()
{
    const std::vector<int> selected = SelectedEntries();
    if (binding.browser == nullptr || selected.empty()) return;
    const WIN32_FIND_DATAW& found = binding.browser->entries[static_cast<std::size_t>(selected.front())];
    CPropDlg properties;
    properties.localItem = true;
    properties.directory = IsDirectoryEntry(found);
    properties.name = found.cFileName;
    properties.path = binding.browser->currentDirectory;
    properties.sizeText = PropertiesSizeText(EntrySize(found));
    properties.modifiedText = FormatFileTime(found.ftLastWriteTime);
    properties.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    properties.hidden = (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    properties.system = (found.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    properties.DoModal(binding.owner);
}
