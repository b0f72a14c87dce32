#include <gtest/gtest.h>

#include <windows.h>

#include "shell/StaticEx.h"

namespace {

constexpr int ICON_CONTROL_ID = 1018;

class StaticExTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner = CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 120, 120, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
        CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 80, 80, owner,
                      reinterpret_cast<HMENU>(ICON_CONTROL_ID), GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override { DestroyWindow(owner); }

    COLORREF PixelAt(int x, int y)
    {
        HWND control = GetDlgItem(owner, ICON_CONTROL_ID);
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC dc = GetDC(control);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(control, dc);
        return colour;
    }

    HWND owner = nullptr;
};

} // namespace

TEST_F(StaticExTest, DrawsTheIconTopLeftOnButtonFace)
{
    CStaticEx icon;
    ASSERT_TRUE(icon.Attach(owner, ICON_CONTROL_ID));
    EXPECT_FALSE(CStaticEx().Attach(owner, ICON_CONTROL_ID + 1));

    COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(PixelAt(16, 16), face) << "nothing drawn without an icon";

    HICON shown = LoadIconW(nullptr, IDI_ERROR);
    icon.SetIcon(shown);
    EXPECT_EQ(icon.GetIcon(), shown);
    EXPECT_NE(PixelAt(16, 16), face) << "the icon's middle";
    EXPECT_EQ(PixelAt(70, 70), face) << "outside the icon's natural size";
}

TEST_F(StaticExTest, ForgetsTheControlWhenItIsDestroyed)
{
    CStaticEx icon;
    ASSERT_TRUE(icon.Attach(owner, ICON_CONTROL_ID));
    DestroyWindow(GetDlgItem(owner, ICON_CONTROL_ID));
    EXPECT_EQ(icon.Handle(), nullptr);
}
