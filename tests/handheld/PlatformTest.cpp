// The platform layer's stand-in for the title bar's OK button.
#include <gtest/gtest.h>

#include "HandheldDialogs.h"
#include "Platform.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

} // namespace

TEST(PlatformTest, TitleBarOkGoesOnTypingDialogsWithoutAnOkButton)
{
    ASSERT_TRUE(InitializeShell(GetModuleHandleW(nullptr)));
    const struct {
        UINT dialog;
        bool gainsOk;
    } cases[] = {
        {IDD_HANDHELD_TEXT_PROMPT, true},
        {IDD_HANDHELD_SITE_MANAGER, true},
        {IDD_HANDHELD_SITE_PROPERTIES, true},
        {IDD_HANDHELD_FILE_ATTRIBUTES, true},
        {IDD_HANDHELD_FIND, true},
        {IDD_HANDHELD_ASK_REPLACE, false},
        {IDD_HANDHELD_PROXY, false},
        {IDD_HANDHELD_PROPERTIES, false},
        {IDD_HANDHELD_TRANSFER_PROGRESS, false},
    };
    for (const auto& test : cases) {
        HWND dialog =
            CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(test.dialog), nullptr, PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << test.dialog;
        const bool hadOk = GetDlgItem(dialog, IDOK) != nullptr;
        EXPECT_EQ(TitleBarOk::Apply(dialog), test.gainsOk) << test.dialog;
        EXPECT_EQ(GetDlgItem(dialog, IDOK) != nullptr, hadOk || test.gainsOk) << test.dialog;
        if (test.gainsOk) {
            RECT client = {};
            GetClientRect(dialog, &client);
            RECT button = {};
            GetWindowRect(GetDlgItem(dialog, IDOK), &button);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
            EXPECT_LT(client.right - button.right, 8) << test.dialog;
            EXPECT_LT(button.top, 8) << test.dialog;
            EXPECT_FALSE(TitleBarOk::Apply(dialog)) << "a second OK for " << test.dialog;
        }
        DestroyWindow(dialog);
    }
}
