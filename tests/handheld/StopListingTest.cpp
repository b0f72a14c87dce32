// Orlet's remote list while a listing never ends: Esc stops it and keeps the rows, and
// closing stops it and ends the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "OrletResource.h"
#include "OrletRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "support/Wait.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

// A second to stop, five to close; only a hang exceeds these on a loaded machine.
constexpr auto kStopBound = std::chrono::seconds(6);
constexpr auto kCloseBound = std::chrono::seconds(10);

class OrletStopListingTest : public ::testing::TestWithParam<bool> {
protected:
    OrletRun run;
    TestReporter reporter;
    ScriptedServer server;
};

} // namespace

TEST_P(OrletStopListingTest, EscKeepsTheRowsAndClosingEndsTheProgram)
{
    const bool closes = GetParam();
    ASSERT_TRUE(run.Started());
    ScriptOldThenEndlessListing(server);
    if (!closes) server.On("CWD /", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectionSession& session = run.Document().Session();
    SiteRecord site = ScriptedSite(server, false);
    // The listing's own rate limit must not end it before the user does.
    site.timeout = 600;
    ASSERT_TRUE(OpenSite(session, site));
    run.Document().OnSiteConnected(L"Scripted");
    PumpMessages();
    ASSERT_THAT(OrletRun::Names(run.View().RemoteList()), ElementsAre(L"old"));

    Clock::time_point posted{};
    std::thread user([&] {
        // Once the endless listing's first entries are in.
        testsupport::PollUntil(
            [&] { return CommandCount(server, "LIST /") == 2 && session.Engine().ListingProgress() > 0; });
        if (closes) {
            PostMessageW(run.Frame().Handle(), WM_COMMAND, ID_APP_EXIT, 0);
        } else {
            PostMessageW(run.View().RemoteList().Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
        }
        posted = Clock::now();
    });
    run.View().RefreshRemote();
    const auto stopped = Clock::now();
    user.join();
    EXPECT_LT(stopped - posted, kStopBound);
    if (closes) {
        EXPECT_TRUE(run.WaitForQuit());
        EXPECT_LT(Clock::now() - posted, kCloseBound);
    } else {
        EXPECT_THAT(OrletRun::Names(run.View().RemoteList()), ElementsAre(L"old"));
        EXPECT_TRUE(session.ChangeDirectory(L"/"));
        session.LogOff();
    }
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
    EXPECT_THAT(server.Commands(), Contains("QUIT"));
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EscOrExit, OrletStopListingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Exit" : "Esc"; });
