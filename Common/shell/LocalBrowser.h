#pragma once
// The local browsing state of the handheld program: the current local directory and its
// entries as last listed. Paths follow the full Win32 rules: a single backslash is the
// root of the current drive, and "C:\" the root of drive C.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The root of the file system the program starts in.
extern const wchar_t* const LOCAL_ROOT;

struct LocalBrowser {
    std::wstring currentDirectory = LOCAL_ROOT;
    // Directories first, then files, each by name without regard to case.
    std::vector<WIN32_FIND_DATAW> entries;

    // Lists currentDirectory into entries ("." and ".." left out); a directory that can't
    // be listed leaves entries empty. False then; an empty directory is listed.
    bool List();
};

bool IsDirectoryEntry(const WIN32_FIND_DATAW& entry);
// The whole 64-bit size of an entry.
std::uint64_t EntrySize(const WIN32_FIND_DATAW& entry);
// The listing's order: directories before files, each group by name ignoring case.
void SortLocalEntries(std::vector<WIN32_FIND_DATAW>& entries);

// The local path list: each ancestor of the directory from the root down, then the
// directory itself; the directory's own entry is the last. "\a\b" gives "\", "\a", "\a\b";
// "C:\a" gives "C:\", "C:\a".
std::vector<std::wstring> LocalPathListEntries(const std::wstring& directory);

// The directory Enter Path asks for, or none when the text is empty or the current
// directory itself. One trailing "/" or "\" goes when the text is longer than one
// character, unless it ends a drive's root ("C:\"), which would otherwise name the drive's
// current directory instead.
std::optional<std::wstring> LocalEnterPathTarget(const std::wstring& typed, const std::wstring& currentDirectory);

// Where a new directory or a paste goes: the first selected entry when it is a directory,
// else the current directory.
std::wstring LocalTargetDirectory(const LocalBrowser& browser, const std::vector<int>& selectedEntries);
