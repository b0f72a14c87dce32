// File > Exit while connected, on the real frame with the program's own reporter against the
// scripted server: how the connection ends, and that nothing is left on screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "OrvidDoc.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "engine/Reporter.h"
#include "resource.h"
#include "support/WindowAnswerer.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);

BOOL CALLBACK CountVisibleWindowOfThisProcess(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int VisibleWindowsOfThisProcess()
{
    int count = 0;
    EnumWindows(CountVisibleWindowOfThisProcess, reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace

TEST(ExitWhileConnected, LogsOffWhileTheWindowStandsAndLeavesNothingOnScreen)
{
    LayoutKeyGuard layoutKey;
    ScriptedServer server;
    ScriptLogon(server);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    // Answers, and records, any message box of the process, whichever thread shows it.
    testsupport::WindowAnswerer answerer;
    {
        ProgramRun run;
        ASSERT_TRUE(run.Started());
        ConnectionSession& session = run.Document().Session();
        ASSERT_TRUE(OpenSite(session, ScriptedSite(server, false)));
        const HWND frame = run.Frame().Handle();

        run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0));
        bool quit = false;
        EXPECT_TRUE(PumpUntil([&] { return quit; }, testsupport::kPatience, &quit));
        EXPECT_FALSE(IsWindow(frame));
        // Logged off by the close itself, not later when the program object goes.
        EXPECT_FALSE(session.IsConnected());
        EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
        // Whatever the engine reports from now on has nobody to read it. (In the program a
        // socket used after the library's cleanup fails this way; here the test's own
        // sockets keep the library up.)
        nsFTP::ReportError(L"Unable to send data. Error code: 10038");
    }
    EXPECT_THAT(server.Commands(), ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "QUIT"));
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_EQ(VisibleWindowsOfThisProcess(), 0);
}
