// The worker's first step: the replace prompts for names that already exist on the other
// side, the expansion of directory items, and the job's total.
#include "transfer/UploadDlg.h"

#include <map>
#include <string_view>

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

// The way the file system compares names: each unit folded by the system's own table.
struct FileSystemNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_LESS_THAN;
    }
};

struct NameRecord {
    bool isDirectory;
    std::uint64_t size;
    FILETIME time;
};

// One directory of a download's destination: what it holds on disk, and the names the
// job's items take in it.
struct DirectoryNames {
    std::map<std::wstring, NameRecord, FileSystemNameLess> present;
    std::map<std::wstring, NameRecord, FileSystemNameLess> taken;
};

void ReadPresentNames(const std::wstring& directory, DirectoryNames& names)
{
    WIN32_FIND_DATAW found = {};
    fw::FindHandle search(FindFirstFileW(JoinLocalPath(directory, ALL_ENTRIES).c_str(), &found));
    if (!search) return;
    do {
        const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << DWORD_BITS) | found.nFileSizeLow;
        names.present.emplace(found.cFileName, NameRecord{(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                                          size, found.ftLastWriteTime});
    } while (FindNextFileW(search.Get(), &found));
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

// Every destination directory a download's items go to, read from disk once, found by its
// relative name as the file system compares it (so "D/x" and "d/X" meet).
struct CUploadDlg::DownloadNames {
    std::map<std::wstring, DirectoryNames, FileSystemNameLess> directories;

    DirectoryNames& Directory(const std::wstring& target, const std::wstring& parent)
    {
        const auto [place, added] = directories.try_emplace(parent);
        if (added) {
            ReadPresentNames(parent.empty() ? target : JoinLocalPath(target, WithLocalSeparators(parent)),
                             place->second);
        }
        return place->second;
    }
};

bool CUploadDlg::PrepareJob()
{
    // A selection too large for one job is refused before anything is asked.
    if (RefusedAsTooLarge(*list)) return false;
    bool accepted = true;
    // A cancel must not wait for the walk of a large tree to end.
    list->stopEvent = cancelEvent.Get();
    list->followLinks = kind != JOB_DELETE_REMOTE && kind != JOB_DELETE_LOCAL;
    switch (kind) {
    case JOB_UPLOAD:
        accepted = CheckUploadReplace();
        if (accepted) ExpandLocal(list.get());
        break;
    case JOB_DOWNLOAD: accepted = PrepareDownload(); break;
    case JOB_DELETE_REMOTE: ExpandRemote(list.get()); break;
    case JOB_DELETE_LOCAL: ExpandLocal(list.get()); break;
    default: break;
    }
    // So is a tree that the walk found too large, before anything is done.
    if (RefusedAsTooLarge(*list) || !accepted) return false;
    const bool countsBytes = kind == JOB_UPLOAD || kind == JOB_DOWNLOAD;
    progressTotal.store(countsBytes ? FileBytes(*list) : list->itemCount);
    PostMessageW(window, WM_JOB_PROGRESS, 0, JOB_PROGRESS_RANGE);
    return true;
}

// The caller's items are asked about before the walk, so that a refusal lists nothing;
// what the walk adds is asked about once the whole tree is known.
bool CUploadDlg::PrepareDownload()
{
    list->localNames = true;
    DownloadNames names;
    TransferItem* callersLast = list->tail;
    if (!CheckDownloadReplace(list->head, names)) return false;
    ExpandRemote(list.get());
    if (list->tooLarge) return false;
    return callersLast == nullptr || CheckDownloadReplace(callersLast->next, names);
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
            if (!SameNameIgnoringCase(item->name.c_str(), entry.name)) continue;
            if (!AskReplace(entry.isDirectory != 0, entry.name, SideText(entrySize, entry.time, true),
                            SideText(item->size, item->lastWrite, true))) {
                accepted = false;
                break;
            }
        }
    }
    return accepted;
}

bool CUploadDlg::CheckDownloadReplace(TransferItem* first, DownloadNames& names)
{
    bool accepted = true;
    for (TransferItem* item = first; item != nullptr; item = item->next) {
        // Left out by the job, or never made: nothing of these lands at the destination.
        if (item->isLoop != 0 || !IsUsableLocalRelativeName(item->name)) continue;
        const std::wstring_view relative(item->name);
        const std::size_t slash = relative.rfind(L'/');
        const std::wstring parent(slash == std::wstring_view::npos ? std::wstring_view() : relative.substr(0, slash));
        const std::wstring leaf(slash == std::wstring_view::npos ? relative : relative.substr(slash + 1));
        DirectoryNames& directory = names.Directory(targetDirectory, parent);
        const NameRecord mine = {item->isDirectory != 0, item->size, item->lastWrite};

        // An earlier item of this job takes the name first: a second file must not replace
        // it unasked. Two directories of one name simply share it.
        const NameRecord* holder = nullptr;
        bool localSide = false;
        if (const auto taken = directory.taken.find(leaf); taken != directory.taken.end()) {
            if (!(mine.isDirectory && taken->second.isDirectory)) holder = &taken->second;
        } else if (const auto present = directory.present.find(leaf); present != directory.present.end()) {
            // Below the caller's items an existing directory is merged into; the files in
            // it are asked about one by one.
            if (!mine.isDirectory || item->depth == 0) {
                holder = &present->second;
                localSide = true;
            }
        }
        if (holder != nullptr) {
            const std::wstring shown = WithLocalSeparators(item->name);
            if (AskReplace(mine.isDirectory, shown, SideText(item->size, item->lastWrite, true),
                           SideText(holder->size, holder->time, !localSide))) {
                item->replace = 1;
            } else {
                accepted = false;
            }
        }
        directory.taken.insert_or_assign(leaf, mine);
    }
    return accepted;
}
