#include "transfer/TransferList.h"

#include <cwchar>
#include <vector>

#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "shell/Format.h"
#include "transfer/RemoteListing.h"

namespace {

constexpr int DWORD_BITS = 32;
constexpr wchar_t ALL_ENTRIES[] = L"*.*";

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

void CopyText(wchar_t* target, const std::wstring& text)
{
    std::wmemcpy(target, text.c_str(), text.size());
    target[text.size()] = L'\0';
}

bool AddLocalChildren(TransferList* list, const TransferItem& directory)
{
    WIN32_FIND_DATAW found = {};
    fw::FindHandle search(FindFirstFileW(JoinLocalPath(directory.path, ALL_ENTRIES).c_str(), &found));
    if (!search) return false;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << DWORD_BITS) | found.nFileSizeLow;
        TransferItem* added =
            AddItem(size, list, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                    JoinRemotePath(directory.name, found.cFileName), JoinLocalPath(directory.path, found.cFileName),
                    found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime);
        if (added != nullptr) added->isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? 1 : 0;
    } while (FindNextFileW(search.Get(), &found));
    return true;
}

bool AddRemoteChildren(TransferList* list, RemoteListing& listing, const TransferItem& directory)
{
    std::vector<nsFTP::FileStatusPtr> records;
    if (!listing.List(directory.path, records)) return false;
    for (const nsFTP::FileStatusPtr& record : records) {
        if (record->name == L"." || record->name == L"..") continue;
        const RemoteEntry entry = MakeRemoteEntry(*record);
        // No directory holds such a name; joined to the path, it would name something
        // outside this tree, which a delete or download must never reach.
        if (entry.name.empty() || entry.name.find(L'/') != std::wstring::npos) {
            list->leftOut.push_back(
                {JoinRemotePath(directory.name, entry.name), JoinRemotePath(directory.path, entry.name)});
            continue;
        }
        TransferItem* added =
            AddItem(entry.size, list, record->isDirectory, JoinRemotePath(directory.name, entry.name),
                    JoinRemotePath(directory.path, entry.name), entry.time.dwLowDateTime, entry.time.dwHighDateTime);
        if (added != nullptr) added->isLink = entry.isLink;
    }
    return true;
}

// Items are only appended, so one pass that follows the growing tail visits every
// directory in list order: children come after all items added before them. A directory
// that cannot be read stays unexpanded, its contents left out.
template <typename ChildReader> void Expand(TransferList* list, ChildReader addChildren)
{
    for (TransferItem* item = list->head; item != nullptr; item = item->next) {
        if (list->stopEvent != nullptr && WaitForSingleObject(list->stopEvent, 0) != WAIT_TIMEOUT) return;
        if (item->isDirectory == 0 || item->expanded != 0) continue;
        if (item->isLink != 0 && !list->followLinks) continue;
        if (addChildren(*item)) item->expanded = 1;
    }
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
    if (name.size() >= TRANSFER_NAME_CHARS || path.size() >= TRANSFER_PATH_CHARS) {
        list->leftOut.push_back({name, path});
        return nullptr;
    }
    auto* item = new TransferItem{};
    item->isDirectory = isDirectory ? 1 : 0;
    // A listing without a size is a size of 0 to the job.
    item->size = size == REMOTE_SIZE_UNKNOWN ? 0 : size;
    item->lastWrite.dwLowDateTime = lastWriteLow;
    item->lastWrite.dwHighDateTime = lastWriteHigh;
    CopyText(item->name, name);
    CopyText(item->path, path);
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
        TransferItem* added = AddItem(size, list, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, name, path,
                                      found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime);
        if (added != nullptr) added->isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? 1 : 0;
    }
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
    Expand(list, [list](const TransferItem& directory) { return AddLocalChildren(list, directory); });
}

void ExpandRemote(TransferList* list)
{
    if (list->owner == nullptr) return;
    RemoteListing listing(*list->owner);
    Expand(list,
           [list, &listing](const TransferItem& directory) { return AddRemoteChildren(list, listing, directory); });
}
