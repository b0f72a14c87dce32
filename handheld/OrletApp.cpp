#include "OrletApp.h"

#include <commctrl.h>

#include <cwchar>

#include "HandheldDialogs.h"
#include "OrletDoc.h"
#include "OrletFrame.h"
#include "OrletResource.h"
#include "OrletView.h"
#include "SharedResource.h"
#include "shell/DialogResources.h"

const wchar_t* const SCREEN_SIZE_VARIABLE = L"ORLET_SCREEN_SIZE";

namespace {

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
    IDD_HANDHELD_PLAIN_FTP,
    IDD_HANDHELD_CERTIFICATE,
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

COrletApp::COrletApp() : ProgramApp(COMMON_CONTROL_CLASSES, false) {}

COrletFrame* COrletApp::MainFrame() const { return static_cast<COrletFrame*>(GetMainFrame()); }

bool COrletApp::StartPlatform()
{
    if (!InitializeShell(GetInstance())) return false;
    titleBarOk = std::make_unique<TitleBarOk>();
    UseDialogResources(HANDHELD_DIALOG_RESOURCES);
    return true;
}

bool COrletApp::CreateWindows()
{
    if (!CreateSingleDocument(std::make_unique<COrletDoc>(), std::make_unique<COrletFrame>(),
                              std::make_unique<COrletView>(), IDR_MAINFRAME))
        return false;
    const SIZE screen = ScreenSize();
    MainFrame()->SetScreenSize(screen.cx, screen.cy);
    return true;
}

const fw::Window* COrletApp::ConnectTarget() const { return GetView(); }
