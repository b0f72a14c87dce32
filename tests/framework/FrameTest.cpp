#include "Controls.h"
#include "DialogBar.h"
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

namespace {

using fwtest::SingleDocument;

constexpr int FRAME_WIDTH = 600;
constexpr int FRAME_HEIGHT = 400;

int Height(const RECT& rect) { return rect.bottom - rect.top; }

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doc.Create());
        HWND frame = doc.frame->Handle();
        ASSERT_TRUE(toolbar.Create(frame, 1));
        ASSERT_TRUE(toolbar.LoadButtons(::GetModuleHandleW(nullptr), IDR_FRAME));
        doc.frame->AddBar(toolbar);
        ASSERT_TRUE(bar.Create(*doc.frame, fw::BarSide::Top));
        doc.frame->SetBarToggleCommand(bar.Handle(), ID_CMD_TOGGLE_BAR);
        ASSERT_TRUE(status.Create(frame, 2));
        ASSERT_TRUE(status.SetIndicators(::GetModuleHandleW(nullptr), {0, IDS_PANE_WIDE, IDS_PANE_NARROW}));
        doc.frame->AddBar(status);
        ::SetWindowPos(frame, nullptr, 0, 0, FRAME_WIDTH, FRAME_HEIGHT, SWP_NOZORDER | SWP_NOACTIVATE);
        doc.frame->RecalcLayout();
    }

    SingleDocument doc;
    fw::ToolBar toolbar;
    fw::DialogBar bar{IDD_BAR};
    fw::StatusBar status;
};

TEST_F(FrameTest, BarsStackOnTheirEdgesAndTheViewFillsTheRest)
{
    RECT client = doc.frame->GetClientRect();
    RECT tool = toolbar.GetRectInParent();
    RECT dialogBar = bar.GetRectInParent();
    RECT statusRect = status.GetRectInParent();
    RECT view = doc.view->GetRectInParent();

    EXPECT_EQ(tool.top, 0);
    EXPECT_EQ(Height(tool), toolbar.GetIdealHeight());
    EXPECT_GT(Height(tool), 16) << "the buttons' images are 16 pixels high";
    EXPECT_EQ(dialogBar.top, tool.bottom);
    EXPECT_GT(Height(dialogBar), 0);
    EXPECT_EQ(statusRect.bottom, client.bottom);
    EXPECT_EQ(view.top, dialogBar.bottom);
    EXPECT_EQ(view.bottom, statusRect.top);
    EXPECT_EQ(view.right - view.left, client.right);
    EXPECT_EQ(bar.GetRectInParent().right, client.right);

    doc.frame->ShowBar(bar.Handle(), false);
    EXPECT_EQ(doc.view->GetRectInParent().top, tool.bottom);
    doc.frame->ShowBar(toolbar.Handle(), false);
    EXPECT_EQ(doc.view->GetRectInParent().top, 0);
    doc.frame->ShowBar(status.Handle(), false);
    EXPECT_EQ(doc.view->GetRectInParent().bottom, client.bottom);
}

TEST_F(FrameTest, ToggleCommandShowsAndHidesTheBarAndTicksItsItem)
{
    HMENU popup = ::GetSubMenu(::GetMenu(doc.frame->Handle()), 0);
    EXPECT_TRUE(doc.frame->RouteCommand(ID_CMD_TOGGLE_BAR));
    EXPECT_FALSE(doc.frame->IsBarVisible(bar.Handle()));
    doc.frame->Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_FALSE(::GetMenuState(popup, ID_CMD_TOGGLE_BAR, MF_BYCOMMAND) & MF_CHECKED);

    EXPECT_TRUE(doc.frame->RouteCommand(ID_CMD_TOGGLE_BAR));
    EXPECT_TRUE(doc.frame->IsBarVisible(bar.Handle()));
    doc.frame->Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_TRUE(::GetMenuState(popup, ID_CMD_TOGGLE_BAR, MF_BYCOMMAND) & MF_CHECKED);
}

TEST_F(FrameTest, StatusBarPanesAreSizedByTheirIndicatorTexts)
{
    ASSERT_EQ(status.GetPaneCount(), 3);
    int rights[3] = {};
    status.Send(SB_GETPARTS, 3, reinterpret_cast<LPARAM>(rights));
    EXPECT_GT(rights[1] - rights[0], 0);
    EXPECT_GT(rights[0], rights[1] - rights[0]) << "the message pane takes what is left";
    EXPECT_TRUE(status.SetText(1, L"Directories: 3"));
    EXPECT_EQ(status.GetText(1), L"Directories: 3");
}

TEST_F(FrameTest, CaptionIsTheDocumentTitleAndTheApplicationName)
{
    EXPECT_EQ(doc.app.GetAppName(), L"Test App");
    EXPECT_EQ(doc.frame->GetText(), L"Untitled - Test App");
    doc.document->SetTitle(L"Home (ftp.example.org:21)");
    EXPECT_EQ(doc.frame->GetText(), L"Home (ftp.example.org:21) - Test App");
}

TEST_F(FrameTest, ViewGetsOneInitialUpdate)
{
    EXPECT_EQ(doc.view->initialUpdates, 1);
    doc.view->InitialUpdate();
    EXPECT_EQ(doc.view->initialUpdates, 1);
    EXPECT_EQ(doc.view->GetDocument(), doc.document);
}

TEST_F(FrameTest, PlacementRoundTrip)
{
    WINDOWPLACEMENT placement{};
    ASSERT_TRUE(doc.frame->GetWindowPlacement(placement));
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = RECT{150, 150, 730, 610};
    ASSERT_TRUE(doc.frame->SetWindowPlacement(placement));
    WINDOWPLACEMENT read{};
    ASSERT_TRUE(doc.frame->GetWindowPlacement(read));
    EXPECT_EQ(read.length, sizeof(WINDOWPLACEMENT));
    EXPECT_EQ(read.rcNormalPosition.left, 150);
    EXPECT_EQ(read.rcNormalPosition.right - read.rcNormalPosition.left, 580);
    EXPECT_EQ(read.rcNormalPosition.bottom - read.rcNormalPosition.top, 460);
}

constexpr UINT_PTR QUIT_TIMER = 77;

void CALLBACK PostQuit(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    ::PostQuitMessage(3);
}

TEST_F(FrameTest, MessageLoopUpdatesTheToolbarWhenIdleAndEndsWithTheQuitCode)
{
    doc.view->recorder.updates = {{ID_CMD_PLAIN, false, -1, -1, nullptr}};
    ASSERT_TRUE(toolbar.IsButtonEnabled(ID_CMD_PLAIN));
    ::SetTimer(nullptr, QUIT_TIMER, 50, PostQuit);
    EXPECT_EQ(doc.app.Run(), 3);
    EXPECT_FALSE(toolbar.IsButtonEnabled(ID_CMD_PLAIN));
    EXPECT_FALSE(toolbar.IsButtonEnabled(ID_CMD_UNHANDLED));
}

TEST_F(FrameTest, ClosingTheFrameDestroysItAndEndsTheLoop)
{
    HWND frame = doc.frame->Handle();
    doc.frame->Send(WM_CLOSE);
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_EQ(doc.frame->Handle(), nullptr);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
}

} // namespace
