#include "shell/LocalBrowser.h"

#include <algorithm>

#include "framework/Handles.h"
#include "shell/Format.h"

const wchar_t* const LOCAL_ROOT = L"\\";

namespace {

const wchar_t* const ALL_FILES_PATTERN = L"*.*";
constexpr int DWORD_BITS = 32;
constexpr std::size_t DRIVE_ROOT_LENGTH = 3; // "C:\"

bool IsDotEntry(const wchar_t* name) { return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0; }

bool IsDriveRoot(const std::wstring& path)
{
    return path.size() == DRIVE_ROOT_LENGTH && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool IsDrive(const std::wstring& text) { return text.size() == 2 && text[1] == L':'; }

} // namespace

bool IsDirectoryEntry(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t EntrySize(const WIN32_FIND_DATAW& entry)
{
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << DWORD_BITS) | entry.nFileSizeLow;
}

void SortLocalEntries(std::vector<WIN32_FIND_DATAW>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        const bool aDirectory = IsDirectoryEntry(a);
        if (aDirectory != IsDirectoryEntry(b)) return aDirectory;
        return CompareStringOrdinal(a.cFileName, -1, b.cFileName, -1, TRUE) == CSTR_LESS_THAN;
    });
}

bool LocalBrowser::List()
{
    entries.clear();
    const std::wstring pattern = JoinLocalPath(currentDirectory, ALL_FILES_PATTERN);
    WIN32_FIND_DATAW found = {};
    fw::FindHandle search(FindFirstFileW(pattern.c_str(), &found));
    // A drive's root has no "." or "..": when it is empty, the search finds nothing at all.
    if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!IsDotEntry(found.cFileName)) entries.push_back(found);
    } while (FindNextFileW(search.Get(), &found));
    SortLocalEntries(entries);
    return true;
}

std::vector<std::wstring> LocalPathListEntries(const std::wstring& directory)
{
    std::vector<std::wstring> list;
    for (std::size_t separator = directory.find(L'\\'); separator != std::wstring::npos;
         separator = directory.find(L'\\', separator + 1)) {
        std::wstring before = directory.substr(0, separator);
        if (before.empty()) before = LOCAL_ROOT;
        // "C:" alone names the drive's current directory; its root keeps the backslash.
        if (IsDrive(before)) before += L'\\';
        if (list.empty() || list.back() != before) list.push_back(before);
    }
    if (list.empty() || list.back() != directory) list.push_back(directory);
    return list;
}

std::optional<std::wstring> LocalEnterPathTarget(const std::wstring& typed, const std::wstring& currentDirectory)
{
    if (typed.empty() || typed == currentDirectory) return std::nullopt;
    std::wstring target = typed;
    if (target.size() > 1 && (target.back() == L'/' || target.back() == L'\\') && !IsDriveRoot(target))
        target.pop_back();
    if (target == currentDirectory) return std::nullopt;
    return target;
}

std::wstring LocalTargetDirectory(const LocalBrowser& browser, const std::vector<int>& selectedEntries)
{
    if (!selectedEntries.empty()) {
        const int first = selectedEntries.front();
        if (first >= 0 && static_cast<std::size_t>(first) < browser.entries.size() &&
            IsDirectoryEntry(browser.entries[static_cast<std::size_t>(first)]))
            return JoinLocalPath(browser.currentDirectory, browser.entries[static_cast<std::size_t>(first)].cFileName);
    }
    return browser.currentDirectory;
}
