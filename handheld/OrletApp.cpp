#include "OrletApp.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "HandheldDialogs.h"
#include "OrletDoc.h"
#include "OrletFrame.h"
#include "OrletResource.h"
#include "OrletView.h"
#include "SharedResource.h"
#include "session/Win32Reporter.h"
#include "shell/DialogResources.h"

const wchar_t* const SCREEN_SIZE_VARIABLE = L"ORLET_SCREEN_SIZE";

namespace {

const wchar_t* const REGISTRY_KEY_NAME = L"FTPClient";
constexpr DWORD COMMON_CONTROL_CLASSES = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES |
                                         ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
constexpr DWORD VARIABLE_CAPACITY = 32;

const DialogResources HANDHELD_DIALOG_RESOURCES = {
    IDD_HANDHELD_TRANSFER_PROGRESS,
    IDC_HANDHELD_TRANSFER_COUNT,
    IDD_HANDHELD_ASK_REPLACE,
    IDD_HANDHELD_TEXT_PROMPT,
    IDC_HANDHELD_TEXT_EDIT,
    IDD_HANDHELD_PROPERTIES,
    IDD_HANDHELD_SITE_MANAGER,
    IDC_HANDHELD_SITE_TREE,
    IDD_HANDHELD_SITE_PROPERTIES,
    IDC_HANDHELD_SITE_PARENT,
    IDD_HANDHELD_FILE_ATTRIBUTES,
    IDD_HANDHELD_PROXY,
    IDD_HANDHELD_FIND,
};

// The screen the frame's client area stands for: 240 x 320, or the size the test-only
// variable gives ("480x640").
SIZE ScreenSize()
{
    SIZE size = {DEFAULT_SCREEN_WIDTH, DEFAULT_SCREEN_HEIGHT};
    wchar_t text[VARIABLE_CAPACITY] = {};
    const DWORD length = GetEnvironmentVariableW(SCREEN_SIZE_VARIABLE, text, VARIABLE_CAPACITY);
    if (length == 0 || length >= VARIABLE_CAPACITY) return size;
    wchar_t* rest = nullptr;
    const long width = std::wcstol(text, &rest, 10);
    if (rest == nullptr || (*rest != L'x' && *rest != L'X')) return size;
    const long height = std::wcstol(rest + 1, nullptr, 10);
    if (width > 0 && height > 0) size = SIZE{width, height};
    return size;
}

} // namespace

COrletApp::~COrletApp()
{
    // The base class destroys the document only after these members, the socket library
    // among them; a connection still open then would send QUIT on a dead socket.
    if (auto* document = dynamic_cast<COrletDoc*>(GetDocument())) document->Session().LogOff();
}

bool COrletApp::InitInstance()
{
    sockets = std::make_unique<nsSocket::SocketLibrary>();

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = COMMON_CONTROL_CLASSES;
    InitCommonControlsEx(&controls);

    if (GetInstance() == nullptr) SetInstance(GetModuleHandleW(nullptr));
    if (!InitializeShell(GetInstance())) return false;
    titleBarOk = std::make_unique<TitleBarOk>();
    UseDialogResources(HANDHELD_DIALOG_RESOURCES);

    SetRegistryKey(REGISTRY_KEY_NAME);
    LoadAppName(IDR_MAINFRAME);
    Win32Reporter().SetCaption(GetAppName());
    InstallWin32Reporter();

    if (!CreateSingleDocument(std::make_unique<COrletDoc>(), std::make_unique<COrletFrame>(),
                              std::make_unique<COrletView>(), IDR_MAINFRAME))
        return false;

    COrletFrame* frame = MainFrame();
    const SIZE screen = ScreenSize();
    frame->SetScreenSize(screen.cx, screen.cy);
    frame->UpdateToolBars();
    frame->Show(SW_SHOW);
    frame->Update();
    if (auto* view = dynamic_cast<COrletView*>(GetView())) view->Post(WM_COMMAND, MAKEWPARAM(ID_FILE_CONNECT, 0), 0);
    return true;
}

COrletFrame* COrletApp::MainFrame() const { return static_cast<COrletFrame*>(GetMainFrame()); }

bool COrletApp::OnCommand(UINT id)
{
    switch (id) {
    case ID_APP_ABOUT: {
        fw::Dialog about(IDD_ABOUTBOX);
        about.DoModal(GetMainFrame() != nullptr ? GetMainFrame()->Handle() : nullptr);
        return true;
    }
    case ID_APP_EXIT:
        if (GetMainFrame() != nullptr) GetMainFrame()->Post(WM_CLOSE);
        return true;
    default: return false;
    }
}

bool COrletApp::HandlesCommand(UINT id) const { return id == ID_APP_ABOUT || id == ID_APP_EXIT; }

bool COrletApp::IsCloseCommand(UINT id) const { return id == ID_APP_EXIT; }
