#include "HelpCommands.h"

#include <shellapi.h>

#include <cstdlib>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "resource.h"
#include "shell/ShellHelpers.h"

const wchar_t* const OVERVIEW_DOCUMENT_FORMAT = L"%s%s\\Overview-FTP-Client.pdf";
const wchar_t* const MANUAL_DOCUMENT_FORMAT = L"%s%s\\FTP-Client-Manual.chm";

namespace {

constexpr DWORD MODULE_PATH_CAPACITY = 32768;
constexpr std::wstring_view FORMAT_FIELD = L"%s";

std::wstring ModulePath()
{
    std::vector<wchar_t> path(MODULE_PATH_CAPACITY);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), MODULE_PATH_CAPACITY);
    return std::wstring(path.data(), length < MODULE_PATH_CAPACITY ? length : 0);
}

} // namespace

std::wstring HelpDocumentPath(const std::wstring& modulePath, const wchar_t* format)
{
    wchar_t drive[_MAX_DRIVE] = {};
    std::vector<wchar_t> directory(modulePath.size() + 1);
    if (_wsplitpath_s(modulePath.c_str(), drive, _MAX_DRIVE, directory.data(), directory.size(), nullptr, 0, nullptr,
                      0) != 0)
        return {};
    // The directory part ends with its separator, and the format adds one of its own.
    std::wstring folder = directory.data();
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();

    // The two "%s" fields are filled in order by hand: the C library's wide printf reads
    // "%s" as a narrow string on some runtimes and as a wide one on others.
    std::wstring path = format;
    std::size_t from = 0;
    for (const std::wstring& part : {std::wstring(drive), folder}) {
        const std::size_t field = path.find(FORMAT_FIELD, from);
        if (field == std::wstring::npos) break;
        path.replace(field, FORMAT_FIELD.size(), part);
        from = field + part.size();
    }
    return path;
}

void OpenHelpDocument(HWND owner, UINT command)
{
    const wchar_t* format = command == ID_HELP_MANUAL ? MANUAL_DOCUMENT_FORMAT : OVERVIEW_DOCUMENT_FORMAT;
    const std::wstring path = HelpDocumentPath(ModulePath(), format);
    if (path.empty()) return;
    ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
