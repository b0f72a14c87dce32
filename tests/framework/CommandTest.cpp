#include "Controls.h"
#include "DialogBar.h"
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

namespace {

using fwtest::RecordingTarget;
using fwtest::SingleDocument;

using Log = std::vector<std::string>;

MENUITEMINFOW ItemInfo(HMENU menu, UINT id)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    ::GetMenuItemInfoW(menu, id, FALSE, &info);
    return info;
}

std::wstring ItemText(HMENU menu, UINT id)
{
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, id, text, 64, MF_BYCOMMAND);
    return text;
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(doc.Create()); }
    HMENU Popup() const { return ::GetSubMenu(::GetMenu(doc.frame->Handle()), 0); }

    SingleDocument doc;
};

TEST_F(CommandTest, CommandTravelsFrameViewDocumentAppAndStopsAtTheFirstThatRunsIt)
{
    doc.document->recorder.runs = {ID_CMD_PLAIN};
    doc.view->recorder.runs = {ID_CMD_CHECKED};

    EXPECT_TRUE(doc.frame->RouteCommand(ID_CMD_PLAIN));
    EXPECT_EQ(doc.log, (Log{"frame:304", "view:304", "document:304"}));

    doc.log.clear();
    EXPECT_TRUE(doc.frame->RouteCommand(ID_CMD_CHECKED));
    EXPECT_EQ(doc.log, (Log{"frame:301", "view:301"}));

    doc.log.clear();
    EXPECT_FALSE(doc.frame->RouteCommand(ID_CMD_UNHANDLED));
    EXPECT_EQ(doc.log, (Log{"frame:303", "view:303", "document:303", "app:303"}));
}

TEST_F(CommandTest, MenuItemsGetTheStatesOfTheirUpdateHandlersWhenThePopupOpens)
{
    doc.view->recorder.updates = {{ID_CMD_CHECKED, true, 1, -1, nullptr}};
    doc.document->recorder.updates = {{ID_CMD_RADIO, true, -1, 1, nullptr}};
    doc.frame->recorder.updates = {{ID_CMD_DISABLED, false, -1, -1, nullptr}};
    doc.app.recorder.updates = {{ID_CMD_RENAMED, true, -1, -1, L"New name"}};
    doc.app.recorder.handlesWithoutUpdate = {ID_CMD_PLAIN};
    // The disabling handler comes first in the chain, so a later one that would
    // enable the command is never asked.
    doc.app.recorder.updates.push_back({ID_CMD_DISABLED, true, -1, -1, nullptr});

    HMENU popup = Popup();
    doc.frame->Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);

    MENUITEMINFOW checked = ItemInfo(popup, ID_CMD_CHECKED);
    EXPECT_TRUE(checked.fState & MFS_CHECKED);
    EXPECT_FALSE(checked.fType & MFT_RADIOCHECK);
    EXPECT_FALSE(checked.fState & MFS_GRAYED);

    MENUITEMINFOW radio = ItemInfo(popup, ID_CMD_RADIO);
    EXPECT_TRUE(radio.fState & MFS_CHECKED);
    EXPECT_TRUE(radio.fType & MFT_RADIOCHECK);

    EXPECT_TRUE(ItemInfo(popup, ID_CMD_UNHANDLED).fState & MFS_GRAYED) << "nobody implements it";
    EXPECT_FALSE(ItemInfo(popup, ID_CMD_PLAIN).fState & MFS_GRAYED) << "handled without an update handler";
    EXPECT_TRUE(ItemInfo(popup, ID_CMD_DISABLED).fState & MFS_GRAYED);
    EXPECT_EQ(ItemText(popup, ID_CMD_RENAMED), L"New name");

    // States follow the handlers each time the popup opens.
    doc.document->recorder.updates = {{ID_CMD_RADIO, true, -1, 0, nullptr}};
    doc.app.recorder.handlesWithoutUpdate.clear();
    doc.frame->Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_FALSE(ItemInfo(popup, ID_CMD_RADIO).fState & MFS_CHECKED);
    EXPECT_TRUE(ItemInfo(popup, ID_CMD_PLAIN).fState & MFS_GRAYED);
}

TEST_F(CommandTest, AcceleratorOfADisabledCommandDoesNotRunIt)
{
    doc.document->recorder.runs = {ID_CMD_DISABLED, ID_CMD_PLAIN};
    doc.view->recorder.updates = {{ID_CMD_DISABLED, false, -1, -1, nullptr}};
    const WORD acceleratorCode = 1;

    doc.frame->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_DISABLED, acceleratorCode), 0);
    EXPECT_TRUE(doc.log.empty());

    doc.frame->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_PLAIN, acceleratorCode), 0);
    EXPECT_EQ(doc.log.back(), "document:304");
}

TEST_F(CommandTest, ToolbarLoadsOurResourceAndFollowsTheUpdateHandlersWhenIdle)
{
    fw::ToolBar toolbar;
    ASSERT_TRUE(toolbar.Create(doc.frame->Handle(), 1));
    ASSERT_TRUE(toolbar.LoadButtons(::GetModuleHandleW(nullptr), IDR_FRAME));
    ASSERT_EQ(toolbar.GetButtonCount(), 5);
    EXPECT_EQ(toolbar.GetCommandId(0), static_cast<UINT>(ID_CMD_CHECKED));
    EXPECT_TRUE(toolbar.IsSeparator(1));
    EXPECT_EQ(toolbar.GetCommandId(2), static_cast<UINT>(ID_CMD_UNHANDLED));
    TBBUTTON third{};
    ASSERT_TRUE(toolbar.GetButton(3, third));
    EXPECT_EQ(third.iBitmap, 2) << "separators take no image";
    int heightWithoutLabels = toolbar.GetIdealHeight();
    EXPECT_TRUE(toolbar.SetButtonText(3, L"Plain"));
    EXPECT_EQ(toolbar.GetButtonText(3), L"Plain");
    EXPECT_GT(toolbar.GetIdealHeight(), heightWithoutLabels) << "the label goes under the image";
    doc.frame->AddBar(toolbar);

    doc.view->recorder.updates = {{ID_CMD_CHECKED, true, 1, -1, nullptr}, {ID_CMD_DISABLED, false, -1, -1, nullptr}};
    doc.document->recorder.handlesWithoutUpdate = {ID_CMD_PLAIN};
    doc.frame->UpdateToolBars();

    EXPECT_TRUE(toolbar.IsButtonEnabled(ID_CMD_CHECKED));
    EXPECT_TRUE(toolbar.IsButtonChecked(ID_CMD_CHECKED));
    EXPECT_FALSE(toolbar.IsButtonEnabled(ID_CMD_UNHANDLED));
    EXPECT_TRUE(toolbar.IsButtonEnabled(ID_CMD_PLAIN));
    EXPECT_FALSE(toolbar.IsButtonEnabled(ID_CMD_DISABLED));

    doc.view->recorder.updates = {{ID_CMD_CHECKED, false, 0, -1, nullptr}};
    doc.frame->UpdateToolBars();
    EXPECT_FALSE(toolbar.IsButtonEnabled(ID_CMD_CHECKED));
    EXPECT_FALSE(toolbar.IsButtonChecked(ID_CMD_CHECKED));

    doc.document->recorder.runs = {ID_CMD_PLAIN};
    doc.frame->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_PLAIN, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar.Handle()));
    EXPECT_EQ(doc.log.back(), "document:304");
}

TEST_F(CommandTest, ToolbarResourceOfAnotherVersionOrMissingIsRefused)
{
    fw::ToolBar toolbar;
    ASSERT_TRUE(toolbar.Create(doc.frame->Handle(), 1));
    EXPECT_FALSE(toolbar.LoadButtons(::GetModuleHandleW(nullptr), IDR_BAD_TOOLBAR));
    EXPECT_FALSE(toolbar.LoadButtons(::GetModuleHandleW(nullptr), IDD_FORM));
    EXPECT_EQ(toolbar.GetButtonCount(), 0);
}

TEST_F(CommandTest, ButtonsOfTheFormAndOfADialogBarTravelTheFrameChain)
{
    doc.view->recorder.runs = {IDC_FORM_BUTTON};
    fw::Button(doc.view->Child(IDC_FORM_BUTTON)).Click();
    EXPECT_EQ(doc.log, (Log{"frame:211", "view:211"}));

    fw::DialogBar bar(IDD_BAR);
    ASSERT_TRUE(bar.Create(*doc.frame, fw::BarSide::Top));
    doc.frame->SetBarToggleCommand(bar.Handle(), IDC_BAR_BUTTON);
    ASSERT_TRUE(doc.frame->IsBarVisible(bar.Handle()));
    fw::Button(bar.Child(IDC_BAR_BUTTON)).Click();
    EXPECT_FALSE(doc.frame->IsBarVisible(bar.Handle())) << "the frame ran the bar's toggle";
}

} // namespace
