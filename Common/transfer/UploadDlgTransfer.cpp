// Uploads and downloads: every item in list order, each directory made before the items
// below it, each file moved in blocks through the job's buffer (a download's second one
// while a writer thread has the first).
#include "transfer/UploadDlg.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <vector>

#include "engine/Digest.h"
#include "engine/Reporter.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "session/RemoteEntryList.h"
#include "session/Win32Reporter.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "transfer/BlockWriter.h"

namespace {

// The name line while a job waits to try again, and while it logs on again.
const wchar_t* const RETRY_WAIT_FORMAT = L"Connection lost. Retry %d of %d in %u s...";
const wchar_t* const RECONNECTING_FORMAT = L"Reconnecting (retry %d of %d)...";
// Follows a file's name once the server's digest matched the bytes written.
const wchar_t* const VERIFIED_SUFFIX = L" (verified)";

const wchar_t* const UPLOAD_FAILED = L"Failed to upload file:\n";
const wchar_t* const UPLOAD_SIZE_DIFFERS = L"The server's copy has another size than the file uploaded:\n";
const wchar_t* const PARTIAL_KEPT_NOTE = L"the part received is kept, to be resumed";
const wchar_t* const DIGEST_DIFFERS_FORMAT = L"its %ls digest differs from the server's; what arrived is kept as %ls";

constexpr std::int64_t FILE_TIME_EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr std::int64_t FILE_TIME_TICKS_PER_SECOND = 10000000LL;
constexpr int DWORD_BITS = 32;

constexpr std::size_t FORMAT_ROOM = 64;

// The format filled in, however long the values.
std::wstring Formatted(const wchar_t* format, auto... values)
{
    std::vector<wchar_t> text(std::wcslen(format) + FORMAT_ROOM);
    while (std::swprintf(text.data(), text.size(), format, values...) < 0)
        text.resize(text.size() * 2);
    return text.data();
}

// A file time as seconds since 1970, both UTC.
std::int64_t UnixSeconds(const FILETIME& time)
{
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << DWORD_BITS) | time.dwLowDateTime);
    return ticks / FILE_TIME_TICKS_PER_SECOND - FILE_TIME_EPOCH_OFFSET_SECONDS;
}

// A reply of the 5xx kind: the server refused for good, and trying again changes nothing.
bool IsPermanentRefusal(const std::wstring& text)
{
    return text.size() >= 3 && text[0] == L'5' && std::iswdigit(text[1]) != 0 && std::iswdigit(text[2]) != 0;
}

bool SeekTo(HANDLE file, std::uint64_t offset)
{
    LARGE_INTEGER distance = {};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

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
    triesUsed = 0;
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
            // The connection is gone, and trying again did not bring it back; no further
            // file can come.
            break;
        }
    }
    if (!CancelRequested()) ReportLeftOut();
    ReportFailedDownloads();
    ClearList(list.get());
    return IDOK;
}

bool CUploadDlg::RetryAfterDrop()
{
    std::wstring failure;
    while (triesUsed < RETRY_TRIES && !CancelRequested()) {
        const DWORD seconds = RETRY_WAIT_SECONDS[triesUsed];
        ++triesUsed;
        for (DWORD left = seconds; left > 0; --left) {
            PostName(Formatted(RETRY_WAIT_FORMAT, triesUsed, RETRY_TRIES, static_cast<unsigned>(left)));
            if (WaitForSingleObject(cancelEvent.Get(), 1000) != WAIT_TIMEOUT) return false;
        }
        // A data connection that broke leaves the control connection in step.
        if (session->IsConnected()) return true;
        PostName(Formatted(RECONNECTING_FORMAT, triesUsed, RETRY_TRIES));
        if (LogOnAgain(failure)) return true;
        if (CancelRequested()) return false;
        // A server that refuses the logon refuses the next try too; one that could not be
        // reached is tried until the tries are used up.
        if (IsPermanentRefusal(failure)) break;
    }
    if (!failure.empty()) ShowTransferFailure(L"", failure);
    return false;
}

bool CUploadDlg::LogOnAgain(std::wstring& failure)
{
    nsFTP::CFTPClient& engine = session->Engine();
    const std::wstring directory = engine.CurrentDirectory();
    bool loggedOn = false;
    {
        nsFTP::CapturedErrors captured;
        // Nobody is asked during a job: a certificate or a plain logon that needs the user's
        // word fails the reconnect, with the reason shown.
        engine.SetTlsQuestions(session->unattendedAnswers);
        waitingOnControl.store(true);
        // A Cancel that came just before the flag was set finds no logon to cut.
        loggedOn = !CancelRequested() && engine.LogOn(session->logonSettings, engine.Timeout());
        waitingOnControl.store(false);
        engine.SetTlsQuestions(nullptr);
        failure = captured.Last();
    }
    if (!loggedOn) {
        // A connection left open without a logon would only collect refusals.
        session->LogOff();
        return false;
    }
    // The window goes on where it was, not in the home directory of the new logon.
    if (!directory.empty()) {
        nsFTP::QuietErrors quiet;
        engine.ChangeDir(directory);
    }
    return true;
}

std::uint64_t CUploadDlg::UploadResumePoint(const std::wstring& remotePath, std::uint64_t localSize)
{
    nsFTP::QuietErrors quiet;
    std::uint64_t size = 0;
    std::wstring failure;
    if (session->Engine().FileSize(remotePath, size, failure) != nsFTP::REPLY_OK || size > localSize) return 0;
    return size;
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
    const bool passive = session->currentSite.passive != 0;
    const std::uint64_t jobBytesBefore = bytesMoved;
    std::uint64_t offset = item.resume != 0 ? UploadResumePoint(remotePath, item.size) : 0;
    // A file sent more than once is checked by the size the server ended with.
    bool sentAgain = item.resume != 0;
    for (;;) {
        if (!SeekTo(local.Get(), offset)) {
            ShowLastError(item.path);
            return false;
        }
        bytesMoved = jobBytesBefore + offset;
        // REST and STOR where the server resumes; else APPE adds to its copy.
        const bool append = offset > 0 && !engine.CanResume();
        std::unique_ptr<nsSocket::IBlockingSocket> transfer =
            engine.OpenDataTransfer(remotePath, passive, true, append ? 0 : offset, append);
        if (!transfer) {
            if (session->IsConnected() || !RetryAfterDrop()) return false;
            sentAgain = true;
            offset = engine.CanResume() ? UploadResumePoint(remotePath, item.size) : 0;
            continue;
        }
        PostName(item.path);

        std::uint64_t count = offset;
        bool sendFailed = false;
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(local.Get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr) || read == 0)
                break;
            int sent = 0;
            if (!engine.WriteData(*transfer, block.data(), static_cast<int>(read), sent)) {
                sendFailed = true;
                break;
            }
            count += static_cast<std::uint64_t>(sent);
            bytesMoved += static_cast<std::uint64_t>(sent);
            PostPosition(bytesMoved);
            if (CancelRequested()) break;
        }
        PostPosition(bytesMoved, true);
        // The transfer ends before any box, so that the server is not left waiting on an
        // open data connection while the user reads.
        const bool confirmed = engine.CloseDataTransfer(std::move(transfer));
        // Whole: every byte sent, and the server's word that it has them all.
        if (count == item.size && !sendFailed && confirmed && !CancelRequested()) break;
        const bool dropped = sendFailed || !session->IsConnected();
        if (CancelRequested() || !dropped || !RetryAfterDrop()) {
            ShowTransferFailure(UPLOAD_FAILED, item.path);
            return false;
        }
        // Where the server can't resume, the file starts again.
        sentAgain = true;
        offset = engine.CanResume() ? UploadResumePoint(remotePath, item.size) : 0;
    }
    local.Reset();
    triesUsed = 0;
    if (sentAgain) {
        nsFTP::QuietErrors quiet;
        std::uint64_t size = 0;
        std::wstring failure;
        if (engine.FileSize(remotePath, size, failure) == nsFTP::REPLY_OK && size != item.size) {
            ShowTransferFailure(UPLOAD_SIZE_DIFFERS, item.path);
            return false;
        }
    }
    if (engine.CanSetModified()) {
        nsFTP::QuietErrors quiet;
        std::wstring failure;
        engine.SetFileModified(remotePath, UnixSeconds(item.lastWrite), failure);
    }
    return true;
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

// A download's local side: the partial file, the bytes it holds, and their digest when the
// server offers one to compare with.
struct CUploadDlg::PartialFile {
    std::wstring path;
    fw::FileHandle file;
    std::uint64_t count = 0;
    std::optional<nsFTP::Digest> digest;
    // An earlier run's file that this one goes on with: a failure never deletes it.
    bool earlier = false;

    void StartDigest(nsFTP::CFTPClient& engine)
    {
        digest.reset();
        if (const auto algorithm = engine.OfferedHash()) digest.emplace(*algorithm);
    }
};

// The partial file an earlier run left, to be resumed: its bytes are read into the digest
// (the only time they are read again), and the download appends.
bool CUploadDlg::OpenEarlierPartial(const std::wstring& localPath, PartialFile& partial)
{
    partial.path = localPath + PARTIAL_DOWNLOAD_SUFFIX;
    partial.earlier = true;
    partial.file.Reset(CreateFileW(partial.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!partial.file) return false;
    partial.StartDigest(session->Engine());
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(partial.file.Get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr)) return false;
        if (read == 0) return true;
        if (partial.digest) partial.digest->Update(block.data(), read);
        partial.count += read;
        if (CancelRequested()) return false;
    }
}

bool CUploadDlg::FailDownload(const std::wstring& localPath, PartialFile& partial, DWORD error, std::wstring note)
{
    partial.file.Reset();
    if (!partial.path.empty()) {
        // What arrived is worth keeping only where the server can send the rest.
        const bool keep = !note.empty() || partial.earlier || (partial.count > 0 && session->Engine().CanResume());
        if (!keep) {
            DeleteFileW(partial.path.c_str());
        } else if (note.empty()) {
            note = PARTIAL_KEPT_NOTE;
        }
    }
    failedDownloads.push_back({localPath, error, std::move(note)});
    return false;
}

bool CUploadDlg::VerifyDownload(const TransferItem& item, const std::wstring& localPath, PartialFile& partial)
{
    if (!partial.digest) return true;
    const std::string written = partial.digest->Final();
    nsFTP::RemoteHash remote;
    std::wstring failure;
    int result = nsFTP::REPLY_OTHER;
    {
        // A server that can't say stays unverified: the size has been checked already.
        nsFTP::QuietErrors quiet;
        waitingOnControl.store(true);
        if (!CancelRequested()) result = session->Engine().FileHash(item.path, remote, failure);
        waitingOnControl.store(false);
    }
    if (result != nsFTP::REPLY_OK || written.empty()) return true;
    if (remote.algorithm == partial.digest->Algorithm() && remote.hex == written) {
        PostName(item.path + VERIFIED_SUFFIX);
        return true;
    }
    const std::size_t slash = partial.path.find_last_of(L'\\');
    const std::wstring kept = slash == std::wstring::npos ? partial.path : partial.path.substr(slash + 1);
    return FailDownload(localPath, partial, ERROR_SUCCESS,
                        Formatted(DIGEST_DIFFERS_FORMAT, nsFTP::HashAlgorithmName(remote.algorithm), kept.c_str()));
}

void CUploadDlg::KeepServerTime(const TransferItem& item, HANDLE file)
{
    FILETIME time = item.lastWrite;
    if (item.timeExact == 0) {
        nsFTP::CFTPClient& engine = session->Engine();
        if (!engine.Features().Has(L"MDTM")) return;
        nsFTP::QuietErrors quiet;
        std::int64_t seconds = 0;
        std::wstring failure;
        if (engine.FileModified(item.path, seconds, failure) != nsFTP::REPLY_OK) return;
        time = ListedTimeToFileTime(seconds);
    }
    SetFileTime(file, nullptr, nullptr, &time);
}

bool CUploadDlg::DownloadFile(const TransferItem& item, const std::wstring& localPath)
{
    if (CancelRequested()) return false;
    nsFTP::CFTPClient& engine = session->Engine();
    const bool passive = session->currentSite.passive != 0;
    PartialFile partial;
    if (item.resume != 0 && !OpenEarlierPartial(localPath, partial))
        return FailDownload(localPath, partial, GetLastError());
    const std::uint64_t jobBytesBefore = bytesMoved;
    for (;;) {
        bytesMoved = jobBytesBefore + partial.count;
        std::unique_ptr<nsSocket::IBlockingSocket> transfer =
            engine.OpenDataTransfer(item.path, passive, false, partial.count);
        if (!transfer) {
            if (session->IsConnected() || !RetryAfterDrop()) return FailDownload(localPath, partial, ERROR_SUCCESS);
            continue;
        }
        PostName(item.path);

        // Opened only after the server has agreed to send, and never over anything: not over
        // the real name, which only the rename below gives, and not over a file of the
        // user's that happens to carry the temporary name.
        if (!partial.file) {
            partial.file = CreatePartialFile(localPath, partial.path);
            if (!partial.file) {
                const DWORD error = GetLastError();
                engine.CloseDataTransfer(std::move(transfer));
                partial.path.clear();
                return FailDownload(localPath, partial, error);
            }
            partial.StartDigest(engine);
        }

        DWORD error = ERROR_SUCCESS;
        bool ended = false;
        // A file of more than one block goes to the disk on a thread of its own, while the
        // next block comes off the network.
        std::optional<CBlockWriter> writer;
        if (item.sizeUnknown != 0 || item.size - partial.count > block.size()) {
            spareBlock.resize(block.size());
            writer.emplace(partial.file.Get(), block, spareBlock, partial.digest ? &*partial.digest : nullptr);
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
                if (!WriteFile(partial.file.Get(), buffer.data(), static_cast<DWORD>(received), &written, nullptr) ||
                    written != static_cast<DWORD>(received)) {
                    error = GetLastError();
                    if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
                }
                if (partial.digest) partial.digest->Update(buffer.data(), written);
                partial.count += written;
                bytesMoved += written;
            }
            PostPosition(bytesMoved);
            if (error != ERROR_SUCCESS || CancelRequested()) break;
        }
        if (writer) {
            error = writer->Finish();
            partial.count += writer->Written();
            writer.reset();
        }
        PostPosition(bytesMoved, true);
        const bool confirmed = engine.CloseDataTransfer(std::move(transfer));
        // A cancel counts as cut short, since the cut data connection may look like an
        // ordinary end.
        if (error != ERROR_SUCCESS || CancelRequested()) return FailDownload(localPath, partial, error);
        // Every byte the server sent, and its word that it sent everything.
        if (ended && confirmed) {
            triesUsed = 0;
            break;
        }
        // The data connection broke (the server may say so with a failure reply after
        // closing it cleanly), or the control connection went with the final reply: the
        // file goes on where it stopped, or from its start where the server can't resume.
        const bool cutShort = !confirmed && (item.sizeUnknown != 0 || partial.count < item.size);
        const bool dropped = !ended || cutShort || !session->IsConnected();
        if (!dropped || !RetryAfterDrop()) return FailDownload(localPath, partial, ERROR_SUCCESS);
        if (!engine.CanResume() && partial.count > 0) {
            if (!SeekTo(partial.file.Get(), 0) || !SetEndOfFile(partial.file.Get()))
                return FailDownload(localPath, partial, GetLastError());
            partial.count = 0;
            partial.StartDigest(engine);
        }
    }
    PostPosition(bytesMoved, true);
    // The listed size, when there was one; then the server's digest, where it offers one.
    if (item.sizeUnknown == 0 && partial.count != item.size) {
        // More than listed can't be resumed from.
        if (partial.count > item.size) partial.count = 0;
        return FailDownload(localPath, partial, ERROR_SUCCESS);
    }
    if (!VerifyDownload(item, localPath, partial)) return false;
    KeepServerTime(item, partial.file.Get());
    partial.file.Reset();
    // The same directory, so a rename: an agreed replacement happens only now, and a file
    // that appeared under the name meanwhile is kept.
    const DWORD replace = item.replace != 0 ? MOVEFILE_REPLACE_EXISTING : 0;
    if (MoveFileExW(partial.path.c_str(), localPath.c_str(), replace)) return true;
    const DWORD error = GetLastError();
    // Whole, but not where it belongs: nothing is kept to resume.
    partial.count = 0;
    return FailDownload(localPath, partial, error);
}
