#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramRun.h"
#include "framework/Handles.h"
#include "resource.h"

namespace {

class LayoutTest : public ::testing::Test {
protected:
    LayoutKeyGuard layoutKey; // every test starts as a first start
};

int Width(const RECT& rect) { return rect.right - rect.left; }

int Height(const RECT& rect) { return rect.bottom - rect.top; }

void ExpectDefaultRectangle(const ProgramRun& run)
{
    RECT frame = run.Frame().GetWindowRect();
    EXPECT_EQ(frame.left, DEFAULT_FRAME_LEFT);
    EXPECT_EQ(frame.top, DEFAULT_FRAME_TOP);
    EXPECT_EQ(Width(frame), DEFAULT_FRAME_WIDTH);
    EXPECT_EQ(Height(frame), DEFAULT_FRAME_HEIGHT);
}

// View > Tollbars is the fifth entry of the third menu.
const std::vector<int> BARS_MENU = {2, 4};
const std::vector<int> VIEW_MENU = {2};

} // namespace

TEST_F(LayoutTest, FirstStartUsesTheDefaults)
{
    ProgramRun run;
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(run.Frame().IsVisible());
    ExpectDefaultRectangle(run);

    CMainFrame& frame = run.Frame();
    EXPECT_TRUE(frame.IsBarVisible(frame.ToolBar()));
    EXPECT_TRUE(frame.IsBarVisible(frame.FilterBar()));
    EXPECT_TRUE(frame.IsBarVisible(frame.StatusBar()));
    EXPECT_TRUE(run.MenuItemState(BARS_MENU, ID_VIEW_TOOLBAR) & MF_CHECKED);
    EXPECT_TRUE(run.MenuItemState(BARS_MENU, ID_VIEW_FILTER) & MF_CHECKED);
    EXPECT_TRUE(run.MenuItemState(BARS_MENU, ID_VIEW_STATUS_BAR) & MF_CHECKED);

    EXPECT_EQ(run.View().GetViewMode(), static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(run.MenuItemState(VIEW_MENU, ID_VIEW_DETAILS) & MF_CHECKED);
    EXPECT_FALSE(run.MenuItemState(VIEW_MENU, ID_VIEW_LIST) & MF_CHECKED);
    const int widths[] = {180, 110, 80, 80, 60};
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column)
        EXPECT_EQ(run.View().ColumnWidth(column), widths[column]) << "column " << column;

    EXPECT_EQ(frame.GetText(), L"Disconnected - Vantrel FTP Client");
}

TEST_F(LayoutTest, SavedValuesHaveTheirTypesAndSizes)
{
    {
        ProgramRun run;
    } // starts and closes
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, LAYOUT_KEY);
    ASSERT_TRUE(key.IsOpen());
    struct Expected {
        const wchar_t* name;
        DWORD type;
        DWORD size;
    };
    const Expected values[] = {
        {L"Main", REG_BINARY, 44}, {L"ToolBar", REG_DWORD, 4}, {L"Filter", REG_DWORD, 4}, {L"StatusBar", REG_DWORD, 4},
        {L"View", REG_BINARY, 4},  {L"Col0", REG_BINARY, 4},   {L"Col1", REG_BINARY, 4},  {L"Col2", REG_BINARY, 4},
        {L"Col3", REG_BINARY, 4},  {L"Col4", REG_BINARY, 4},
    };
    for (const Expected& value : values) {
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(key.Get(), value.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS)
            << "missing " << testing::PrintToString(std::wstring(value.name));
        EXPECT_EQ(type, value.type);
        EXPECT_EQ(size, value.size);
    }
    DWORD shown = 0;
    EXPECT_TRUE(key.ReadDword(L"Filter", shown));
    EXPECT_EQ(shown, 1u);
}

TEST_F(LayoutTest, MaximisedCloseReopensInTheNormalRectangle)
{
    {
        ProgramRun run;
        ASSERT_TRUE(run.Started());
        ShowWindow(run.Frame().Handle(), SW_MAXIMIZE);
        PumpMessages();
        ASSERT_TRUE(IsZoomed(run.Frame().Handle()));
    }
    ProgramRun again;
    ASSERT_TRUE(again.Started());
    EXPECT_FALSE(IsZoomed(again.Frame().Handle()));
    ExpectDefaultRectangle(again);
}

TEST_F(LayoutTest, MovedFrameReopensWhereItWas)
{
    {
        ProgramRun run;
        run.Frame().Move(40, 60, 700, 500);
    }
    ProgramRun again;
    RECT frame = again.Frame().GetWindowRect();
    EXPECT_EQ(frame.left, 40);
    EXPECT_EQ(frame.top, 60);
    EXPECT_EQ(Width(frame), 700);
    EXPECT_EQ(Height(frame), 500);
}

TEST_F(LayoutTest, FilterBarHiddenWithItsButtonStaysHidden)
{
    {
        ProgramRun run;
        CMainFrame& frame = run.Frame();
        frame.FilterBar().Child(IDC_FILTER_HIDE).Send(BM_CLICK);
        PumpMessages();
        EXPECT_FALSE(frame.IsBarVisible(frame.FilterBar()));
        EXPECT_FALSE(frame.FilterBar().IsVisible());
    }
    ProgramRun again;
    CMainFrame& frame = again.Frame();
    EXPECT_FALSE(frame.FilterBar().IsVisible());
    EXPECT_FALSE(again.MenuItemState(BARS_MENU, ID_VIEW_FILTER) & MF_CHECKED);
    EXPECT_TRUE(again.MenuItemState(BARS_MENU, ID_VIEW_TOOLBAR) & MF_CHECKED);

    // The menu item brings it back.
    frame.Send(WM_COMMAND, MAKEWPARAM(ID_VIEW_FILTER, 0));
    EXPECT_TRUE(frame.FilterBar().IsVisible());
    EXPECT_TRUE(again.MenuItemState(BARS_MENU, ID_VIEW_FILTER) & MF_CHECKED);
}

TEST_F(LayoutTest, HiddenToolbarAndStatusBarStayHidden)
{
    {
        ProgramRun run;
        run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_VIEW_TOOLBAR, 0));
        run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_VIEW_STATUS_BAR, 0));
        EXPECT_FALSE(run.Frame().ToolBar().IsVisible());
        EXPECT_FALSE(run.MenuItemState(BARS_MENU, ID_VIEW_STATUS_BAR) & MF_CHECKED);
    }
    ProgramRun again;
    EXPECT_FALSE(again.Frame().ToolBar().IsVisible());
    EXPECT_FALSE(again.Frame().StatusBar().IsVisible());
    EXPECT_TRUE(again.Frame().FilterBar().IsVisible());
}

TEST_F(LayoutTest, ViewModeAndColumnWidthsComeBack)
{
    {
        ProgramRun run;
        run.View().List().SetColumnWidth(0, 222);
        run.View().List().SetColumnWidth(4, 33);
        run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_VIEW_LIST, 0));
        EXPECT_EQ(run.View().GetViewMode(), static_cast<DWORD>(LVS_LIST));
    }
    ProgramRun again;
    EXPECT_EQ(again.View().GetViewMode(), static_cast<DWORD>(LVS_LIST));
    EXPECT_TRUE(again.MenuItemState(VIEW_MENU, ID_VIEW_LIST) & MF_CHECKED);
    EXPECT_FALSE(again.MenuItemState(VIEW_MENU, ID_VIEW_DETAILS) & MF_CHECKED);
    EXPECT_EQ(again.View().ColumnWidth(0), 222);
    EXPECT_EQ(again.View().ColumnWidth(1), 110);
    EXPECT_EQ(again.View().ColumnWidth(4), 33);
}
