#include "commands/LocalTransferCommands.h"

#include <memory>
#include <optional>

#include "commands/FileCommands.h"
#include "shell/LocalPicker.h"
#include "transfer/TransferList.h"
#include "transfer/UploadDlg.h"

namespace {

constexpr std::size_t DRIVE_ROOT_LENGTH = 3; // "C:\"

// The folder a chosen path lies in; a drive's root keeps its backslash, since "C:" alone
// names the drive's current directory rather than its root.
std::wstring ContainingFolder(std::wstring path)
{
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return {};
    if (separator + 1 == DRIVE_ROOT_LENGTH && path[1] == L':') return path.substr(0, DRIVE_ROOT_LENGTH);
    return path.substr(0, separator);
}

} // namespace

bool DownloadToCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    if (!session.IsConnected() || selected.empty()) return false;
    const std::optional<std::wstring> folder = LocalPicker().PickFolder(owner, GetLastFolder());
    if (!folder || folder->empty()) return false;
    SetLastFolder(*folder);
    CUploadDlg job(&session, MakeTransferList(session, selected), *folder, JOB_DOWNLOAD);
    job.DoModal(owner);
    return true;
}

bool UploadFilesCommand(HWND owner, ConnectionSession& session, const std::wstring& targetDirectory)
{
    if (targetDirectory.empty() || !session.IsConnected()) return false;
    const std::vector<std::wstring> paths = LocalPicker().PickFiles(owner, GetLastFolder());
    if (paths.empty()) return false;
    // The open dialog's files all share one folder.
    const std::wstring folder = ContainingFolder(paths.front());
    if (!folder.empty()) SetLastFolder(folder);
    auto list = std::make_unique<TransferList>();
    AddLocalPaths(list.get(), paths);
    // Entries that did not fit an item are named by the job itself.
    if (list->head == nullptr && list->leftOut.empty()) return false;
    CUploadDlg job(&session, std::move(list), targetDirectory, JOB_UPLOAD);
    job.DoModal(owner);
    return true;
}
