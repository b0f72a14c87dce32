#include "OrvidApp.h"

#include <commctrl.h>

#include <cstdlib>

#include "AboutDlg.h"
#include "ClipboardFormats.h"
#include "MainFrame.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "resource.h"
#include "session/Win32Reporter.h"

namespace {

const wchar_t* const REGISTRY_KEY_NAME = L"FTPClient";
// All eight control classes of the first byte of the class flags.
constexpr DWORD COMMON_CONTROL_CLASSES = 0xFF;

} // namespace

COrvidApp::~COrvidApp()
{
    // The base class destroys the document only after these members, the socket library
    // among them; a connection still open then would send QUIT on a dead socket.
    if (auto* document = dynamic_cast<COrvidDoc*>(GetDocument())) document->Session().LogOff();
}

bool COrvidApp::InitInstance()
{
    ole = std::make_unique<fw::OleInitializer>();
    sockets = std::make_unique<nsSocket::SocketLibrary>();

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = COMMON_CONTROL_CLASSES;
    InitCommonControlsEx(&controls);
    RegisteredClipboardFormats();

    if (GetInstance() == nullptr) SetInstance(GetModuleHandleW(nullptr));
    LoadAppName(IDR_MAINFRAME);
    Win32Reporter().SetCaption(GetAppName());
    InstallWin32Reporter();
    SetRegistryKey(REGISTRY_KEY_NAME);

    if (!CreateSingleDocument(std::make_unique<COrvidDoc>(), std::make_unique<CMainFrame>(),
                              std::make_unique<COrvidView>(), IDR_MAINFRAME))
        return false;

    std::srand(GetTickCount());

    CMainFrame* frame = MainFrame();
    frame->LoadLayout();
    // The toolbar shows the commands' states from the start, even behind a dialog that
    // opens before the message loop first runs idle.
    frame->UpdateToolBars();
    frame->Show(SW_SHOW);
    frame->Update();
    frame->Post(WM_COMMAND, MAKEWPARAM(ID_FILE_CONNECT, 0), 0);
    return true;
}

CMainFrame* COrvidApp::MainFrame() const { return static_cast<CMainFrame*>(GetMainFrame()); }

bool COrvidApp::OnCommand(UINT id)
{
    switch (id) {
    case ID_APP_ABOUT: {
        CAboutDlg about;
        about.DoModal(GetMainFrame() != nullptr ? GetMainFrame()->Handle() : nullptr);
        return true;
    }
    case ID_APP_EXIT:
        if (GetMainFrame() != nullptr) GetMainFrame()->Post(WM_CLOSE);
        return true;
    default: return false;
    }
}

bool COrvidApp::HandlesCommand(UINT id) const { return id == ID_APP_ABOUT || id == ID_APP_EXIT; }

bool COrvidApp::IsCloseCommand(UINT id) const { return id == ID_APP_EXIT; }
