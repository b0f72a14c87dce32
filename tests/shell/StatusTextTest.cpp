#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <thread>

#include "shell/StatusText.h"

namespace {

HWND statusBar = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_STATUS_TEXT) {
        ApplyStatusText(statusBar, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring PaneText(int pane)
{
    wchar_t text[256] = {};
    SendMessageW(statusBar, SB_GETTEXTW, pane, reinterpret_cast<LPARAM>(text));
    return text;
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

class StatusTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"StatusTextTestOwner";
        RegisterClassW(&windowClass);
        owner = CreateWindowW(L"StatusTextTestOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
        statusBar = CreateWindowW(STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        int edges[] = {100, 200, 300, -1};
        SendMessageW(statusBar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
        SetStatusTextWindow(owner);
    }
    void TearDown() override
    {
        SetStatusTextWindow(nullptr);
        Pump();
        DestroyWindow(owner);
        statusBar = nullptr;
    }

    HWND owner = nullptr;
};

} // namespace

TEST_F(StatusTextTest, PostsAreShownOnlyWhenTheQueueRuns)
{
    SetStatusText(STATUS_PANE_FILES, L"Files: 3");
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"");
    Pump();
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 3");
}

TEST_F(StatusTextTest, TheLatestTextFromAWorkerWinsAndEachCopyStaysValid)
{
    constexpr int count = 500;
    std::thread worker([] {
        for (int i = 0; i < count; ++i) {
            // A temporary that dies at once: the posted copy must not depend on it.
            SetStatusText(STATUS_PANE_MESSAGE, L"reply " + std::to_wstring(i));
        }
    });
    worker.join();
    Pump();
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), L"reply 499");
}

TEST_F(StatusTextTest, PanesOutOfRangeAndNoWindowAreIgnored)
{
    SetStatusText(STATUS_PANE_COUNT, L"nowhere");
    SetStatusText(-1, L"nowhere");
    SetStatusTextWindow(nullptr);
    SetStatusText(STATUS_PANE_MESSAGE, L"dropped");
    Pump();
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), L"");
    EXPECT_EQ(StatusTextWindow(), nullptr);
}
