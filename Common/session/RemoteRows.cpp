#include "session/RemoteRows.h"

#include <shellapi.h>

#include "session/RemotePane.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"

namespace {

constexpr int LARGE_ICON_SIZE = 32;
constexpr int SMALL_ICON_SIZE = 16;
constexpr UINT IMAGE_LIST_FLAGS = ILC_COLOR32 | ILC_MASK;
constexpr int IMAGE_LIST_INITIAL = 5;
constexpr int IMAGE_LIST_GROWTH = 5;

fw::IconHandle FileIcon(const std::wstring& path, UINT size)
{
    SHFILEINFOW info = {};
    SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_ICON | size);
    return fw::IconHandle(info.hIcon);
}

} // namespace

std::wstring RemoteColumnText(const RemoteEntry& entry, int column)
{
    switch (column) {
    case REMOTE_COLUMN_NAME: return entry.displayName;
    case REMOTE_COLUMN_TIME: return FormatFileTime(entry.time);
    case REMOTE_COLUMN_SIZE: return FormatSize(entry.size);
    case REMOTE_COLUMN_ATTRIBUTES: return entry.attributes;
    case REMOTE_COLUMN_OWNER: return entry.owner;
    default: return {};
    }
}

bool FileIconLists::Create()
{
    kindIndexes.clear();
    return large.Create(LARGE_ICON_SIZE, LARGE_ICON_SIZE, IMAGE_LIST_FLAGS, IMAGE_LIST_INITIAL, IMAGE_LIST_GROWTH) &&
           small.Create(SMALL_ICON_SIZE, SMALL_ICON_SIZE, IMAGE_LIST_FLAGS, IMAGE_LIST_INITIAL, IMAGE_LIST_GROWTH);
}

void FileIconLists::Reset()
{
    kindIndexes.clear();
    large.Reset();
    small.Reset();
}

void FileIconLists::AttachTo(const fw::ListView& list) const
{
    list.SetImageList(large.Get(), LVSIL_NORMAL);
    list.SetImageList(small.Get(), LVSIL_SMALL);
}

int FileIconLists::AddPair(HICON largeIcon, HICON smallIcon)
{
    if (!IsValid() || largeIcon == nullptr || smallIcon == nullptr) return -1;
    const int index = large.AddIcon(largeIcon);
    if (index >= 0 && small.AddIcon(smallIcon) != index) {
        ImageList_Remove(large.Get(), index);
        return -1;
    }
    return index;
}

int FileIconLists::IndexFor(const std::wstring& name, bool directory)
{
    if (!IsValid()) return -1;
    std::wstring key = directory ? std::wstring() : L"f" + FilterExtension(FoldAsciiLower(name));
    const auto known = kindIndexes.find(key);
    if (known != kindIndexes.end()) return known->second;
    const fw::IconHandle largeIcon = ShellIconFor(name, directory, SHGFI_LARGEICON);
    const fw::IconHandle smallIcon = ShellIconFor(name, directory, SHGFI_SMALLICON);
    const int index = AddPair(largeIcon.Get(), smallIcon.Get());
    kindIndexes.emplace(std::move(key), index);
    return index;
}

int FileIconLists::IndexForFile(const std::wstring& path)
{
    const fw::IconHandle largeIcon = FileIcon(path, SHGFI_LARGEICON);
    const fw::IconHandle smallIcon = FileIcon(path, SHGFI_SMALLICON);
    return AddPair(largeIcon.Get(), smallIcon.Get());
}
