#include "program/ProgramApp.h"

#include <commctrl.h>

#include "ProgramResource.h"
#include "framework/Dialog.h"
#include "framework/FrameWindow.h"
#include "program/ProgramDoc.h"
#include "session/Win32Reporter.h"

const wchar_t* const REGISTRY_KEY_NAME = L"FTPClient";

ProgramApp::ProgramApp(DWORD commonControlClasses, bool usesOle)
    : commonControlClasses(commonControlClasses), usesOle(usesOle)
{
}

ProgramApp::~ProgramApp()
{
    // The base class destroys the document only after these members, the socket library
    // among them; a connection still open then would send QUIT on a dead socket.
    if (auto* document = dynamic_cast<ProgramDoc*>(GetDocument())) document->Session().LogOff();
}

bool ProgramApp::InitInstance()
{
    if (usesOle) ole = std::make_unique<fw::OleInitializer>();
    sockets = std::make_unique<nsSocket::SocketLibrary>();

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = commonControlClasses;
    InitCommonControlsEx(&controls);

    if (GetInstance() == nullptr) SetInstance(GetModuleHandleW(nullptr));
    if (!StartPlatform()) return false;

    SetRegistryKey(REGISTRY_KEY_NAME);
    LoadAppName(IDR_MAINFRAME);
    Win32Reporter().SetCaption(GetAppName());
    InstallWin32Reporter();

    if (!CreateWindows()) return false;

    fw::FrameWindow* frame = GetMainFrame();
    // The toolbar shows the commands' states from the start, even behind a dialog that
    // opens before the message loop first runs idle.
    frame->UpdateToolBars();
    frame->Show(SW_SHOW);
    frame->Update();
    if (const fw::Window* target = ConnectTarget()) target->Post(WM_COMMAND, MAKEWPARAM(ID_FILE_CONNECT, 0), 0);
    return true;
}

void ProgramApp::ShowAbout(HWND owner)
{
    fw::Dialog about(IDD_ABOUTBOX);
    about.DoModal(owner);
}

bool ProgramApp::OnCommand(UINT id)
{
    switch (id) {
    case ID_APP_ABOUT: ShowAbout(GetMainFrame() != nullptr ? GetMainFrame()->Handle() : nullptr); return true;
    case ID_APP_EXIT:
        if (GetMainFrame() != nullptr) GetMainFrame()->Post(WM_CLOSE);
        return true;
    default: return false;
    }
}

bool ProgramApp::HandlesCommand(UINT id) const { return id == ID_APP_ABOUT || id == ID_APP_EXIT; }

bool ProgramApp::IsCloseCommand(UINT id) const { return id == ID_APP_EXIT; }
