// Uploads and downloads: every item in list order, each directory made before the items
// below it, each file moved in blocks through the job's one buffer.
#include "transfer/UploadDlg.h"

#include <algorithm>
#include <string_view>

#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "session/Win32Reporter.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"

namespace {

const wchar_t* const UPLOAD_FAILED = L"Failed to upload file:\n";
const wchar_t* const DOWNLOAD_FAILED = L"Failed to download file:\n";

std::wstring WithSeparator(std::wstring path, wchar_t from, wchar_t to)
{
    std::replace(path.begin(), path.end(), from, to);
    return path;
}

// Shown from the worker: no owner, above the progress dialog.
void ShowTransferFailure(const wchar_t* what, const std::wstring& localPath)
{
    MessageBoxW(nullptr, (what + localPath).c_str(), Win32Reporter().Caption().c_str(),
                MB_ICONERROR | MB_OK | MB_TOPMOST);
}

// A name from the server becomes a local path, one part per directory level. A part that
// climbs, is empty, holds a separator or drive mark of its own or names a device would put
// the file outside the target.
bool IsSafeLocalName(std::wstring_view name)
{
    for (;;) {
        const std::size_t slash = name.find(L'/');
        if (!IsUsableLocalName(name.substr(0, slash))) return false;
        if (slash == std::wstring_view::npos) return true;
        name.remove_prefix(slash + 1);
    }
}

} // namespace

void CUploadDlg::MakeDirectoryQuietly(const std::wstring& path, bool remote)
{
    if (remote) {
        session->MakeDirectory(path, false);
    } else {
        CreateDirectoryW(path.c_str(), nullptr);
    }
}

UINT CUploadDlg::RunTransfer(bool upload)
{
    if (session == nullptr || !PrepareJob()) return IDCANCEL;
    block.resize(TRANSFER_BLOCK_BYTES);
    bytesMoved = 0;
    bool targetMade = false;
    for (TransferItem* item = FirstItem(list.get(), false); item != nullptr; item = NextItem(list.get(), false)) {
        if (CancelRequested()) break;
        if (!upload && !IsSafeLocalName(item->name)) {
            list->leftOut.push_back({item->name, item->path});
            continue;
        }
        // Names are "/" joined on both sides; each side gets its own separator.
        const std::wstring destination = upload
                                             ? WithSeparator(JoinRemotePath(targetDirectory, item->name), L'\\', L'/')
                                             : WithSeparator(JoinLocalPath(targetDirectory, item->name), L'/', L'\\');
        // One level only: the target's parent must exist. Failures stay quiet; a file
        // whose directory is really missing then fails by itself.
        if (!targetMade) {
            MakeDirectoryQuietly(targetDirectory, upload);
            targetMade = true;
        }
        // Expansion is breadth-first, so a directory always comes before what is below it.
        if (item->isDirectory != 0) {
            MakeDirectoryQuietly(destination, upload);
            continue;
        }
        if (!(upload ? UploadFile(*item, destination) : DownloadFile(*item, destination))) break;
    }
    if (!CancelRequested()) ReportLeftOut();
    ClearList(list.get());
    return IDOK;
}

bool CUploadDlg::UploadFile(const TransferItem& item, const std::wstring& remotePath)
{
    if (CancelRequested()) return false;
    // The local file opens first: STOR replaces the remote file at once, which must not
    // happen for a local file that cannot be read.
    fw::FileHandle local(CreateFileW(item.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!local) {
        ShowLastError(item.path);
        return false;
    }
    nsFTP::CFTPClient& engine = session->Engine();
    std::unique_ptr<nsSocket::IBlockingSocket> transfer = session->OpenRemoteTransfer(remotePath, true);
    if (!transfer) return false;
    PostName(item.path);

    std::uint64_t count = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(local.Get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr) || read == 0) break;
        int sent = 0;
        if (!engine.WriteData(*transfer, block.data(), static_cast<int>(read), sent)) break;
        count += static_cast<std::uint64_t>(sent);
        bytesMoved += static_cast<std::uint64_t>(sent);
        PostPosition(bytesMoved);
        if (CancelRequested()) break;
    }
    PostPosition(bytesMoved, true);
    local.Reset();
    // The transfer ends before any box, so that the server is not left waiting on an
    // open data connection while the user reads.
    engine.CloseDataTransfer(std::move(transfer));
    if (count == item.size) return true;
    ShowTransferFailure(UPLOAD_FAILED, item.path);
    return false;
}

bool CUploadDlg::DownloadFile(const TransferItem& item, const std::wstring& localPath)
{
    if (CancelRequested()) return false;
    nsFTP::CFTPClient& engine = session->Engine();
    std::unique_ptr<nsSocket::IBlockingSocket> transfer = session->OpenRemoteTransfer(item.path, false);
    if (!transfer) return false;
    PostName(item.path);

    // Replaces the content of an existing file; only after the server has agreed to send,
    // so that a refused download leaves the local file as it was.
    fw::FileHandle local(CreateFileW(localPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!local) {
        const DWORD error = GetLastError();
        engine.CloseDataTransfer(std::move(transfer));
        SetLastError(error);
        ShowLastError(localPath);
        return false;
    }

    std::uint64_t count = 0;
    DWORD writeError = ERROR_SUCCESS;
    for (;;) {
        int received = 0;
        if (!engine.ReadData(*transfer, block.data(), static_cast<int>(block.size()), received) || received == 0) break;
        DWORD written = 0;
        if (!WriteFile(local.Get(), block.data(), static_cast<DWORD>(received), &written, nullptr) ||
            written != static_cast<DWORD>(received)) {
            writeError = GetLastError();
            if (writeError == ERROR_SUCCESS) writeError = ERROR_WRITE_FAULT;
        }
        count += written;
        bytesMoved += written;
        PostPosition(bytesMoved);
        if (writeError != ERROR_SUCCESS || CancelRequested()) break;
    }
    PostPosition(bytesMoved, true);
    local.Reset();
    engine.CloseDataTransfer(std::move(transfer));
    if (writeError != ERROR_SUCCESS) {
        SetLastError(writeError);
        ShowLastError(localPath);
    }
    if (writeError == ERROR_SUCCESS && count == item.size) return true;
    ShowTransferFailure(DOWNLOAD_FAILED, localPath);
    return false;
}
