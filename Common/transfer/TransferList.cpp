#include "transfer/TransferList.h"

#include <cwchar>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "shell/Format.h"
#include "transfer/RemoteListing.h"

const wchar_t* const TRANSFER_TOO_LARGE_TEXT =
    L"The selection holds more than 200,000 files and directories, more than one job can take; nothing was "
    L"done. Choose fewer items, or folders further down.";

namespace {

constexpr int DWORD_BITS = 32;
constexpr wchar_t ALL_ENTRIES[] = L"*.*";

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// How a walk went into one directory.
enum class Descent {
    Listed,
    Failed,       // could not be read: stays unexpanded, its contents left out
    Visited,      // the directory was listed already under another path
    NotDirectory, // a link that could not be entered
};

std::wstring_view LastPart(std::wstring_view name)
{
    const std::size_t slash = name.rfind(L'/');
    return slash == std::wstring_view::npos ? name : name.substr(slash + 1);
}

void AddChild(TransferList* list, const TransferItem& directory, std::uint64_t size, bool isDirectory,
              const std::wstring& name, const std::wstring& path, const FILETIME& time, bool isLink,
              bool timeExact = false)
{
    TransferItem* added = AddItem(size, list, isDirectory, JoinRemotePath(directory.name, name), path,
                                  time.dwLowDateTime, time.dwHighDateTime);
    if (added == nullptr) return;
    added->isLink = isLink ? 1 : 0;
    added->timeExact = timeExact ? 1 : 0;
    added->depth = directory.depth + 1;
}

// A directory on disk is known by its volume and file ID, whatever path or link led to it.
using LocalDirectoryId = std::pair<DWORD, std::uint64_t>;

bool IdentifyLocalDirectory(const wchar_t* path, LocalDirectoryId& id)
{
    fw::FileHandle directory(CreateFileW(path, FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!directory || !GetFileInformationByHandle(directory.Get(), &information)) return false;
    id = {information.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(information.nFileIndexHigh) << DWORD_BITS) | information.nFileIndexLow};
    return true;
}

Descent AddLocalChildren(TransferList* list, std::set<LocalDirectoryId>& visited, const TransferItem& directory)
{
    // A directory that can't be identified is listed all the same: the depth limit still
    // ends any loop through it.
    LocalDirectoryId id;
    if (IdentifyLocalDirectory(directory.path.c_str(), id) && !visited.insert(id).second) return Descent::Visited;
    WIN32_FIND_DATAW found = {};
    fw::FindHandle search(FindFirstFileW(JoinLocalPath(directory.path, ALL_ENTRIES).c_str(), &found));
    if (!search) return Descent::Failed;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << DWORD_BITS) | found.nFileSizeLow;
        AddChild(list, directory, size, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, found.cFileName,
                 JoinLocalPath(directory.path, found.cFileName), found.ftLastWriteTime,
                 (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    } while (!list->tooLarge && FindNextFileW(search.Get(), &found));
    return Descent::Listed;
}

Descent AddRemoteChildren(TransferList* list, RemoteListing& listing, std::set<std::wstring>& visited,
                          const TransferItem& directory)
{
    std::vector<nsFTP::FileStatusPtr> records;
    // What lies below a link is named from the directory it led to, so that a directory
    // reached both ways has one path, and a loop ends at its second visit.
    std::wstring base = directory.path;
    if (directory.isLink != 0) {
        if (!listing.Enter(directory.path, base)) return Descent::NotDirectory;
        if (!visited.insert(base).second) return Descent::Visited;
        if (!listing.ListEntered(records)) return Descent::Failed;
    } else {
        if (!visited.insert(base).second) return Descent::Visited;
        if (!listing.List(directory.path, records)) return Descent::Failed;
    }
    for (const nsFTP::FileStatusPtr& record : records) {
        if (list->tooLarge) break;
        if (record->name == L"." || record->name == L"..") continue;
        const RemoteEntry entry = MakeRemoteEntry(*record);
        // No directory holds such a name; joined to the path, it would name something
        // outside this tree, which a delete or download must never reach. A download also
        // leaves out what can't be a local name, and never lists below it.
        if (entry.name.empty() || entry.name.find(L'/') != std::wstring::npos ||
            (list->localNames && !IsUsableLocalName(entry.name))) {
            list->leftOut.push_back({JoinRemotePath(directory.name, entry.name), JoinRemotePath(base, entry.name)});
            continue;
        }
        const std::uint64_t size = record->sizeKnown != 0 ? entry.size : REMOTE_SIZE_UNKNOWN;
        AddChild(list, directory, size, record->isDirectory, entry.name, JoinRemotePath(base, entry.name), entry.time,
                 entry.isLink != 0, entry.timeExact != 0);
    }
    return Descent::Listed;
}

// A link that turned out to be a file: its listed size was the link's own.
void MakeFile(TransferList* list, TransferItem& item)
{
    item.isDirectory = 0;
    list->totalBytes -= item.size;
    item.size = 0;
    item.sizeUnknown = 1;
}

// Files are numbered in list order; a link that became a file takes its place among them.
void RenumberFiles(TransferList* list)
{
    std::uint32_t files = 0;
    for (TransferItem* item = list->head; item != nullptr; item = item->next) {
        item->fileIndex = files;
        if (item->isDirectory == 0) ++files;
    }
    list->fileCount = files;
}

// Items are only appended, so one pass that follows the growing tail visits every
// directory in list order: children come after all items added before them.
template <typename ChildReader> void Expand(TransferList* list, ChildReader addChildren)
{
    bool kindChanged = false;
    for (TransferItem* item = list->head; item != nullptr; item = item->next) {
        if (list->tooLarge) break;
        if (list->stopEvent != nullptr && WaitForSingleObject(list->stopEvent, 0) != WAIT_TIMEOUT) break;
        if (item->isDirectory == 0 || item->expanded != 0 || item->isLoop != 0) continue;
        if (item->isLink != 0 && !list->followLinks) continue;
        if (list->localNames && !IsUsableLocalName(LastPart(item->name))) continue;
        if (item->depth >= MAX_TREE_DEPTH) {
            list->leftOut.push_back({item->name, item->path, LeftOutReason::Depth});
            item->expanded = 1;
            continue;
        }
        switch (addChildren(*item)) {
        case Descent::Listed: item->expanded = 1; break;
        case Descent::Failed: break;
        case Descent::Visited:
            item->isLoop = 1;
            list->leftOut.push_back({item->name, item->path, LeftOutReason::Loop});
            break;
        case Descent::NotDirectory:
            MakeFile(list, *item);
            kindChanged = true;
            break;
        }
    }
    if (kindChanged) RenumberFiles(list);
}

TransferItem* SkipDirectories(TransferItem* item, bool filesOnly)
{
    while (filesOnly && item != nullptr && item->isDirectory != 0)
        item = item->next;
    return item;
}

} // namespace

TransferList::~TransferList() { ClearList(this); }

TransferItem* AddItem(std::uint64_t size, TransferList* list, bool isDirectory, const std::wstring& name,
                      const std::wstring& path, DWORD lastWriteLow, DWORD lastWriteHigh)
{
    if (list->itemCount + list->leftOut.size() >= MAX_TRANSFER_ITEMS) {
        list->tooLarge = true;
        return nullptr;
    }
    if (name.size() >= TRANSFER_NAME_CHARS || path.size() >= TRANSFER_PATH_CHARS) {
        list->leftOut.push_back({name, path});
        return nullptr;
    }
    auto* item = new TransferItem{};
    item->isDirectory = isDirectory ? 1 : 0;
    item->sizeUnknown = size == REMOTE_SIZE_UNKNOWN ? 1 : 0;
    item->size = item->sizeUnknown != 0 ? 0 : size;
    item->lastWrite.dwLowDateTime = lastWriteLow;
    item->lastWrite.dwHighDateTime = lastWriteHigh;
    item->name = name;
    item->path = path;
    item->fileIndex = static_cast<std::uint32_t>(list->fileCount);
    item->itemIndex = static_cast<std::uint32_t>(list->itemCount);
    if (list->tail != nullptr) {
        list->tail->next = item;
    } else {
        list->head = item;
    }
    list->tail = item;
    if (!isDirectory) ++list->fileCount;
    ++list->itemCount;
    list->totalBytes += item->size;
    return item;
}

void AddLocalPaths(TransferList* list, const std::vector<std::wstring>& paths)
{
    for (std::wstring path : paths) {
        while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/'))
            path.pop_back();
        const std::size_t separator = path.find_last_of(L"\\/:");
        const std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
        // The attributes of exactly this path: a search would read wildcards in its name.
        WIN32_FILE_ATTRIBUTE_DATA found = {};
        if (name.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &found)) continue;
        const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << DWORD_BITS) | found.nFileSizeLow;
        AddLocalItem(list, name, path, found.dwFileAttributes, size, found.ftLastWriteTime);
    }
}

TransferItem* AddLocalItem(TransferList* list, const std::wstring& name, const std::wstring& path, DWORD attributes,
                           std::uint64_t size, const FILETIME& lastWrite)
{
    TransferItem* added = AddItem(size, list, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, name, path,
                                  lastWrite.dwLowDateTime, lastWrite.dwHighDateTime);
    if (added != nullptr) added->isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? 1 : 0;
    return added;
}

std::unique_ptr<TransferList> MakeTransferList(ConnectionSession& session, const std::vector<RemoteEntry>& entries,
                                               bool localNames)
{
    auto list = std::make_unique<TransferList>();
    list->owner = &session;
    list->localNames = localNames;
    for (const RemoteEntry& entry : entries) {
        const std::wstring path = JoinRemotePath(entry.directory, entry.name);
        if (localNames && !IsUsableLocalName(entry.name)) {
            list->leftOut.push_back({entry.name, path});
            continue;
        }
        TransferItem* item = AddItem(entry.size, list.get(), entry.isDirectory != 0, entry.name, path,
                                     entry.time.dwLowDateTime, entry.time.dwHighDateTime);
        if (item == nullptr) continue;
        item->isLink = entry.isLink;
        item->timeExact = entry.timeExact;
    }
    return list;
}

void ClearList(TransferList* list)
{
    TransferItem* item = list->head;
    while (item != nullptr) {
        TransferItem* following = item->next;
        delete item;
        item = following;
    }
    list->head = list->tail = nullptr;
    list->cursor = list->nextCursor = nullptr;
    list->totalBytes = list->fileCount = list->itemCount = 0;
    list->leftOut.clear();
    list->tooLarge = false;
}

TransferItem* FirstItem(TransferList* list, bool filesOnly)
{
    list->cursor = SkipDirectories(list->head, filesOnly);
    list->nextCursor = list->cursor != nullptr ? list->cursor->next : nullptr;
    return list->cursor;
}

TransferItem* NextItem(TransferList* list, bool filesOnly)
{
    list->cursor = SkipDirectories(list->nextCursor, filesOnly);
    list->nextCursor = list->cursor != nullptr ? list->cursor->next : nullptr;
    return list->cursor;
}

void ExpandLocal(TransferList* list)
{
    std::set<LocalDirectoryId> visited;
    Expand(list,
           [list, &visited](const TransferItem& directory) { return AddLocalChildren(list, visited, directory); });
}

void ExpandRemote(TransferList* list)
{
    if (list->owner == nullptr) return;
    RemoteListing listing(*list->owner);
    std::set<std::wstring> visited;
    Expand(list, [list, &listing, &visited](const TransferItem& directory) {
        return AddRemoteChildren(list, listing, visited, directory);
    });
}
