#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "shell/ShellHelpers.h"

namespace {

std::wstring boxText;
bool boxHasIcon = false;
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

BOOL CALLBACK FindIcon(HWND child, LPARAM found)
{
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

void CALLBACK ReadAndCloseBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", nullptr);
    if (box == nullptr || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) return;
    KillTimer(nullptr, timer);
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, MESSAGE_BOX_TEXT_ID, text, 1024);
    boxText = text;
    boxHasIcon = false;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&boxHasIcon));
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

} // namespace

TEST(ShowLastError, ShowsCodeSystemTextAndCallerText)
{
    boxText.clear();
    SetTimer(nullptr, 0, 50, ReadAndCloseBox);
    SetLastError(ERROR_FILE_NOT_FOUND);
    ShowLastError(L"C:\\temp\\a.txt");

    const std::wstring prefix = L"Error code: 2\n";
    const std::wstring suffix = L"\nC:\\temp\\a.txt";
    ASSERT_GT(boxText.size(), prefix.size() + suffix.size()) << testing::PrintToString(boxText);
    EXPECT_EQ(boxText.substr(0, prefix.size()), prefix);
    EXPECT_EQ(boxText.substr(boxText.size() - suffix.size()), suffix);
    // The system's text for the code sits between them, on one line of its own.
    std::wstring system = boxText.substr(prefix.size(), boxText.size() - prefix.size() - suffix.size());
    EXPECT_FALSE(system.empty());
    EXPECT_EQ(system.find_first_of(L"\r\n"), std::wstring::npos) << testing::PrintToString(system);
    EXPECT_TRUE(boxHasIcon);
}

TEST(ShowLastError, WithoutSystemTextShowsCodeAndCallerTextOnly)
{
    boxText.clear();
    SetTimer(nullptr, 0, 50, ReadAndCloseBox);
    constexpr DWORD codeWithoutText = 0x2000FFFF;
    SetLastError(codeWithoutText);
    ShowLastError(L"Upload");
    EXPECT_EQ(boxText, L"Error code: " + std::to_wstring(codeWithoutText) + L"\nUpload");
}
