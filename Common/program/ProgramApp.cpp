#include "program/ProgramApp.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "ProgramResource.h"
#include "framework/Dialog.h"
#include "framework/FrameWindow.h"
#include "program/ProgramDoc.h"
#include "session/Win32Reporter.h"
#include "sites/ProtectedPasswords.h"

const wchar_t* const REGISTRY_KEY_NAME = L"FTPClient";
const wchar_t* const NOT_PROTECTED_LIST_MESSAGE =
    L"The passwords of these sites could not be protected for this Windows user. They stay scrambled in the sites' "
    L"records:";
const wchar_t* const NOT_RESTORED_LIST_MESSAGE =
    L"The passwords of these sites were protected for another Windows user or on another computer and cannot be read "
    L"here. They stay protected, and Connect asks for them:";

namespace {

HWND FrameHandle(const fw::App& app) { return app.GetMainFrame() != nullptr ? app.GetMainFrame()->Handle() : nullptr; }

} // namespace

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

void ProgramApp::TogglePasswordProtection()
{
    const bool on = !PasswordsProtected();
    const std::vector<std::wstring> unmoved = SetPasswordsProtected(on);
    if (unmoved.empty()) return;
    std::wstring text = on ? NOT_PROTECTED_LIST_MESSAGE : NOT_RESTORED_LIST_MESSAGE;
    text += L"\n";
    for (const std::wstring& label : unmoved)
        text += L"\n" + label;
    ::MessageBoxW(FrameHandle(*this), text.c_str(), GetAppName().c_str(), (on ? MB_ICONERROR : MB_ICONWARNING) | MB_OK);
}

void ProgramApp::ShowAbout(HWND owner)
{
    fw::Dialog about(IDD_ABOUTBOX);
    about.DoModal(owner);
}

bool ProgramApp::OnCommand(UINT id)
{
    switch (id) {
    case ID_APP_ABOUT: ShowAbout(FrameHandle(*this)); return true;
    case ID_TOOLS_PROTECT_PASSWORDS: TogglePasswordProtection(); return true;
    case ID_APP_EXIT:
        if (GetMainFrame() != nullptr) GetMainFrame()->Post(WM_CLOSE);
        return true;
    default: return false;
    }
}

bool ProgramApp::OnUpdateCommand(fw::CommandState& state)
{
    if (state.Id() != ID_TOOLS_PROTECT_PASSWORDS) return false;
    state.Enable(true);
    state.SetCheck(PasswordsProtected());
    return true;
}

bool ProgramApp::HandlesCommand(UINT id) const { return id == ID_APP_ABOUT || id == ID_APP_EXIT; }

bool ProgramApp::IsCloseCommand(UINT id) const { return id == ID_APP_EXIT; }
