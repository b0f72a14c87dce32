#include "Handles.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr UINT MSG_SENT = WM_APP + 1;
constexpr UINT MSG_POSTED = WM_APP + 2;

struct Sink {
    std::atomic<int> sent{0};
    std::atomic<int> posted{0};
    HANDLE postedSeen = nullptr;
};

LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* sink = reinterpret_cast<Sink*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (sink && message == MSG_SENT) {
        ++sink->sent;
        return 1;
    }
    if (sink && message == MSG_POSTED) {
        ++sink->posted;
        ::SetEvent(sink->postedSeen);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

class PumpWaitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = SinkProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"FwPumpWaitSink";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, L"FwPumpWaitSink", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        sink.postedSeen = postedSeen.Get();
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&sink));
    }
    void TearDown() override { ::DestroyWindow(window); }

    HWND window = nullptr;
    Sink sink;
    fw::KernelHandle postedSeen{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    fw::KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(PumpWaitTest, WorkerThatSendsAndPostsToTheWaitingThreadFinishes)
{
    // The worker blocks in SendMessage until this thread dispatches, and then waits
    // until its posted message has been handled: a plain wait would deadlock.
    std::thread worker([&] {
        ::SendMessageW(window, MSG_SENT, 0, 0);
        ::PostMessageW(window, MSG_POSTED, 0, 0);
        ::WaitForSingleObject(postedSeen.Get(), INFINITE);
        ::SetEvent(done.Get());
    });
    fw::PumpWaitResult result = fw::PumpWait(done.Get(), 20000);
    worker.join();
    EXPECT_EQ(result, fw::PumpWaitResult::Signalled);
    EXPECT_EQ(sink.sent.load(), 1);
    EXPECT_EQ(sink.posted.load(), 1);
}

TEST_F(PumpWaitTest, TimesOutWhileStillDispatching)
{
    ::PostMessageW(window, MSG_POSTED, 0, 0);
    DWORD start = ::GetTickCount();
    EXPECT_EQ(fw::PumpWait(done.Get(), 100), fw::PumpWaitResult::Timeout);
    EXPECT_GE(::GetTickCount() - start, 90u);
    EXPECT_EQ(sink.posted.load(), 1);
}

TEST_F(PumpWaitTest, QuitEndsTheWaitAndIsPostedAgainForTheOuterLoop)
{
    ::PostQuitMessage(5);
    EXPECT_EQ(fw::PumpWait(done.Get(), 5000), fw::PumpWaitResult::Quit);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(PumpWaitTest, AlreadySignalledReturnsAtOnce)
{
    ::SetEvent(done.Get());
    EXPECT_EQ(fw::PumpWait(done.Get(), 0), fw::PumpWaitResult::Signalled);
}

TEST_F(PumpWaitTest, HoldingInputAnswersOtherThreadsButLeavesInputCommandsAndClosingQueued)
{
    const UINT held[] = {WM_KEYDOWN, WM_CHAR,       WM_LBUTTONDOWN, WM_NCLBUTTONDOWN,
                         WM_COMMAND, WM_SYSCOMMAND, WM_CLOSE,       MSG_POSTED};
    for (UINT message : held)
        ::PostMessageW(window, message, 0, 0);
    ::PostQuitMessage(3);
    // The worker's SendMessage returns only if the waiting thread answers it.
    std::thread worker([&] {
        ::SendMessageW(window, MSG_SENT, 0, 0);
        ::SetEvent(done.Get());
    });
    fw::PumpWaitHoldingInput(done.Get());
    worker.join();
    EXPECT_EQ(sink.sent.load(), 1);
    EXPECT_EQ(sink.posted.load(), 0);
    std::vector<UINT> queued;
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        queued.push_back(msg.message);
    for (UINT message : held)
        EXPECT_NE(std::find(queued.begin(), queued.end(), message), queued.end()) << "message " << message;
    EXPECT_NE(std::find(queued.begin(), queued.end(), static_cast<UINT>(WM_QUIT)), queued.end());
}

} // namespace
