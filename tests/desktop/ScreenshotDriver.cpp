// Starts the desktop program's windows for a screenshot and, by its argument, opens one
// of its dialogs over them: "about" or "prompt"; no argument shows the main window.
// Test-only: the program itself takes no options.
#include <windows.h>

#include <string>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "resource.h"
#include "shell/TextDlg.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    COrvidApp app;
    app.SetInstance(instance);
    if (!app.InitInstance()) return 1;
    std::wstring what = commandLine != nullptr ? commandLine : L"";
    HWND frame = app.MainFrame()->Handle();
    if (what == L"about") {
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    } else if (what == L"prompt") {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        CTextDlg prompt(L"Enter Path", L"/pub/incoming");
        prompt.DoModal(frame);
    }
    int code = app.Run();
    app.ExitInstance();
    return code;
}
