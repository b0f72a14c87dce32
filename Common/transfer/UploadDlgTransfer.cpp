// Uploads and downloads: every item in list order, each directory made before the items
// below it, each file moved in blocks through the job's buffer (a download's second one
// while a writer thread has the first).
#include "transfer/UploadDlg.h"

#include <algorithm>
#include <optional>

#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "session/Win32Reporter.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "transfer/BlockWriter.h"

namespace {

const wchar_t* const UPLOAD_FAILED = L"Failed to upload file:\n";

std::wstring WithRemoteSeparators(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

// Shown from the worker: no owner, above the progress dialog.
void ShowTransferFailure(const wchar_t* what, const std::wstring& localPath)
{
    MessageBoxW(nullptr, (what + localPath).c_str(), Win32Reporter().Caption().c_str(),
                MB_ICONERROR | MB_OK | MB_TOPMOST);
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
    failedDownloads.clear();
    bool targetMade = false;
    for (TransferItem* item = FirstItem(list.get(), false); item != nullptr; item = NextItem(list.get(), false)) {
        if (CancelRequested()) break;
        // A name from the server becomes a local path, one part per directory level; a part
        // that climbs, holds a separator of its own or names a device would put the file
        // outside the target.
        if (!upload && !IsUsableLocalRelativeName(item->name)) {
            list->leftOut.push_back({item->name, item->path});
            continue;
        }
        // Its directory is in the job already, under its own name.
        if (item->isLoop != 0) continue;
        // Names are "/" joined on both sides; each side gets its own separator.
        const std::wstring destination = upload ? WithRemoteSeparators(JoinRemotePath(targetDirectory, item->name))
                                                : WithLocalSeparators(JoinLocalPath(targetDirectory, item->name));
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
        if (upload) {
            if (!UploadFile(*item, destination)) break;
        } else if (!DownloadFile(*item, destination) && !session->IsConnected()) {
            // The engine has said that the connection is gone; no further file can come.
            break;
        }
    }
    if (!CancelRequested()) ReportLeftOut();
    ReportFailedDownloads();
    ClearList(list.get());
    return IDOK;
}

bool CUploadDlg::UploadFile(const TransferItem& item, const std::wstring& remotePath)
{
    if (CancelRequested()) return false;
    // The local file opens first: STOR replaces the remote file at once, which must not
    // happen for a local file that cannot be read.
    fw::FileHandle local(CreateFileW(item.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

namespace {

// A copy cut off by a program that was killed may still hold the first temporary name, so
// the next free one is taken: a leftover never blocks a download, and is never written over.
constexpr int PARTIAL_NAME_ATTEMPTS = 100;

fw::FileHandle CreatePartialFile(const std::wstring& localPath, std::wstring& partialPath)
{
    for (int attempt = 0; attempt < PARTIAL_NAME_ATTEMPTS; ++attempt) {
        partialPath =
            localPath + (attempt == 0 ? std::wstring() : L"." + std::to_wstring(attempt)) + PARTIAL_DOWNLOAD_SUFFIX;
        fw::FileHandle file(CreateFileW(partialPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return fw::FileHandle();
}

} // namespace

bool CUploadDlg::DownloadFile(const TransferItem& item, const std::wstring& localPath)
{
    if (CancelRequested()) return false;
    nsFTP::CFTPClient& engine = session->Engine();
    std::unique_ptr<nsSocket::IBlockingSocket> transfer = session->OpenRemoteTransfer(item.path, false);
    if (!transfer) {
        failedDownloads.push_back({localPath});
        return false;
    }
    PostName(item.path);

    // Opened only after the server has agreed to send, and never over anything: not over
    // the real name, which only the rename below gives, and not over a file of the user's
    // that happens to carry the temporary name.
    std::wstring partialPath;
    fw::FileHandle local = CreatePartialFile(localPath, partialPath);
    if (!local) {
        const DWORD error = GetLastError();
        engine.CloseDataTransfer(std::move(transfer));
        failedDownloads.push_back({localPath, error});
        return false;
    }

    std::uint64_t count = 0;
    DWORD error = ERROR_SUCCESS;
    bool ended = false;
    // A file of more than one block goes to the disk on a thread of its own, while the
    // next block comes off the network.
    std::optional<CBlockWriter> writer;
    if (item.sizeUnknown != 0 || item.size > block.size()) {
        spareBlock.resize(block.size());
        writer.emplace(local.Get(), block, spareBlock);
        if (!writer->Started()) writer.reset();
    }
    for (;;) {
        std::vector<char>& buffer = writer ? writer->Buffer() : block;
        int received = 0;
        if (!engine.ReadData(*transfer, buffer.data(), static_cast<int>(buffer.size()), received)) break;
        if (received == 0) {
            ended = true;
            break;
        }
        if (writer) {
            // False when an earlier block could not be written; Finish tells why.
            if (!writer->Write(static_cast<DWORD>(received))) break;
            bytesMoved += static_cast<std::uint64_t>(received);
        } else {
            DWORD written = 0;
            if (!WriteFile(local.Get(), buffer.data(), static_cast<DWORD>(received), &written, nullptr) ||
                written != static_cast<DWORD>(received)) {
                error = GetLastError();
                if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
            }
            count += written;
            bytesMoved += written;
        }
        PostPosition(bytesMoved);
        if (error != ERROR_SUCCESS || CancelRequested()) break;
    }
    if (writer) {
        error = writer->Finish();
        count = writer->Written();
        writer.reset();
    }
    PostPosition(bytesMoved, true);
    local.Reset();
    const bool confirmed = engine.CloseDataTransfer(std::move(transfer));
    // Whole: every byte the server sent, the server's word that it sent everything, and the
    // listed size. A cancel also counts as cut short, since the cut data connection may
    // look like an ordinary end.
    const bool whole = error == ERROR_SUCCESS && ended && confirmed && !CancelRequested() &&
                       (item.sizeUnknown != 0 || count == item.size);
    if (whole) {
        // The same directory, so a rename: an agreed replacement happens only now, and a
        // file that appeared under the name meanwhile is kept.
        const DWORD replace = item.replace != 0 ? MOVEFILE_REPLACE_EXISTING : 0;
        if (MoveFileExW(partialPath.c_str(), localPath.c_str(), replace)) return true;
        error = GetLastError();
    }
    DeleteFileW(partialPath.c_str());
    failedDownloads.push_back({localPath, error});
    return false;
}
