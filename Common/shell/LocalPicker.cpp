#include "shell/LocalPicker.h"

#include <cderr.h>
#include <commdlg.h>
#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "framework/Handles.h"
#include "shell/Format.h"
#include "shell/TempDirectory.h"

const wchar_t* const LAST_FOLDER_VALUE = L"LastFolder";

namespace {

// Room for many names at once; the dialog refuses a selection that does not fit.
constexpr std::size_t OPEN_DIALOG_BUFFER_CHARS = 64 * 1024;
// Embedded zeros: description, pattern, and the list's own terminating zero.
const wchar_t* const ALL_FILES_FILTER = L"All Files (*.*)\0*.*\0";
const wchar_t* const TOO_MANY_FILES_MESSAGE = L"Too many files were selected at once. Please select fewer files.";

struct TaskMemFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

// The open dialog's multi-select result: "directory\0name\0name\0\0" for several files,
// "path\0\0" for one. Reading stops at the first empty part or at the end of the buffer.
std::vector<std::wstring> SplitOpenFileNames(std::wstring_view buffer)
{
    std::vector<std::wstring_view> parts;
    while (!buffer.empty() && buffer.front() != L'\0') {
        const std::size_t end = std::min(buffer.find(L'\0'), buffer.size());
        parts.push_back(buffer.substr(0, end));
        buffer.remove_prefix(std::min(end + 1, buffer.size()));
    }
    if (parts.size() == 1) return {std::wstring(parts.front())};
    std::vector<std::wstring> paths;
    for (std::size_t i = 1; i < parts.size(); ++i)
        paths.push_back(JoinLocalPath(std::wstring(parts.front()), std::wstring(parts[i])));
    return paths;
}

class SystemPicker : public ILocalPicker {
public:
    // The item dialog with FOS_PICKFOLDERS: unlike the older folder browser it lets the user
    // type or paste a path, and it starts in a given folder without a callback.
    std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& initialFolder) override
    {
        // The program's thread already has OLE; this only matters for a bare thread.
        fw::ComInitializer com;
        fw::ComPtr<IFileOpenDialog> dialog;
        if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IFileOpenDialog),
                                    dialog.PutVoid())))
            return std::nullopt;
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        if (FAILED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                                      FOS_NOCHANGEDIR)))
            return std::nullopt;
        if (!initialFolder.empty()) {
            fw::ComPtr<IShellItem> start;
            // A folder that no longer exists leaves the start to the system.
            if (SUCCEEDED(
                    SHCreateItemFromParsingName(initialFolder.c_str(), nullptr, __uuidof(IShellItem), start.PutVoid())))
                dialog->SetFolder(start.Get());
        }
        if (FAILED(dialog->Show(owner))) return std::nullopt;
        fw::ComPtr<IShellItem> chosen;
        if (FAILED(dialog->GetResult(chosen.Put()))) return std::nullopt;
        wchar_t* path = nullptr;
        if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
        std::unique_ptr<wchar_t, TaskMemFree> owned(path);
        return std::wstring(owned.get());
    }

    std::vector<std::wstring> PickFiles(HWND owner, const std::wstring& initialFolder) override
    {
        // Zero-filled, so whatever the dialog writes ends in two zeros.
        std::vector<wchar_t> buffer(OPEN_DIALOG_BUFFER_CHARS, L'\0');
        OPENFILENAMEW dialog = {};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner;
        dialog.lpstrFilter = ALL_FILES_FILTER;
        dialog.lpstrFile = buffer.data();
        dialog.nMaxFile = static_cast<DWORD>(buffer.size());
        dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
        dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                       OFN_NOCHANGEDIR;
        if (!GetOpenFileNameW(&dialog)) {
            if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
                MessageBoxW(owner, TOO_MANY_FILES_MESSAGE, nullptr, MB_ICONERROR | MB_OK);
            return {};
        }
        return SplitOpenFileNames(std::wstring_view(buffer.data(), buffer.size()));
    }
};

ILocalPicker* replacement = nullptr;

} // namespace

ILocalPicker& LocalPicker()
{
    static SystemPicker system;
    if (replacement != nullptr) return *replacement;
    return system;
}

void SetLocalPicker(ILocalPicker* picker) { replacement = picker; }

std::wstring GetLastFolder()
{
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY);
    std::vector<BYTE> data;
    if (!key.IsOpen() || !key.ReadBinary(LAST_FOLDER_VALUE, data)) return {};
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    // The stored terminator, and anything a foreign writer left after one.
    text.resize(std::min(text.find(L'\0'), text.size()));
    return text;
}

void SetLastFolder(const std::wstring& folder)
{
    fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (!key.IsOpen()) return;
    const auto bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    RegSetValueExW(key.Get(), LAST_FOLDER_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), bytes);
}
