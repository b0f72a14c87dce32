// Opens the item properties or the permissions dialog filled with sample values, so that a
// screenshot shows what a user sees. Not part of the program.
//   commands_screenshot_driver properties|chmod
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "commands/FileCommands.h"
#include "remotetools/FileAttributes.h"

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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::wstring which = commandLine ? commandLine : L"";
    if (which == L"chmod") {
        CFileAttributes permissions;
        permissions.DoModal();
    } else {
        PropertiesCommand(nullptr, {SampleEntry()});
    }
    return 0;
}
