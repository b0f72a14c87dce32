#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "DialogBarEx.h"
#include "ProgramRun.h"
#include "SharedResource.h"
#include "framework/Controls.h"
#include "framework/Handles.h"
#include "resource.h"
#include "shell/StatusText.h"
#include "sites/ProtectedPasswords.h"

namespace {

class FrameTest : public ::testing::Test {
protected:
    LayoutKeyGuard layoutKey;
    ProgramRun run;
};

std::wstring ButtonLabel(const fw::ToolBar& toolBar, UINT command)
{
    for (int index = 0; index < toolBar.GetButtonCount(); ++index)
        if (toolBar.GetCommandId(index) == command) return toolBar.GetButtonText(index);
    return L"<no button>";
}

RECT RectOf(const fw::Window& parent, int id) { return parent.Child(id).GetRectInParent(); }

} // namespace

TEST_F(FrameTest, ToolbarLabelsAreTheShortNamesOfTheCommands)
{
    const CToolBarEx& toolBar = run.Frame().ToolBar();
    const std::pair<UINT, const wchar_t*> labels[] = {
        {ID_FILE_CONNECT, L"Connect"}, {ID_FILE_DISCONNECT, L"Disconnect"}, {ID_EDIT_COPY, L"Copy"},
        {ID_EDIT_PASTE, L"Paste"},     {ID_FILE_NEW_DIRECTORY, L"New"},     {ID_FILE_RENAME, L"Rename"},
        {ID_FILE_DELETE, L"Delete"},   {ID_FILE_PROPERTIES, L"Properties"}, {ID_TOOLS_CHMOD, L"CHMOD"},
        {ID_EDIT_FIND, L"Find"},       {ID_VIEW_FILTER, L"Filter"},         {ID_APP_ABOUT, L"About"},
    };
    for (const auto& [command, label] : labels)
        EXPECT_EQ(ButtonLabel(toolBar, command), label);

    int separators = 0;
    for (int index = 0; index < toolBar.GetButtonCount(); ++index)
        separators += toolBar.IsSeparator(index);
    EXPECT_EQ(toolBar.GetButtonCount(), 17);
    EXPECT_EQ(separators, 5);
    // Every button is as large as the largest, and large enough for its 32 x 32 image.
    SIZE size = toolBar.GetButtonSize();
    EXPECT_GE(size.cx, 32);
    EXPECT_GT(size.cy, 32);
    EXPECT_NE(toolBar.Send(TB_GETIMAGELIST), 0);
    EXPECT_NE(toolBar.Send(TB_GETHOTIMAGELIST), 0);
    EXPECT_NE(toolBar.Send(TB_GETDISABLEDIMAGELIST), 0);
    EXPECT_EQ(ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(toolBar.Send(TB_GETIMAGELIST))), 12);
}

TEST_F(FrameTest, EveryToolbarButtonStaysInsideTheBarAtAnyWidth)
{
    const CToolBarEx& toolBar = run.Frame().ToolBar();
    for (int width : {580, 1000, 360, 580}) {
        run.Frame().Move(100, 100, width, 460);
        PumpMessages();
        RECT bar = toolBar.GetClientRect();
        for (int index = 0; index < toolBar.GetButtonCount(); ++index) {
            RECT button = {};
            ASSERT_TRUE(toolBar.GetItemRect(index, button));
            if (toolBar.IsSeparator(index)) continue;
            EXPECT_LE(button.right, bar.right) << width << " button " << index;
            EXPECT_LE(button.bottom, bar.bottom) << width << " button " << index;
        }
        // The filter bar follows right under the toolbar.
        EXPECT_EQ(run.Frame().FilterBar().GetRectInParent().top, toolBar.GetRectInParent().bottom) << width;
    }
}

TEST_F(FrameTest, ReadyTimerPutsReadyBackIntoPaneZero)
{
    EXPECT_EQ(run.Frame().StatusBar().GetPaneCount(), 5);
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), L"Ready");
    for (int pane : {STATUS_PANE_DIRECTORIES, STATUS_PANE_FILES, STATUS_PANE_BYTES, STATUS_PANE_SECURITY})
        EXPECT_EQ(PaneText(pane), L"");
    SetStatusText(STATUS_PANE_MESSAGE, L"226 Transfer complete.");
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), L"226 Transfer complete.");

    run.Frame().Send(WM_TIMER, READY_TIMER);
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), L"Ready");
}

TEST_F(FrameTest, WithoutAConnectionOnlyTheLocalCommandsAreEnabled)
{
    for (UINT command : {ID_FILE_DISCONNECT, ID_FILE_NEW_DIRECTORY, ID_FILE_RENAME, ID_FILE_DELETE, ID_FILE_MOVE_TO,
                         ID_FILE_PROPERTIES, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_FIND, ID_TOOLS_CHMOD})
        EXPECT_FALSE(run.Update(command).Enabled().value_or(true)) << command;
    for (UINT command : {ID_FILE_CONNECT, ID_APP_ABOUT, ID_APP_EXIT, ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS,
                         ID_VIEW_TOOLBAR, ID_VIEW_FILTER, ID_VIEW_STATUS_BAR, ID_TOOLS_SET_TEMP_DIRECTORY,
                         ID_HELP_OVERVIEW, ID_HELP_MANUAL, ID_HELP_HOME_PAGE})
        EXPECT_TRUE(run.Update(command).Enabled().value_or(false)) << command;

    run.Frame().UpdateToolBars();
    EXPECT_FALSE(run.Frame().ToolBar().IsButtonEnabled(ID_FILE_DISCONNECT));
    EXPECT_TRUE(run.Frame().ToolBar().IsButtonEnabled(ID_APP_ABOUT));
    EXPECT_TRUE(run.Frame().ToolBar().IsButtonEnabled(ID_VIEW_FILTER));
}

TEST_F(FrameTest, ViewModeCommandsMoveTheRadioMark)
{
    for (UINT command : {ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS}) {
        run.Frame().Send(WM_COMMAND, MAKEWPARAM(command, 0));
        for (UINT other : {ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS})
            EXPECT_EQ(run.Update(other).Radio().value_or(false), other == command) << command << " " << other;
    }
    EXPECT_EQ(run.View().GetViewMode(), static_cast<DWORD>(LVS_REPORT));
}

TEST_F(FrameTest, FormControlsFollowTheWindowSize)
{
    for (int width : {580, 900, 420}) {
        run.Frame().Move(100, 100, width, 400);
        PumpMessages();
        const COrvidView& view = run.View();
        RECT client = view.GetClientRect();
        RECT up = RectOf(view, IDC_UP);
        RECT go = RectOf(view, IDC_GO);
        RECT folder = RectOf(view, IDC_FOLDER_COMBO);
        RECT list = RectOf(view, IDC_REMOTE_LIST);
        EXPECT_EQ(up.right, client.right - 2) << width;
        EXPECT_EQ(go.right, up.left);
        EXPECT_EQ(go.top, up.top);
        EXPECT_EQ(folder.right, go.left);
        EXPECT_EQ(list.right, client.right - 2);
        EXPECT_EQ(list.bottom, client.bottom - 2);
        EXPECT_GT(list.top, folder.top);
    }
}

TEST_F(FrameTest, ListHasTheFiveColumnsWithGridLinesAndFullRowSelect)
{
    fw::ListView list = run.View().List();
    ASSERT_EQ(list.GetColumnCount(), LIST_COLUMN_COUNT);
    const wchar_t* headers[] = {L"Name", L"Time", L"Size", L"Attributes", L"Owner"};
    const int formats[] = {LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_RIGHT, LVCFMT_RIGHT};
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        wchar_t text[64] = {};
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_FMT;
        info.pszText = text;
        info.cchTextMax = 64;
        ASSERT_TRUE(list.Send(LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(text, headers[column]);
        EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, formats[column]);
    }
    DWORD style = list.GetExtendedStyle();
    EXPECT_TRUE(style & LVS_EX_GRIDLINES);
    EXPECT_TRUE(style & LVS_EX_FULLROWSELECT);

    HWND label = run.View().Child(IDC_FOLDER_LABEL);
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_GE(font.lfWeight, FW_BOLD);
}

TEST_F(FrameTest, FilterBarOffersTheKindsAndTypesAndAsksForRefiltering)
{
    CDialogBarEx& bar = run.Frame().FilterBar();
    fw::ComboBox kind(bar.Child(IDC_FILTER_KIND).Handle());
    ASSERT_EQ(kind.GetCount(), 3);
    EXPECT_EQ(kind.GetLBText(0), L"Show Files and Directories");
    EXPECT_EQ(kind.GetLBText(1), L"Show Only Files");
    EXPECT_EQ(kind.GetLBText(2), L"Show Only Directories");
    EXPECT_EQ(kind.GetCurSel(), 0);
    fw::ComboBox type(bar.Child(IDC_FILTER_TYPE).Handle());
    ASSERT_EQ(type.GetCount(), 1);
    EXPECT_EQ(type.GetLBText(0), L"Show All Types");
    EXPECT_EQ(type.GetCurSel(), 0);
    EXPECT_FALSE(bar.Child(IDC_FILTER_REFRESH).IsVisible());

    for (int width : {580, 800}) {
        run.Frame().Move(100, 100, width, 400);
        PumpMessages();
        EXPECT_EQ(RectOf(bar, IDC_FILTER_HIDE).right, bar.GetClientRect().right - 2) << width;
    }
}

namespace {

std::wstring aboutCaption;
std::wstring aboutTitle;

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND about = FindWindowW(L"#32770", L"About Vantrel FTP Client");
    if (about == nullptr) return;
    KillTimer(nullptr, timer);
    wchar_t text[256] = {};
    GetWindowTextW(about, text, 256);
    aboutCaption = text;
    GetDlgItemTextW(about, IDC_ABOUT_TITLE, text, 256);
    aboutTitle = text;
    SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
}

} // namespace

TEST_F(FrameTest, AboutCommandShowsTheAboutBox)
{
    SetTimer(nullptr, 0, 50, CloseAbout);
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0));
    EXPECT_EQ(aboutCaption, L"About Vantrel FTP Client");
    EXPECT_EQ(aboutTitle, L"Vantrel FTP Client v3.3");
}

TEST_F(FrameTest, ExitClosesTheProgram)
{
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0));
    bool quit = false;
    for (int round = 0; round < 100 && !quit; ++round)
        quit = PumpMessages();
    EXPECT_TRUE(quit);
    EXPECT_FALSE(run.Frame().IsWindow());
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, LAYOUT_KEY);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key.Get(), L"Main", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
}

namespace {

constexpr WORD ICON_PIXEL_BITS = 32;
constexpr std::size_t ICON_PIXEL_BYTES = ICON_PIXEL_BITS / 8;

// The colour pixels of an icon resource drawn at the given size, top row first.
std::vector<BYTE> IconPixels(UINT id, int size)
{
    fw::IconHandle icon(
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon.Get(), &info)) return {};
    fw::BitmapHandle colour(info.hbmColor);
    fw::BitmapHandle mask(info.hbmMask);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = ICON_PIXEL_BITS;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<BYTE> pixels(static_cast<std::size_t>(size) * size * ICON_PIXEL_BYTES);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, colour.Get(), 0, size, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == size ? pixels : std::vector<BYTE>{};
}

} // namespace

// The program icon and the Site Manager's tree icons live in different resource files that
// are linked together; each must keep its own picture at every size.
TEST(Icons, EachIconShowsItsOwnPicture)
{
    const UINT icons[] = {IDR_MAINFRAME, IDI_SITE_GROUP, IDI_SITE_SITE};
    for (int size : {16, 32}) {
        std::vector<std::vector<BYTE>> pictures;
        for (UINT id : icons) {
            pictures.push_back(IconPixels(id, size));
            EXPECT_FALSE(pictures.back().empty()) << id << " at " << size;
        }
        for (std::size_t a = 0; a < pictures.size(); ++a)
            for (std::size_t b = a + 1; b < pictures.size(); ++b)
                EXPECT_NE(pictures[a], pictures[b]) << icons[a] << " and " << icons[b] << " at " << size;
    }
}

// The programs' own Settings key holds the setting; switching twice puts back what was there.
TEST_F(FrameTest, ProtectSavedPasswordsIsATickedSettingOfTheToolsMenu)
{
    constexpr int TOOLS_MENU = 3;
    const bool before = PasswordsProtected();
    for (bool expected : {!before, before}) {
        run.Frame().Send(WM_COMMAND, ID_TOOLS_PROTECT_PASSWORDS);
        EXPECT_EQ(PasswordsProtected(), expected);
        EXPECT_EQ((run.MenuItemState({TOOLS_MENU}, ID_TOOLS_PROTECT_PASSWORDS) & MF_CHECKED) != 0, expected);
    }
}
