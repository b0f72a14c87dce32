// The worker's first step: the replace prompts for names that already exist on the other
// side, the expansion of directory items, and the job's total.
#include "transfer/UploadDlg.h"

#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "shell/Format.h"
#include "transfer/AskReplaceDlg.h"
#include "transfer/RemoteListing.h"

namespace {

constexpr int DWORD_BITS = 32;
constexpr wchar_t ALL_ENTRIES[] = L"*.*";

wchar_t FoldAscii(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

// Names compare with the letters A-Z folded to a-z, as the default locale compares them.
bool SameNameIgnoringCase(const wchar_t* a, const std::wstring& b)
{
    std::size_t i = 0;
    for (; i < b.size(); ++i) {
        if (a[i] == L'\0' || FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return a[i] == L'\0';
}

// "<size text> (<n> bytes)\r\n<date>"; the local side of a download has no blank before
// the parenthesis.
std::wstring SideText(std::uint64_t size, const FILETIME& time, bool blank)
{
    return FormatSize(size) + (blank ? L" (" : L"(") + std::to_wstring(size) + L" bytes)\r\n" + FormatFileTime(time);
}

// The bytes a transfer moves: the list's total also counts the sizes that listings give
// directories, which no transfer moves, so a finished job would never reach its total.
std::uint64_t FileBytes(const TransferList& list)
{
    std::uint64_t total = 0;
    for (const TransferItem* item = list.head; item != nullptr; item = item->next) {
        if (item->isDirectory == 0) total += item->size;
    }
    return total;
}

} // namespace

bool CUploadDlg::PrepareJob()
{
    bool accepted = true;
    // A cancel must not wait for the walk of a large tree to end.
    list->stopEvent = cancelEvent.Get();
    list->followLinks = kind != JOB_DELETE_REMOTE && kind != JOB_DELETE_LOCAL;
    switch (kind) {
    case JOB_UPLOAD:
        accepted = CheckUploadReplace();
        if (accepted) ExpandLocal(list.get());
        break;
    case JOB_DOWNLOAD:
        accepted = CheckDownloadReplace();
        if (accepted) ExpandRemote(list.get());
        break;
    case JOB_DELETE_REMOTE: ExpandRemote(list.get()); break;
    case JOB_DELETE_LOCAL: ExpandLocal(list.get()); break;
    default: break;
    }
    if (!accepted) return false;
    const bool countsBytes = kind == JOB_UPLOAD || kind == JOB_DOWNLOAD;
    progressTotal.store(countsBytes ? FileBytes(*list) : list->itemCount);
    PostMessageW(window, WM_JOB_PROGRESS, 0, JOB_PROGRESS_RANGE);
    return true;
}

bool CUploadDlg::AskReplace(bool isDirectory, const std::wstring& name, const std::wstring& serverText,
                            const std::wstring& localText)
{
    // Once the user has cancelled the job, no further question is asked.
    if (CancelRequested()) return false;
    CAskReplaceDlg prompt(window, isDirectory, name, serverText, localText);
    return prompt.DoModal() == IDOK;
}

// Every remote entry of the target is compared with every item the caller gave; each
// conflict is asked about, and one refusal refuses the job after the remaining questions.
bool CUploadDlg::CheckUploadReplace()
{
    std::vector<nsFTP::FileStatusPtr> records;
    if (session == nullptr || list->head == nullptr) return true;
    {
        RemoteListing listing(*session);
        if (!listing.List(targetDirectory, records)) return true;
    }
    bool accepted = true;
    for (const nsFTP::FileStatusPtr& record : records) {
        const RemoteEntry entry = MakeRemoteEntry(*record);
        const std::uint64_t entrySize = entry.size == REMOTE_SIZE_UNKNOWN ? 0 : entry.size;
        for (const TransferItem* item = list->head; item != nullptr; item = item->next) {
            if (!SameNameIgnoringCase(item->name, entry.name)) continue;
            if (!AskReplace(entry.isDirectory != 0, entry.name, SideText(entrySize, entry.time, true),
                            SideText(item->size, item->lastWrite, true))) {
                accepted = false;
                break;
            }
        }
    }
    return accepted;
}

bool CUploadDlg::CheckDownloadReplace()
{
    if (list->head == nullptr) return true;
    WIN32_FIND_DATAW found = {};
    fw::FindHandle search(FindFirstFileW(JoinLocalPath(targetDirectory, ALL_ENTRIES).c_str(), &found));
    if (!search) return true;
    bool accepted = true;
    do {
        const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << DWORD_BITS) | found.nFileSizeLow;
        for (const TransferItem* item = list->head; item != nullptr; item = item->next) {
            if (!SameNameIgnoringCase(item->name, found.cFileName)) continue;
            if (!AskReplace(item->isDirectory != 0, item->name, SideText(item->size, item->lastWrite, true),
                            SideText(size, found.ftLastWriteTime, false))) {
                accepted = false;
                break;
            }
        }
    } while (FindNextFileW(search.Get(), &found));
    return accepted;
}
