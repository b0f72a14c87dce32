// The document's Connect and Disconnect commands and the view's idle keep-alive, on the
// real frame against the scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "OrvidDoc.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "resource.h"
#include "session/Win32Reporter.h"
#include "shell/StatusText.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto kScriptTimeout = std::chrono::seconds(10);
constexpr UINT kShortKeepAliveMs = 150;
constexpr DWORD kPumpStepMs = 10;

// Records the engine's reports instead of showing boxes that would stop the test, and
// passes socket activity on to the program's reporter, which posts it to the view.
class ForwardingRecorder : public TestReporter {
public:
    void SocketActivity() override
    {
        TestReporter::SocketActivity();
        Win32Reporter().SocketActivity();
    }
};

class DocumentTest : public ::testing::Test {
protected:
    COrvidDoc& Document() const { return run.Document(); }
    ConnectionSession& Session() const { return Document().Session(); }

    // Pumps the frame's messages until the server has received count commands.
    bool PumpUntilCommands(std::size_t count)
    {
        return PumpUntil([&] { return server.Commands().size() >= count; });
    }
    void PumpFor(DWORD milliseconds)
    {
        for (DWORD waited = 0; waited < milliseconds; waited += kPumpStepMs) {
            PumpMessages();
            Sleep(kPumpStepMs);
        }
    }
    void Finish()
    {
        EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
        EXPECT_THAT(reporter.Errors(), IsEmpty());
    }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    ForwardingRecorder reporter;
    ScriptedServer server;
};

} // namespace

TEST_F(DocumentTest, ConnectedSiteNamesTheTitleAndDisconnectRestoresIt)
{
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(Document().GetTitle(), L"Disconnected");
    EXPECT_TRUE(run.Update(ID_FILE_CONNECT).Enabled().value_or(false));
    EXPECT_FALSE(run.Update(ID_FILE_DISCONNECT).Enabled().value_or(true));

    ScriptLogon(server);
    server.ExpectPasv().On("LIST /home/alice", "150 listing\r\n");
    server.DataSend("-rw-r--r-- 1 u g 10 Jan  5  2020 readme\r\n").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();

    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server)));
    Document().OnSiteConnected(L"Scripted (127.0.0.1:2121)");
    EXPECT_EQ(Document().GetTitle(), L"Scripted (127.0.0.1:2121)");
    EXPECT_THAT(Names(Session().entries), ElementsAre(L"readme"));
    EXPECT_FALSE(run.Update(ID_FILE_CONNECT).Enabled().value_or(true));
    EXPECT_TRUE(run.Update(ID_FILE_DISCONNECT).Enabled().value_or(false));

    SetStatusText(STATUS_PANE_FILES, L"Files: 1");
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_FILE_DISCONNECT, 0));
    PumpMessages();
    EXPECT_FALSE(Session().IsConnected());
    EXPECT_EQ(Document().GetTitle(), L"Disconnected");
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"");
    EXPECT_TRUE(run.Update(ID_FILE_CONNECT).Enabled().value_or(false));
    // A second Disconnect has nothing to do.
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_FILE_DISCONNECT, 0));
    Finish();
    EXPECT_THAT(server.Commands(),
                ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "PASV", "LIST /home/alice", "QUIT"));
}

TEST_F(DocumentTest, ConnectLogsOffTheEarlierConnectionFirst)
{
    ScriptLogon(server);
    server.ExpectPasv().On("LIST /home/alice", "150 listing\r\n").DataSend("").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server)));
    Document().OnSiteConnected(L"Scripted (127.0.0.1:21)");
    SetStatusText(STATUS_PANE_DIRECTORIES, L"Directories: 3");

    Document().PrepareConnect();
    PumpMessages();
    EXPECT_FALSE(Session().IsConnected());
    EXPECT_EQ(PaneText(STATUS_PANE_DIRECTORIES), L"");
    // Until a new site connects, the title stays what it was.
    EXPECT_EQ(Document().GetTitle(), L"Scripted (127.0.0.1:21)");
    Finish();
    EXPECT_EQ(server.Commands().back(), "QUIT");
}

TEST_F(DocumentTest, IdleConnectionGetsAQuietPwdOnlyWithKeepAlive)
{
    EXPECT_EQ(Win32Reporter().ActivityWindow(), run.View().Handle());
    EXPECT_EQ(run.View().KeepAliveInterval(), KEEPALIVE_INTERVAL_MS);

    ScriptLogon(server);
    server.On("PWD", "257 \"/home/alice\"\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server, true)));
    run.View().SetKeepAliveInterval(kShortKeepAliveMs);
    EXPECT_TRUE(PumpUntilCommands(4));
    run.View().SetKeepAliveInterval(KEEPALIVE_INTERVAL_MS);
    Session().LogOff();
    Finish();
    EXPECT_THAT(server.Commands(), ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "PWD", "QUIT"));
}

// A job's worker owns the connection while its modal dialog runs; the view's timer still
// fires inside that dialog's loop and must not talk over the worker.
TEST_F(DocumentTest, KeepAliveWaitsWhileAWorkerUsesTheConnection)
{
    ScriptLogon(server);
    server.On("PWD", "257 \"/home/alice\"\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server, true)));
    ASSERT_TRUE(Session().TryClaimEngine());
    run.View().SetKeepAliveInterval(kShortKeepAliveMs);
    PumpFor(kShortKeepAliveMs * 5);
    EXPECT_EQ(server.Commands().size(), 3u);
    Session().ReleaseEngine();
    EXPECT_TRUE(PumpUntilCommands(4));
    run.View().SetKeepAliveInterval(KEEPALIVE_INTERVAL_MS);
    Session().LogOff();
    Finish();
    EXPECT_THAT(server.Commands(), ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "PWD", "QUIT"));
}

TEST_F(DocumentTest, IdleConnectionWithoutKeepAliveReceivesNothing)
{
    ScriptLogon(server);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server, false)));
    run.View().SetKeepAliveInterval(kShortKeepAliveMs);
    PumpFor(kShortKeepAliveMs * 5);
    run.View().SetKeepAliveInterval(KEEPALIVE_INTERVAL_MS);
    Session().LogOff();
    Finish();
    EXPECT_THAT(server.Commands(), ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "QUIT"));
}

namespace {

// Answers the Site Manager from inside its modal loop, noting what the server had
// received when it opened.
struct SiteManagerAnswer {
    static inline const ScriptedServer* server = nullptr;
    static inline bool seen = false;
    static inline std::vector<std::string> commandsWhenOpened;

    static void CALLBACK Cancel(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND dialog = GetActiveWindow();
        wchar_t className[16] = {};
        GetClassNameW(dialog, className, 16);
        if (std::wstring(className) != L"#32770") return;
        KillTimer(nullptr, id);
        seen = true;
        commandsWhenOpened = server->Commands();
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
};

} // namespace

TEST_F(DocumentTest, ConnectCommandQuitsBeforeTheSiteManagerAndCancelKeepsTheTitle)
{
    ScriptLogon(server);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server)));

    SiteManagerAnswer::server = &server;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &SiteManagerAnswer::Cancel);
    ASSERT_NE(timer, 0u);
    // Routed past the update handler: the command itself logs off a live connection.
    EXPECT_TRUE(Document().OnCommand(ID_FILE_CONNECT));
    KillTimer(nullptr, timer);

    EXPECT_TRUE(SiteManagerAnswer::seen);
    EXPECT_THAT(SiteManagerAnswer::commandsWhenOpened, ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "QUIT"));
    EXPECT_FALSE(Session().IsConnected());
    EXPECT_EQ(Document().GetTitle(), L"Disconnected");
    Finish();
}
