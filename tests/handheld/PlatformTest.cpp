// The platform layer's Connection Manager request, byte for byte as the device takes it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "HandheldDialogs.h"
#include "Platform.h"

TEST(PlatformTest, ConnectionInfoAsksForTheInternetWithUserPriority)
{
    const ConnectionInfo info = MakeInternetConnectionInfo();
    std::array<unsigned char, 64> bytes = {};
    ASSERT_EQ(sizeof info, bytes.size());
    std::memcpy(bytes.data(), &info, bytes.size());
    const std::array<unsigned char, 64> expected = {
        0x40, 0x00, 0x00, 0x00, // size
        0x01, 0x00, 0x00, 0x00, // the destination network is given
        0x00, 0x00, 0x00, 0x00, // no flags
        0x00, 0x20, 0x00, 0x00, // user-interactive priority
        0x00, 0x00, 0x00, 0x00, // not exclusive
        0x00, 0x00, 0x00, 0x00, // not disabled
        // 436EF144-B4FB-4863-A041-8F905A62C572
        0x44, 0xF1, 0x6E, 0x43, 0xFB, 0xB4, 0x63, 0x48, 0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72,
        // no window, message, cost, bandwidth or latency
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(CONNECTION_REQUEST_TIMEOUT_MS, 60000u);
}

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
