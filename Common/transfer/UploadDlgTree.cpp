// Deletes and moves on either side.
#include "transfer/UploadDlg.h"

#include <algorithm>

#include "session/ConnectionSession.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"

namespace {

struct DeleteStep {
    bool isDirectory;
    std::wstring path;
};

} // namespace

UINT CUploadDlg::RunDelete(bool remote)
{
    if (CancelRequested()) return 0;
    if (remote && session == nullptr) return IDOK;
    if (!PrepareJob()) return IDCANCEL;
    std::vector<DeleteStep> steps;
    for (TransferItem* item = FirstItem(list.get(), false); item != nullptr; item = NextItem(list.get(), false)) {
        if (CancelRequested()) break;
        // A remote link goes with DELE, which removes the link and not what it points to.
        steps.push_back({item->isDirectory != 0 && !(remote && item->isLink != 0), item->path});
    }
    // Longest paths first: every child comes before its directory.
    std::stable_sort(steps.begin(), steps.end(),
                     [](const DeleteStep& a, const DeleteStep& b) { return a.path.size() > b.path.size(); });
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (CancelRequested()) break;
        const DeleteStep& step = steps[i];
        PostName(step.path);
        if (remote) {
            // The engine shows the server's refusal itself.
            if (step.isDirectory) {
                session->RemoveRemoteDirectory(step.path);
            } else {
                session->DeleteRemoteFile(step.path);
            }
        } else {
            const BOOL removed =
                step.isDirectory ? RemoveDirectoryW(step.path.c_str()) : DeleteFileW(step.path.c_str());
            if (!removed) ShowLastError(step.path);
        }
        PostPosition(i, i + 1 == steps.size());
    }
    if (!CancelRequested()) ReportLeftOut();
    ClearList(list.get());
    return IDOK;
}

UINT CUploadDlg::RunMove(bool remote)
{
    if (CancelRequested()) return 0;
    if (remote && session == nullptr) return IDOK;
    if (!PrepareJob()) return IDCANCEL;
    MakeDirectoryQuietly(targetDirectory, remote);
    std::uint64_t index = 0;
    // Directories move whole: the list is not expanded.
    for (TransferItem* item = FirstItem(list.get(), false); item != nullptr; item = NextItem(list.get(), false)) {
        if (CancelRequested()) break;
        PostName(item->path);
        if (remote) {
            session->RenameRemote(item->path, JoinRemotePath(targetDirectory, item->name));
        } else if (!MoveFileW(item->path.c_str(), JoinLocalPath(targetDirectory, item->name).c_str())) {
            ShowLastError(item->path);
        }
        ++index;
        PostPosition(index - 1, index == list->itemCount);
    }
    if (!CancelRequested()) ReportLeftOut();
    ClearList(list.get());
    return IDOK;
}
