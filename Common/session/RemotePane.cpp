#include "session/RemotePane.h"

#include <algorithm>

#include "engine/FTPDataTypes.h"

namespace {

constexpr wchar_t REMOTE_ROOT[] = L"/";
constexpr std::wstring_view WHITE_SPACE = L" \t\r\n\v\f";
constexpr std::wstring_view PATH_SEPARATORS = L"/\\";

wchar_t FoldUnit(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

bool IsSeparator(wchar_t unit) { return PATH_SEPARATORS.find(unit) != std::wstring_view::npos; }

} // namespace

std::wstring FoldAsciiLower(std::wstring_view text)
{
    std::wstring folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldUnit);
    return folded;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return FoldUnit(x) == FoldUnit(y); });
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

FolderComboModel BuildFolderCombo(const std::wstring& currentDirectory, const std::wstring& homeDirectory)
{
    FolderComboModel combo;
    for (std::size_t slash = currentDirectory.find(L'/'); slash != std::wstring::npos;
         slash = currentDirectory.find(L'/', slash + 1)) {
        combo.entries.push_back(slash == 0 ? std::wstring(REMOTE_ROOT) : currentDirectory.substr(0, slash));
    }
    if (!currentDirectory.empty() && currentDirectory != REMOTE_ROOT) combo.entries.push_back(currentDirectory);

    const bool homeListed = std::any_of(combo.entries.begin(), combo.entries.end(),
                                        [&](const std::wstring& entry) { return EqualsNoCase(entry, homeDirectory); });
    if (!homeDirectory.empty() && !homeListed) combo.entries.insert(combo.entries.begin(), homeDirectory);

    // The search starts at the second entry and wraps around, so that an inserted home
    // directory that happens to begin with the current path is chosen last.
    const std::size_t count = combo.entries.size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t index = (step + 1) % count;
        if (StartsWithNoCase(combo.entries[index], currentDirectory)) {
            combo.selected = static_cast<int>(index);
            break;
        }
    }
    return combo;
}

std::wstring FilterName(const std::wstring& name)
{
    const std::size_t first = name.find_first_not_of(WHITE_SPACE);
    if (first == std::wstring::npos) return {};
    const std::size_t last = name.find_last_not_of(WHITE_SPACE);
    return FoldAsciiLower(std::wstring_view(name).substr(first, last - first + 1));
}

std::wstring FilterExtension(const std::wstring& filterName)
{
    const std::size_t dot = filterName.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    const std::size_t separator = filterName.find_last_of(PATH_SEPARATORS);
    if (separator != std::wstring::npos && separator > dot) return {};
    return filterName.substr(dot);
}

FilterResult ApplyFilter(const FilterSettings& settings, const std::wstring& name, bool isDirectory)
{
    FilterResult result;
    const std::wstring folded = FilterName(name);
    const std::wstring extension = FilterExtension(folded);

    if (settings.type) {
        if (!isDirectory && extension != *settings.type) return result;
    } else {
        result.extensionToCollect = extension;
    }
    if (settings.kind == FilterKind::OnlyFiles && isDirectory) return result;
    if (settings.kind == FilterKind::OnlyDirectories && !isDirectory) return result;
    if (folded.find(FoldAsciiLower(settings.text)) == std::wstring::npos) return result;
    result.accepted = true;
    return result;
}

void PaneCounts::Add(bool isDirectory, bool isLink, std::uint64_t size)
{
    if (!isLink) ++(isDirectory ? directories : files);
    if (size != nsFTP::SIZE_UNKNOWN) bytes += size;
}

std::wstring DirectoriesText(const PaneCounts& counts)
{
    return L"Directories: " + std::to_wstring(counts.directories);
}

std::wstring FilesText(const PaneCounts& counts) { return L"Files: " + std::to_wstring(counts.files); }

std::wstring BytesText(const PaneCounts& counts) { return std::to_wstring(counts.bytes) + L" bytes"; }

std::optional<std::wstring> EnterPathTarget(const std::wstring& typed, const std::wstring& currentDirectory)
{
    std::wstring path = typed;
    if (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
    if (path.empty()) return std::nullopt;
    // A Unix-style server names every directory from the root; a name typed without it
    // lies below the current directory. Other servers' paths are sent as typed.
    const bool unixStyle = !currentDirectory.empty() && currentDirectory.front() == L'/';
    if (unixStyle && !IsSeparator(path.front())) {
        path = currentDirectory.back() == L'/' ? currentDirectory + path : currentDirectory + L'/' + path;
    }
    if (path == currentDirectory) return std::nullopt;
    return path;
}
