#include "shell/ShellHelpers.h"

#include <shellapi.h>

#include "framework/App.h"
#include "framework/Handles.h"

#include <memory>
#include <vector>

const wchar_t* const HOME_PAGE_ADDRESS = L"https://www.vantrel.example/";

namespace {

const wchar_t* const DELETE_QUESTION = L"Are you sure you want to delete the selected items?";

constexpr LONG BOLD_WEIGHT = FW_BOLD;

struct LocalBufferFree {
    void operator()(wchar_t* buffer) const { LocalFree(buffer); }
};

// The bold fonts stay alive for the controls that use them until the program ends.
std::vector<fw::FontHandle>& BoldFonts()
{
    static std::vector<fw::FontHandle> fonts;
    return fonts;
}

std::wstring SystemMessage(DWORD code)
{
    wchar_t* raw = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    std::unique_ptr<wchar_t, LocalBufferFree> buffer(raw);
    if (length == 0 || !buffer) return {};
    std::wstring text(buffer.get(), length);
    // The system's texts end with a line break, which would leave an empty line in the box.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

} // namespace

void ShowLastError(const std::wstring& text)
{
    DWORD code = GetLastError();
    std::wstring system = SystemMessage(code);
    std::wstring message = L"Error code: " + std::to_wstring(code) + L"\n";
    if (!system.empty()) message += system + L"\n";
    message += text;
    MessageBoxW(nullptr, message.c_str(), nullptr, MB_ICONERROR | MB_OK);
}

int AppMessageBox(HWND owner, const wchar_t* text, UINT type)
{
    const fw::App* app = fw::GetApp();
    const std::wstring caption = app != nullptr ? app->GetAppName() : std::wstring();
    return MessageBoxW(owner, text, caption.empty() ? nullptr : caption.c_str(), type);
}

bool ConfirmDelete(HWND owner) { return AppMessageBox(owner, DELETE_QUESTION, MB_OKCANCEL | MB_ICONQUESTION) == IDOK; }

void MakeBoldFont(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return;
    auto current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (current == nullptr) return;
    LOGFONTW description = {};
    if (GetObjectW(current, sizeof description, &description) == 0) return;
    description.lfWeight = BOLD_WEIGHT;
    fw::FontHandle bold(CreateFontIndirectW(&description));
    if (!bold) return;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(bold.Get()), TRUE);
    BoldFonts().push_back(std::move(bold));
}

void OpenHomePage(HWND owner) { OpenWithShell(owner, HOME_PAGE_ADDRESS); }

void OpenWithShell(HWND owner, const std::wstring& target)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    info.hInstApp = GetModuleHandleW(nullptr);
    ShellExecuteExW(&info);
}

fw::IconHandle ShellIconFor(const std::wstring& name, bool directory, UINT size)
{
    SHFILEINFOW info = {};
    SHGetFileInfoW(name.c_str(), directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                   SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | size);
    return fw::IconHandle(info.hIcon);
}
