// The handheld screen's layout rule, at the device's size and at twice that.
#include <gtest/gtest.h>

#include <set>

#include "OrletRun.h"

namespace {

RECT RectOf(const fw::Window& window) { return window.GetRectInParent(); }

struct ScreenCase {
    int width;
    int height;
};

class LayoutTest : public ::testing::TestWithParam<ScreenCase> {};

} // namespace

TEST_P(LayoutTest, ModeListTopRightPathListBesideItListBelow)
{
    OrletRun run;
    ASSERT_TRUE(run.Started());
    run.Frame().SetScreenSize(GetParam().width, GetParam().height);
    PumpMessages();
    const RECT screen = run.Frame().GetClientRect();
    EXPECT_EQ(screen.right, GetParam().width);
    EXPECT_EQ(screen.bottom, GetParam().height);

    for (int mode : {MODE_LOCAL, MODE_REMOTE}) {
        run.ChooseMode(mode);
        COrletView& view = run.View();
        const RECT client = view.GetClientRect();
        const RECT modes = RectOf(view.ModeList());

        const fw::Window path =
            mode == MODE_REMOTE ? fw::Window(view.RemotePathList()) : fw::Window(view.LocalPathList());
        const fw::Window otherPath =
            mode == MODE_REMOTE ? fw::Window(view.LocalPathList()) : fw::Window(view.RemotePathList());
        const fw::ListView list = mode == MODE_REMOTE ? view.RemoteList() : view.LocalList();
        const fw::ListView otherList = mode == MODE_REMOTE ? view.LocalList() : view.RemoteList();
        const RECT pathRect = RectOf(path);
        const RECT listRect = RectOf(list);
        // A few pixels of margin at most; nothing overlaps and nothing is cut off.
        constexpr int MARGIN = 4;
        EXPECT_LE(modes.right, client.right) << mode;
        EXPECT_GE(modes.right, client.right - MARGIN) << mode;
        EXPECT_LE(modes.top, MARGIN) << mode;
        EXPECT_EQ(pathRect.top, modes.top) << mode;
        EXPECT_EQ(pathRect.bottom, modes.bottom) << mode;
        EXPECT_LE(pathRect.left, MARGIN) << mode;
        EXPECT_LE(pathRect.right, modes.left) << mode;
        EXPECT_GE(pathRect.right, modes.left - MARGIN) << mode;
        EXPECT_GE(listRect.top, modes.bottom) << mode;
        EXPECT_LE(listRect.top, modes.bottom + MARGIN) << mode;
        EXPECT_LE(listRect.left, MARGIN) << mode;
        EXPECT_LE(listRect.right, client.right) << mode;
        EXPECT_GE(listRect.right, client.right - MARGIN) << mode;
        EXPECT_LE(listRect.bottom, client.bottom) << mode;
        EXPECT_GE(listRect.bottom, client.bottom - MARGIN) << mode;

        EXPECT_TRUE(IsWindowVisible(path.Handle()));
        EXPECT_TRUE(IsWindowVisible(list.Handle()));
        EXPECT_FALSE(IsWindowVisible(otherPath.Handle()));
        EXPECT_FALSE(IsWindowVisible(otherList.Handle()));
        EXPECT_EQ(view.ModeList().GetCurSel(), mode);
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, LayoutTest, ::testing::Values(ScreenCase{240, 320}, ScreenCase{480, 640}));

namespace {

bool menuWasOpen = false;

// Runs inside the menu's own loop: notes whether its window is on screen and closes it.
void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND popup = FindWindowW(L"#32768", nullptr);
    menuWasOpen = popup != nullptr && IsWindowVisible(popup);
    EndMenu();
}

} // namespace

TEST(MenuBarTest, MenuButtonOpensTheProgramsMenu)
{
    OrletRun run;
    ASSERT_TRUE(run.Started());
    HMENU menu = run.Frame().Menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenu(run.Frame().Handle()), nullptr) << "the menu opens from the menu bar only";
    std::vector<std::wstring> popups;
    for (int index = 0; index < GetMenuItemCount(menu); ++index) {
        wchar_t text[32] = {};
        GetMenuStringW(menu, static_cast<UINT>(index), text, 32, MF_BYPOSITION);
        EXPECT_NE(GetSubMenu(menu, index), nullptr) << index;
        popups.push_back(text);
    }
    EXPECT_EQ(popups, (std::vector<std::wstring>{L"File", L"Edit", L"View", L"Tools", L"Help"}));
    constexpr int TOOLS_MENU = 3;
    EXPECT_NE(testsupport::MenuItemEnabled(GetSubMenu(menu, TOOLS_MENU), ID_TOOLS_PROTECT_PASSWORDS), std::nullopt);

    // One command bar: "Menu", then the toolbar's buttons in their order, which follow the
    // menu's enabling.
    MenuBar& commandBar = run.Frame().Bar();
    std::vector<UINT> buttons;
    for (int index = 0; index < commandBar.GetButtonCount(); ++index)
        buttons.push_back(commandBar.GetCommandId(index));
    EXPECT_EQ(buttons, (std::vector<UINT>{ID_MENU_BAR_MENU, 0, ID_FILE_CONNECT, ID_FILE_DISCONNECT, 0, ID_EDIT_COPY,
                                          ID_EDIT_PASTE, 0, ID_FILE_NEW_DIRECTORY, ID_FILE_RENAME, ID_FILE_DELETE, 0,
                                          ID_TOOLS_CHMOD, 0, ID_FILE_PROPERTIES, 0, ID_APP_ABOUT}));
    run.Frame().UpdateToolBars();
    EXPECT_TRUE(commandBar.IsButtonEnabled(ID_MENU_BAR_MENU));
    EXPECT_TRUE(commandBar.IsButtonEnabled(ID_FILE_CONNECT));
    EXPECT_FALSE(commandBar.IsButtonEnabled(ID_FILE_DISCONNECT));

    // At the bottom of the frame, below the view, which has the top; every button shows.
    const RECT client = run.Frame().GetClientRect();
    const RECT bar = commandBar.GetRectInParent();
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_GE(bar.top, run.View().GetRectInParent().bottom);
    EXPECT_EQ(run.View().GetRectInParent().top, 0);
    std::set<LONG> rowTops;
    for (int index = 0; index < commandBar.GetButtonCount(); ++index) {
        RECT button = {};
        ASSERT_TRUE(commandBar.GetItemRect(index, button));
        EXPECT_LE(button.right, client.right) << index;
        EXPECT_LE(button.bottom, bar.bottom - bar.top) << index;
        if (!commandBar.IsSeparator(index)) rowTops.insert(button.top);
    }
    // The device's 240 pixels hold them in two rows.
    EXPECT_EQ(rowTops.size(), 2u);

    menuWasOpen = false;
    SetTimer(nullptr, 0, 200, CloseOpenMenu);
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_MENU_BAR_MENU, BN_CLICKED),
                     reinterpret_cast<LPARAM>(run.Frame().Bar().Handle()));
    EXPECT_TRUE(menuWasOpen);
}
