// A listing that never ends, on the real frame: Esc stops it and keeps the rows, and every
// way of closing the window stops it and ends the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "OrvidDoc.h"
#include "PaneTestSupport.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "resource.h"
#include "shell/StatusText.h"
#include "support/Wait.h"

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kScriptTimeout = std::chrono::seconds(10);
// Only a hang exceeds these on a loaded machine.
constexpr auto kStopBound = std::chrono::seconds(1) + std::chrono::seconds(5);
constexpr auto kCloseBound = std::chrono::seconds(5) + std::chrono::seconds(5);

struct StopCase {
    const char* name;
    // Sent from another thread while the listing runs, as the user's input arrives.
    std::function<void(HWND frame, HWND list)> post;
    // Whether the way closes the program.
    bool closes;
};

class StopListingTest : public ::testing::TestWithParam<StopCase> {
protected:
    COrvidDoc& Document() const { return run.Document(); }
    ConnectionSession& Session() const { return Document().Session(); }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    ScriptedServer server;
};

} // namespace

TEST_P(StopListingTest, EndsTheListingInTimeAndTheProgramGoesOnOrEnds)
{
    ASSERT_TRUE(run.Started());
    ScriptOldThenEndlessListing(server);
    if (!GetParam().closes) {
        server.ExpectPasv().On("LIST /", "150 listing\r\n").DataSend("-rw-r--r-- 1 u g 1 Jan  5  2020 new\r\n");
        server.Reply("226 done\r\n");
    }
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    SiteRecord site = ScriptedSite(server, false);
    // The listing's own rate limit must not end it before the user does.
    site.timeout = 600;
    ASSERT_TRUE(OpenSite(Session(), site));
    Document().OnSiteConnected(L"Scripted");
    PumpMessages();
    ASSERT_THAT(RowTexts(run.View().List()), ElementsAre(L"old"));

    Clock::time_point posted{};
    std::thread user([&] {
        // Once the endless listing's first entries are in.
        testsupport::PollUntil(
            [&] { return CommandCount(server, "LIST /") == 2 && Session().Engine().ListingProgress() > 0; });
        GetParam().post(run.Frame().Handle(), run.View().List().Handle());
        posted = Clock::now();
    });
    run.View().Refresh();
    const auto stopped = Clock::now();
    user.join();
    EXPECT_LT(stopped - posted, kStopBound);

    if (GetParam().closes) {
        EXPECT_TRUE(run.WaitForQuit());
        EXPECT_LT(Clock::now() - posted, kCloseBound);
        EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
        EXPECT_THAT(server.Commands(), Contains("QUIT"));
    } else {
        EXPECT_THAT(RowTexts(run.View().List()), ElementsAre(L"old"));
        PumpMessages();
        // The frame's periodic "Ready" may have come in between.
        wchar_t ready[64] = {};
        LoadStringW(GetModuleHandleW(nullptr), IDS_READY, ready, 64);
        EXPECT_THAT(PaneText(STATUS_PANE_MESSAGE), AnyOf(std::wstring(LISTING_STOPPED_TEXT), std::wstring(ready)));
        run.View().Refresh();
        EXPECT_THAT(RowTexts(run.View().List()), ElementsAre(L"new"));
        Session().LogOff();
        EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
    }
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, StopListingTest,
    ::testing::Values(
        StopCase{"Esc", [](HWND, HWND list) { PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1); }, false},
        StopCase{"CloseBox", [](HWND frame, HWND) { PostMessageW(frame, WM_NCLBUTTONDOWN, HTCLOSE, 0); }, true},
        StopCase{"CloseCommand", [](HWND frame, HWND) { PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
        StopCase{"SentClose", [](HWND frame, HWND) { SendMessageW(frame, WM_CLOSE, 0, 0); }, true},
        StopCase{"AltF4", [](HWND frame, HWND) { PostMessageW(frame, WM_SYSKEYDOWN, VK_F4, 1 << 29); }, true},
        StopCase{"CloseMessage", [](HWND frame, HWND) { PostMessageW(frame, WM_CLOSE, 0, 0); }, true},
        StopCase{"FileExit", [](HWND frame, HWND) { PostMessageW(frame, WM_COMMAND, ID_APP_EXIT, 0); }, true}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST(StopListing, AServerThatWithholdsItsReplyAfterEscLosesTheConnectionInsteadOfHoldingThePane)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    ScriptedServer server;
    ASSERT_TRUE(run.Started());
    auto& session = run.Document().Session();
    ScriptLogon(server, "/");
    server.ExpectPasv().On("LIST /", "150 listing\r\n").DataTrickle(EndlessListing(), std::chrono::milliseconds(1));
    server.Silent();
    server.Start();
    SiteRecord site = ScriptedSite(server, false);
    site.timeout = 600;
    ASSERT_TRUE(OpenSite(session, site));
    std::thread user([&] {
        testsupport::PollUntil(
            [&] { return CommandCount(server, "LIST /") == 1 && session.Engine().ListingProgress() > 0; });
        PostMessageW(run.View().List().Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    });
    const auto start = Clock::now();
    run.Document().OnSiteConnected(L"Scripted");
    user.join();
    // The stop's second of grace; only a hang exceeds this on a loaded machine.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1) + kStopBound);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
