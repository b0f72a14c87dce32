// Opens the item properties (of a remote or a local item) or the permissions dialog filled
// with sample values, so that a screenshot shows what a user sees. Not part of the program.
//   commands_screenshot_driver properties|local-properties|chmod
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "commands/FileCommands.h"
#include "framework/Handles.h"
#include "remotetools/FileAttributes.h"
#include "remotetools/PropDlg.h"
#include "shell/Format.h"

namespace {

RemoteEntry SampleEntry()
{
    RemoteEntry entry;
    entry.directory = L"/pub/releases/2.4";
    entry.name = L"release-notes.pdf";
    entry.displayName = entry.name;
    entry.size = 184320;
    SYSTEMTIME listed = {2024, 3, 0, 14, 9, 41, 0, 0};
    SystemTimeToFileTime(&listed, &entry.time);
    entry.attributes = L"-rw-r--r--";
    entry.owner = L"maria";
    return entry;
}

// The local form as the handheld program fills it: a read-only hidden file of its own
// directory, so the shell gives its real icon.
void ShowLocalProperties()
{
    wchar_t directory[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, directory);
    CPropDlg dialog;
    dialog.localItem = true;
    dialog.path = directory;
    dialog.name = L"notes.txt";
    const std::wstring file = JoinLocalPath(dialog.path, dialog.name);
    DWORD written = 0;
    FILETIME modified = {};
    {
        fw::FileHandle created(
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        WriteFile(created.Get(), "notes", 5, &written, nullptr);
        GetFileTime(created.Get(), nullptr, nullptr, &modified);
    }
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    dialog.sizeText = FormatSize(written) + L" (" + std::to_wstring(written) + L" bytes)";
    dialog.modifiedText = FormatFileTime(modified);
    dialog.readOnly = true;
    dialog.hidden = true;
    dialog.DoModal();
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::wstring which = commandLine ? commandLine : L"";
    if (which == L"chmod") {
        CFileAttributes permissions;
        permissions.DoModal();
    } else if (which == L"local-properties") {
        ShowLocalProperties();
    } else {
        PropertiesCommand(nullptr, {SampleEntry()});
    }
    return 0;
}
