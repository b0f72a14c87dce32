#pragma once
// The remote pane's rules that need no window: the folder combo's entries, the filter's
// name rules, the status counts and the Enter Path text. Portable, so that both programs
// share them and the native tests check them under the sanitizers.
//
// Case is folded for the letters A-Z only, everywhere in the pane: the rest of Unicode
// compares as it stands, as a server would see it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A-Z become a-z; every other unit stays.
std::wstring FoldAsciiLower(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);

// The folder combo: the current path's parents, the path itself, and the home directory
// in front when it is not among them.
struct FolderComboModel {
    std::vector<std::wstring> entries;
    int selected = -1; // -1 when there is no entry
};

// For /pub/linux with home /home/user: /home/user, /, /pub, /pub/linux, with /pub/linux
// selected. An empty path or home directory (the server's PWD failed) adds no entry.
FolderComboModel BuildFolderCombo(const std::wstring& currentDirectory, const std::wstring& homeDirectory);

// The filter's view of a name: white space removed at both ends, A-Z folded.
std::wstring FilterName(const std::wstring& name);
// The extension of a FilterName, dot included: from the last "." of the final path
// component on, or empty.
std::wstring FilterExtension(const std::wstring& filterName);

// The filter bar's kind combo.
enum class FilterKind { FilesAndDirectories = 0, OnlyFiles = 1, OnlyDirectories = 2 };

// What the filter bar's three controls say.
struct FilterSettings {
    std::wstring text; // as typed; folded before use
    FilterKind kind = FilterKind::FilesAndDirectories;
    std::optional<std::wstring> type; // the selected extension; none for "Show All Types"
};

struct FilterResult {
    bool accepted = false;
    // The entry's extension, to be collected in the type combo: set only while all
    // types are shown and the extension is not empty.
    std::wstring extensionToCollect;
};

FilterResult ApplyFilter(const FilterSettings& settings, const std::wstring& name, bool isDirectory);

// The counts of the status panes. Links count in neither number; every size that the
// listing gave adds to the bytes.
struct PaneCounts {
    int directories = 0;
    int files = 0;
    std::uint64_t bytes = 0;

    void Add(bool isDirectory, bool isLink, std::uint64_t size);
};

std::wstring DirectoriesText(const PaneCounts& counts); // "Directories: %d"
std::wstring FilesText(const PaneCounts& counts);       // "Files: %d"
std::wstring BytesText(const PaneCounts& counts);       // "%d bytes", the whole 64-bit sum

// The directory that the Enter Path text asks for, or none when there is nothing to do
// (empty, or the current directory itself). A trailing "/" or "\" is dropped unless it
// is the whole text; a path that does not start at the root is taken below the current
// directory, so that the pane always holds an absolute path.
std::optional<std::wstring> EnterPathTarget(const std::wstring& typed, const std::wstring& currentDirectory);
