// The worker's first step: the replace prompts for names that already exist on the other
// side, the expansion of directory items, and the job's total.
#include "transfer/UploadDlg.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "SharedResource.h"
#include "engine/Reporter.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "session/Win32Reporter.h"
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

// Server names compare with the letters A-Z folded to a-z, as the default locale compares them.
struct ServerNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](wchar_t x, wchar_t y) { return FoldAscii(x) < FoldAscii(y); });
    }
};

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

// One directory of an upload's destination on the server. Unseen: it exists, but the
// server would not list it, so what the job would replace there is not known.
struct ServerDirectoryNames {
    bool unseen = false;
    bool asked = false; // about an unseen directory, once for all that goes into it
    std::map<std::wstring, NameRecord, ServerNameLess> present;
    std::map<std::wstring, NameRecord, ServerNameLess> taken;
};

const wchar_t* const UNSEEN_DIRECTORY_QUESTION =
    L"The server would not list the directory \"%ls\", so it is not known whether this upload would replace "
    L"anything in it. Upload anyway?";

// A name's parent (empty at the top) and its last part, split at the last "/".
std::pair<std::wstring, std::wstring> SplitRelative(std::wstring_view relative)
{
    const std::size_t slash = relative.rfind(L'/');
    if (slash == std::wstring_view::npos) return {std::wstring(), std::wstring(relative)};
    return {std::wstring(relative.substr(0, slash)), std::wstring(relative.substr(slash + 1))};
}

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

// Every destination directory of an upload on the server, each listed once, found by its
// relative name. A directory is listed only when it exists: when its parent's listing
// names it as a directory, or its parent could not be listed. One that exists and can't
// be listed is unseen: a refused LIST is told from a missing directory by CWD.
struct CUploadDlg::UploadNames {
    std::map<std::wstring, ServerDirectoryNames, ServerNameLess> directories;

    ServerDirectoryNames& Directory(ConnectionSession& session, const std::wstring& target, const std::wstring& parent)
    {
        const auto [place, added] = directories.try_emplace(parent);
        if (!added) return place->second;
        if (!parent.empty()) {
            const auto [grandparent, name] = SplitRelative(parent);
            const ServerDirectoryNames& above = Directory(session, target, grandparent);
            const auto listed = above.present.find(name);
            const bool exists = above.unseen || (listed != above.present.end() && listed->second.isDirectory);
            if (!exists) return place->second;
        }
        const std::wstring path = parent.empty() ? target : JoinRemotePath(target, parent);
        // The refusal is this check's own question, not an error box.
        nsFTP::QuietErrors quiet;
        RemoteListing listing(session);
        std::vector<nsFTP::FileStatusPtr> records;
        if (!listing.List(path, records)) {
            std::wstring entered;
            place->second.unseen = session.IsConnected() && listing.Enter(path, entered);
            return place->second;
        }
        for (const nsFTP::FileStatusPtr& record : records) {
            const RemoteEntry entry = MakeRemoteEntry(*record);
            const std::uint64_t size = entry.size == REMOTE_SIZE_UNKNOWN ? 0 : entry.size;
            place->second.present.emplace(entry.name, NameRecord{entry.isDirectory != 0, size, entry.time});
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
    case JOB_UPLOAD: accepted = PrepareUpload(); break;
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

// As a download: the caller's items first, what the walk adds once the tree is known.
bool CUploadDlg::PrepareUpload()
{
    // RunTransfer has a session before it prepares.
    if (list->head == nullptr) return true;
    UploadNames names;
    TransferItem* callersLast = list->tail;
    if (!CheckUploadReplace(list->head, names)) return false;
    ExpandLocal(list.get());
    return CheckUploadReplace(callersLast->next, names);
}

CUploadDlg::ReplaceAnswer CUploadDlg::AskReplace(bool isDirectory, const std::wstring& name,
                                                 const std::wstring& serverText, const std::wstring& localText,
                                                 ResumeOffer offer)
{
    // Once the user has cancelled the job, no further question is asked.
    if (CancelRequested()) return ReplaceAnswer::Refuse;
    CAskReplaceDlg prompt(window, isDirectory, name, serverText, localText, offer);
    switch (prompt.DoModal()) {
    case IDOK: return ReplaceAnswer::Replace;
    case IDC_REPLACE_RESUME: return ReplaceAnswer::Resume;
    default: return ReplaceAnswer::Refuse;
    }
}

// Each item is compared with what its directory on the server holds, and with the items of
// the job before it there; each conflict is asked about, and so is each directory that
// exists but can't be listed. One refusal refuses the job after the remaining questions.
bool CUploadDlg::CheckUploadReplace(TransferItem* first, UploadNames& names)
{
    bool accepted = true;
    for (TransferItem* item = first; item != nullptr; item = item->next) {
        // A cancel must not wait for the listings of a large tree.
        if (CancelRequested()) return false;
        // A loop's directory is in the job already, under its own name.
        if (item->isLoop != 0) continue;
        const auto [parent, leaf] = SplitRelative(item->name);
        ServerDirectoryNames& directory = names.Directory(*session, targetDirectory, parent);
        if (directory.unseen && !directory.asked) {
            directory.asked = true;
            if (!AskUnseenDirectory(parent.empty() ? targetDirectory : JoinRemotePath(targetDirectory, parent)))
                accepted = false;
        }
        const NameRecord mine = {item->isDirectory != 0, item->size, item->lastWrite};
        const NameRecord* holder = nullptr;
        std::wstring shown = item->name;
        // A shorter file of the server's may be what an earlier upload left unfinished.
        bool resumable = false;
        if (const auto taken = directory.taken.find(leaf); taken != directory.taken.end()) {
            if (!(mine.isDirectory && taken->second.isDirectory)) holder = &taken->second;
        } else if (const auto present = directory.present.find(leaf); present != directory.present.end()) {
            // Below the caller's items an existing directory is merged into; the files in
            // it are asked about one by one.
            if (!mine.isDirectory || item->depth == 0) holder = &present->second;
            // The server's own spelling: that is the item to be replaced.
            shown = parent.empty() ? present->first : JoinRemotePath(parent, present->first);
            resumable = !mine.isDirectory && !present->second.isDirectory && present->second.size > 0 &&
                        present->second.size < mine.size;
        }
        if (holder != nullptr) {
            const ReplaceAnswer answer = AskReplace(
                holder->isDirectory, shown, SideText(holder->size, holder->time, true),
                SideText(item->size, item->lastWrite, true), resumable ? ResumeOffer::Upload : ResumeOffer::None);
            if (answer == ReplaceAnswer::Refuse) accepted = false;
            if (answer == ReplaceAnswer::Resume) item->resume = 1;
        }
        directory.taken.insert_or_assign(leaf, mine);
    }
    return accepted;
}

bool CUploadDlg::AskUnseenDirectory(const std::wstring& path)
{
    if (CancelRequested()) return false;
    std::vector<wchar_t> text(std::wcslen(UNSEEN_DIRECTORY_QUESTION) + path.size() + 1);
    std::swprintf(text.data(), text.size(), UNSEEN_DIRECTORY_QUESTION, path.c_str());
    return MessageBoxW(window, text.data(), Win32Reporter().Caption().c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

bool CUploadDlg::CheckDownloadReplace(TransferItem* first, DownloadNames& names)
{
    bool accepted = true;
    const bool canResume = session->Engine().CanResume();
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
        // What an earlier download of the file left unfinished, if the server can send the
        // rest; the prompt then shows it as the local side.
        const NameRecord* partial = nullptr;
        const bool nameTaken = holder != nullptr;
        if (canResume && !mine.isDirectory && item->sizeUnknown == 0 && (holder == nullptr || localSide)) {
            const auto found = directory.present.find(leaf + PARTIAL_DOWNLOAD_SUFFIX);
            if (found != directory.present.end() && !found->second.isDirectory && found->second.size > 0 &&
                found->second.size < item->size) {
                partial = &found->second;
                holder = partial;
                localSide = true;
            }
        }
        if (holder != nullptr) {
            const std::wstring shown = WithLocalSeparators(item->name);
            const ReplaceAnswer answer =
                AskReplace(mine.isDirectory, shown, SideText(item->size, item->lastWrite, true),
                           SideText(holder->size, holder->time, !localSide),
                           partial != nullptr ? ResumeOffer::Download : ResumeOffer::None);
            if (answer == ReplaceAnswer::Refuse) {
                accepted = false;
            } else {
                if (nameTaken) item->replace = 1;
                // OK downloads the file anew under a fresh temporary name: the partial file
                // could be a file of the user's that only looks like one, so nothing but
                // Resume writes to it.
                if (partial != nullptr && answer == ReplaceAnswer::Resume) item->resume = 1;
            }
        }
        directory.taken.insert_or_assign(leaf, mine);
    }
    return accepted;
}
