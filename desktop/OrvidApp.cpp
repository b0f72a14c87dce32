#include "OrvidApp.h"

#include <cstdlib>

#include "AboutDlg.h"
#include "ClipboardFormats.h"
#include "MainFrame.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "resource.h"

namespace {

// All eight control classes of the first byte of the class flags.
constexpr DWORD COMMON_CONTROL_CLASSES = 0xFF;

} // namespace

COrvidApp::COrvidApp() : ProgramApp(COMMON_CONTROL_CLASSES, true) {}

CMainFrame* COrvidApp::MainFrame() const { return static_cast<CMainFrame*>(GetMainFrame()); }

bool COrvidApp::StartPlatform()
{
    RegisteredClipboardFormats();
    return true;
}

bool COrvidApp::CreateWindows()
{
    if (!CreateSingleDocument(std::make_unique<COrvidDoc>(), std::make_unique<CMainFrame>(),
                              std::make_unique<COrvidView>(), IDR_MAINFRAME))
        return false;
    std::srand(GetTickCount());
    MainFrame()->LoadLayout();
    return true;
}

const fw::Window* COrvidApp::ConnectTarget() const { return GetMainFrame(); }

void COrvidApp::ShowAbout(HWND owner)
{
    CAboutDlg about;
    about.DoModal(owner);
}
