#include "commands/FileCommands.h"

#include <memory>

#include "framework/App.h"
#include "framework/Wait.h"
#include "remotetools/FileAttributes.h"
#include "remotetools/PropDlg.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "shell/TempDirectory.h"
#include "shell/TextDlg.h"
#include "transfer/TransferList.h"
#include "transfer/UploadDlg.h"

namespace {

const wchar_t* const NEW_DIRECTORY_CAPTION = L"New Directory";
const wchar_t* const RENAME_CAPTION = L"Rename";
const wchar_t* const MOVE_TO_CAPTION = L"Move To";
const wchar_t* const SET_TEMP_DIRECTORY_CAPTION = L"Set Temp Directory";
const wchar_t* const CHMOD_COMMAND = L"CHMOD ";
const wchar_t* const DELETE_QUESTION = L"Are you sure you want to delete the selected items?";
const std::wstring UNUSABLE_LOCAL_NAME_MESSAGE = L"This name cannot be used for a local file:\n";
const wchar_t* const LINE_BREAK_MESSAGE = L"The text cannot contain a line break.";
constexpr int REPLY_SUCCESS = 0;
constexpr int DWORD_BITS = 32;

int CommandMessageBox(HWND owner, const wchar_t* text, UINT type)
{
    fw::App* app = fw::GetApp();
    std::wstring caption = app ? app->GetAppName() : std::wstring();
    return ::MessageBoxW(owner, text, caption.empty() ? nullptr : caption.c_str(), type);
}

// A typed text goes into a command line as it is, so a line break in it would end that
// line early and make the rest a command of its own.
bool IsSingleLine(HWND owner, const std::wstring& text)
{
    if (text.find_first_of(L"\r\n") == std::wstring::npos) return true;
    CommandMessageBox(owner, LINE_BREAK_MESSAGE, MB_ICONERROR | MB_OK);
    return false;
}

// True when the prompt ended with OK on a non-empty, single-line text.
bool Prompt(HWND owner, const wchar_t* caption, const std::wstring& initial, std::wstring& text)
{
    CTextDlg prompt(caption, initial);
    if (prompt.DoModal(owner) != IDOK || prompt.Text().empty()) return false;
    if (!IsSingleLine(owner, prompt.Text())) return false;
    text = prompt.Text();
    return true;
}

// The engine keeps the last known directory after its connection has closed; a closed
// connection must read as "no current directory" so that the commands do nothing.
std::wstring ConnectedDirectory(ConnectionSession& session)
{
    if (!session.IsConnected()) return {};
    return session.CurrentDirectory();
}

std::wstring EntryPath(const RemoteEntry& entry) { return JoinRemotePath(entry.directory, entry.name); }

// The local copy exists and has the listed size, the job's own measure of a whole
// download (a listing without a size never passes it).
bool IsWholeCopy(const std::wstring& copy, std::uint64_t listedSize)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &data)) return false;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << DWORD_BITS) | data.nFileSizeLow;
    return size == listedSize;
}

} // namespace

std::unique_ptr<TransferList> MakeTransferList(ConnectionSession& session, const std::vector<RemoteEntry>& entries)
{
    auto list = std::make_unique<TransferList>();
    list->owner = &session;
    for (const RemoteEntry& entry : entries) {
        TransferItem* item = AddItem(entry.size, list.get(), entry.isDirectory != 0, entry.name, EntryPath(entry),
                                     entry.time.dwLowDateTime, entry.time.dwHighDateTime);
        if (item != nullptr) item->isLink = entry.isLink;
    }
    return list;
}

std::wstring PropertiesSizeText(std::uint64_t size)
{
    if (size == REMOTE_SIZE_UNKNOWN) return {};
    return FormatSize(size) + L" (" + std::to_wstring(size) + L" bytes)";
}

bool NewDirectoryCommand(HWND owner, ConnectionSession& session, const std::wstring& targetDirectory)
{
    if (targetDirectory.empty()) return false;
    std::wstring name;
    if (!Prompt(owner, NEW_DIRECTORY_CAPTION, std::wstring(), name)) return false;
    fw::WaitCursor wait;
    if (!session.MakeDirectory(JoinRemotePath(targetDirectory, name), true)) return false;
    return session.ChangeDirectory(targetDirectory);
}

bool RenameCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    if (ConnectedDirectory(session).empty() || selected.empty()) return false;
    const RemoteEntry& entry = selected.front();
    std::wstring newName;
    if (!Prompt(owner, RENAME_CAPTION, entry.name, newName)) return false;
    fw::WaitCursor wait;
    return session.RenameRemote(EntryPath(entry), JoinRemotePath(entry.directory, newName)) == REPLY_SUCCESS;
}

bool DeleteCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    const std::wstring current = ConnectedDirectory(session);
    if (current.empty() || selected.empty()) return false;
    if (CommandMessageBox(owner, DELETE_QUESTION, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return false;
    CUploadDlg job(&session, MakeTransferList(session, selected), current, JOB_DELETE_REMOTE);
    job.DoModal(owner);
    return true;
}

bool MoveToCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    const std::wstring current = ConnectedDirectory(session);
    if (current.empty() || selected.empty()) return false;
    std::wstring target;
    if (!Prompt(owner, MOVE_TO_CAPTION, current, target)) return false;
    CUploadDlg job(&session, MakeTransferList(session, selected), target, JOB_MOVE_REMOTE);
    job.DoModal(owner);
    return true;
}

void OpenRemoteFileCommand(HWND owner, ConnectionSession& session, const RemoteEntry& entry)
{
    if (ConnectedDirectory(session).empty()) return;
    const std::wstring directory = GetTempDirectory();
    if (directory.empty()) return;
    if (!IsUsableLocalName(entry.name)) {
        CommandMessageBox(owner, (UNUSABLE_LOCAL_NAME_MESSAGE + entry.name).c_str(), MB_ICONERROR | MB_OK);
        return;
    }
    const std::wstring copy = JoinLocalPath(directory, entry.name);
    // An earlier copy would make the download ask whether to replace it.
    DeleteFileW(copy.c_str());
    CUploadDlg job(&session, MakeTransferList(session, {entry}), directory, JOB_DOWNLOAD);
    if (job.DoModal(owner) != IDOK) return;
    // The job also ends with IDOK when it stopped at a failure; only a whole copy is opened.
    if (!IsWholeCopy(copy, entry.size)) return;
    OpenWithShell(owner, copy);
}

void PropertiesCommand(HWND owner, const std::vector<RemoteEntry>& selected)
{
    if (selected.empty()) return;
    const RemoteEntry& entry = selected.front();
    CPropDlg properties;
    properties.localItem = false;
    properties.directory = entry.isDirectory != 0;
    properties.name = entry.displayName;
    properties.path = entry.directory;
    properties.sizeText = PropertiesSizeText(entry.size);
    properties.modifiedText = FormatFileTime(entry.time);
    properties.attributesText = entry.attributes;
    properties.ownerText = entry.owner;
    properties.DoModal(owner);
}

bool ChmodCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    if (selected.empty()) return false;
    CFileAttributes permissions;
    if (permissions.DoModal(owner) != IDOK) return false;
    const std::wstring mode = permissions.ManualValue();
    if (!IsSingleLine(owner, mode)) return false;
    if (ConnectedDirectory(session).empty()) return false;
    fw::WaitCursor wait;
    // One SITE command per entry, each answered before the next; a refusal is shown by the
    // engine and the others still go out.
    for (const RemoteEntry& entry : selected)
        session.Engine().SiteCommand(CHMOD_COMMAND + mode + L" " + EntryPath(entry));
    return true;
}

void SetTempDirectoryCommand(HWND owner)
{
    CTextDlg prompt(SET_TEMP_DIRECTORY_CAPTION, GetTempDirectory());
    if (prompt.DoModal(owner) != IDOK) return;
    // Only the last level is created; the directory usually exists already.
    CreateDirectoryW(prompt.Text().c_str(), nullptr);
    SetTempDirectoryValue(prompt.Text());
}
