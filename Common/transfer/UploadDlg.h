#pragma once
// A transfer job and its modal progress dialog (dialog 131): upload, download, delete and
// move of the items of a TransferList. One worker thread does the whole job; it reaches
// the dialog only by posting, and the dialog stops it through a manual-reset cancel event
// that the worker polls before each item and after each block, and by cutting the data
// connection in flight, so that a stalled server can't hold the cancel. The dialog ends
// only once the worker has ended, and keeps handling messages while it waits, since the
// worker's prompts and message boxes need this thread.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "transfer/AskReplaceDlg.h"
#include "transfer/TransferList.h"

class ConnectionSession;

constexpr UINT JOB_UPLOAD = 777, JOB_DOWNLOAD = 778, JOB_DELETE_REMOTE = 779, JOB_DELETE_LOCAL = 780,
               JOB_MOVE_REMOTE = 781, JOB_MOVE_LOCAL = 782;

// Posted by the worker to the dialog; lParam says what changed:
//   JOB_PROGRESS_POSITION: the job's position (bytes moved so far in the whole job, or the
//     0-based index of the item just handled) changed. The position is 64-bit and is read
//     from the dialog, so a burst of blocks costs one waiting message, and the last
//     position always arrives.
//   JOB_PROGRESS_NAME: wParam is a heap string (new wchar_t[]) naming the item now being
//     worked on; the dialog shows it and frees it.
//   JOB_PROGRESS_RANGE: the preparation has fixed the job's total (bytes or items).
constexpr UINT WM_JOB_PROGRESS = WM_USER + 101;
constexpr LPARAM JOB_PROGRESS_POSITION = 0;
constexpr LPARAM JOB_PROGRESS_NAME = 1;
constexpr LPARAM JOB_PROGRESS_RANGE = 2;

// File data moves in blocks of this size, through one buffer per job (two for a download of
// more than one block, which is written while the next block arrives).
constexpr std::size_t TRANSFER_BLOCK_BYTES = 1024 * 1024;
// The shortest time between two position messages while a job runs.
constexpr ULONGLONG PROGRESS_INTERVAL_MS = 50;

// A download's file is written under its name with this suffix, in the same directory, and
// takes its real name only once it is whole. One that was cut short stays, to be resumed,
// when the server can resume.
constexpr wchar_t PARTIAL_DOWNLOAD_SUFFIX[] = L".part";

// A connection that drops during a job is tried again this many times per file, after
// these waits; the dialog counts them down, and Cancel ends them.
constexpr int RETRY_TRIES = 3;
constexpr DWORD RETRY_WAIT_SECONDS[RETRY_TRIES] = {1, 3, 9};

// The one warning box that names the entries a list left out, and the links and
// directories its walk did not follow (at most 20 paths, each shortened in the middle);
// nothing when there were none. Ownerless and topmost, so any thread may show it.
void ShowLeftOut(const TransferList& list);
// True when the list went past MAX_TRANSFER_ITEMS, after an error box that says so, shown
// like ShowLeftOut's.
bool RefusedAsTooLarge(const TransferList& list);

// A file a download could not bring whole, the system's error when there was one, and what
// else the user should know (a digest that differed, a partial file kept).
struct FailedDownload {
    std::wstring localPath;
    DWORD error = ERROR_SUCCESS;
    std::wstring note;
};

class CUploadDlg : public fw::Dialog {
public:
    // session may be null for the two local kinds; list may be null (no worker).
    CUploadDlg(ConnectionSession* session, std::unique_ptr<TransferList> list, const std::wstring& targetDirectory,
               UINT kind);
    ~CUploadDlg() override;
    // INT_PTR DoModal(HWND parent) from fw::Dialog: IDOK when the worker ended by itself,
    // IDCANCEL when cancelled or refused.

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // The user-interface side (UploadDlg.cpp).
    void ShowPosition();
    void ShowRange();
    void EndJob(INT_PTR result);
    // Sets the cancel event and cuts the worker's data connection, if one is open.
    void StopWorker();
    void WaitForWorker();
    void DiscardPendingProgress();

    // The worker side. Each job returns the command it posts to end the dialog: IDOK,
    // IDCANCEL for a refused preparation, 0 for none.
    static DWORD WINAPI WorkerMain(LPVOID self);
    UINT RunJob();
    bool CancelRequested() const;
    void PostName(const std::wstring& text);
    // At most one position message waits in the dialog's queue, and while the job runs at
    // most one is posted per PROGRESS_INTERVAL_MS (each costs the dialog a repaint, which
    // competes with the transfer for the processor); final posts the position whatever
    // the time, so the last one always arrives.
    void PostPosition(std::uint64_t position, bool final = false);
    void ReportLeftOut();
    void ReportFailedDownloads();

    // Preparation and the replace prompts (UploadDlgPrepare.cpp); false when refused.
    struct DownloadNames;
    struct UploadNames;
    bool PrepareJob();
    bool PrepareDownload();
    bool PrepareUpload();
    // Asks about every item from first on whose name the upload's destination holds, or an
    // earlier item takes, in the same directory, and once about each destination directory
    // that exists but can't be listed.
    bool CheckUploadReplace(TransferItem* first, UploadNames& names);
    bool AskUnseenDirectory(const std::wstring& path);
    // Asks about every item from first on whose name the download's destination holds, or
    // an earlier item of the list takes, in the same directory.
    bool CheckDownloadReplace(TransferItem* first, DownloadNames& names);
    enum class ReplaceAnswer { Replace, Resume, Refuse };
    ReplaceAnswer AskReplace(bool isDirectory, const std::wstring& name, const std::wstring& serverText,
                             const std::wstring& localText, ResumeOffer offer = ResumeOffer::None);

    // Uploads and downloads (UploadDlgTransfer.cpp).
    UINT RunTransfer(bool upload);
    bool UploadFile(const TransferItem& item, const std::wstring& remotePath);
    // Where an upload goes on: the size of the server's copy when it is shorter than the
    // local file's size, else 0.
    std::uint64_t UploadResumePoint(const std::wstring& remotePath, std::uint64_t localSize);
    // False when the file did not arrive whole; a file that was tried is then recorded in
    // failedDownloads, and nothing of it is left under its name. Its partial file stays
    // when it holds bytes the server can resume from, or when the digest differed.
    bool DownloadFile(const TransferItem& item, const std::wstring& localPath);
    struct PartialFile;
    bool OpenEarlierPartial(const std::wstring& localPath, PartialFile& partial);
    bool FailDownload(const std::wstring& localPath, PartialFile& partial, DWORD error, std::wstring note = {});
    // The server's digest against the bytes written: false (recorded) when they differ.
    bool VerifyDownload(const TransferItem& item, const std::wstring& localPath, PartialFile& partial);
    // Gives the local file the server's time: the listing's when it was exact, else MDTM's.
    void KeepServerTime(const TransferItem& item, HANDLE file);
    // After a connection dropped mid-file: waits the next try's time, the dialog counting
    // down, then logs on again when the control connection went too. False when the tries
    // are used up, the user cancelled, or the logon failed (the reason shown).
    bool RetryAfterDrop();
    bool LogOnAgain(std::wstring& failure);
    void MakeDirectoryQuietly(const std::wstring& path, bool remote);

    // Deletes and moves (UploadDlgTree.cpp).
    UINT RunDelete(bool remote);
    UINT RunMove(bool remote);

    ConnectionSession* session;
    std::unique_ptr<TransferList> list;
    std::wstring targetDirectory;
    UINT kind;
    // The dialog's window as the worker knows it: set before the worker starts, and the
    // window outlives the worker.
    HWND window = nullptr;
    DWORD workerId = 0;
    fw::KernelHandle worker;
    fw::KernelHandle cancelEvent;

    std::atomic<std::uint64_t> progressTotal{0};
    std::atomic<std::uint64_t> progressPosition{0};
    std::atomic<bool> positionPending{false};
    // Set while the worker waits on the control connection alone (a logon, a digest): a
    // Cancel then cuts the whole connection, since no data connection is there to cut.
    std::atomic<bool> waitingOnControl{false};

    // Worker only.
    std::vector<char> block;
    std::vector<char> spareBlock; // a download's second buffer, while a writer thread has the first
    std::vector<FailedDownload> failedDownloads;
    std::uint64_t bytesMoved = 0;
    ULONGLONG lastPositionPost = 0;
    // Tries since the last file that moved whole: a server that drops every connection costs
    // the job three waits, not three per file.
    int triesUsed = 0;

    // User-interface thread only.
    bool ending = false;
    int rangeShift = 0;
};
