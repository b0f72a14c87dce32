// The find tool: its matching, and the dialog against the scripted server, whose command log
// shows what the walk listed, entered and deleted. The dialog runs modeless on the test's
// thread, which pumps its messages; the delete question is answered by a DialogScript.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "remotetools/FindDlg.h"
#include "support/RealServers.h"
#include "support/WindowTestHelpers.h"

using namespace sitetests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::PumpUntil;
using testsupport::ScriptedServer;

namespace {

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
const std::wstring HOME = L"/home/alice";

RemoteEntry Entry(const std::wstring& name, bool isDirectory)
{
    RemoteEntry entry;
    entry.directory = HOME;
    entry.name = name;
    entry.displayName = name;
    entry.isDirectory = isDirectory ? 1 : 0;
    return entry;
}

class RecordingOwner : public IFindOwner {
public:
    bool GoToFoundItem(const std::wstring& directory, const std::wstring& name) override
    {
        gone.push_back(directory + L"|" + name);
        return true;
    }
    void CopyEntries(const std::vector<RemoteEntry>& entries) override
    {
        for (const RemoteEntry& entry : entries)
            copied.push_back(entry.directory + L"|" + entry.name);
    }
    void DragEntries(const std::vector<RemoteEntry>& entries) override { CopyEntries(entries); }

    std::vector<std::wstring> gone;
    std::vector<std::wstring> copied;
};

class FindTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (dialog.IsWindow()) dialog.DestroyWindow();
    }

    void Connect(const std::function<void(ScriptedServer&)>& script, std::uint32_t timeoutSeconds = 5)
    {
        ScriptLogon(server);
        script(server);
        server.On("QUIT", "221 bye\r\n");
        server.Start();
        SiteRecord site = ScriptedSite(server, false);
        site.timeout = timeoutSeconds;
        ASSERT_TRUE(OpenSite(session, site));
    }

    // Types the text, sets the boxes and presses Find.
    void Search(const std::wstring& text, bool subdirectories = true, bool wholeWord = false)
    {
        ASSERT_TRUE(dialog.Create(nullptr));
        SetText(dialog.Handle(), IDC_FIND_TEXT, text);
        SetChecked(dialog.Handle(), IDC_FIND_SUBDIRECTORIES, subdirectories);
        SetChecked(dialog.Handle(), IDC_FIND_WHOLE_WORD, wholeWord);
        Click(dialog.Handle(), IDC_FIND_FIND);
    }

    bool WaitForState(FindState state)
    {
        return PumpUntil([&] { return dialog.State() == state; });
    }

    std::wstring RowText(int row) const
    {
        wchar_t text[MAX_PATH] = {};
        ListView_GetItemText(GetDlgItem(dialog.Handle(), IDC_FIND_RESULTS), row, 0, text, MAX_PATH);
        return text;
    }

    int RowCount() const { return ListView_GetItemCount(GetDlgItem(dialog.Handle(), IDC_FIND_RESULTS)); }

    void SelectRow(int row) const
    {
        const HWND list = GetDlgItem(dialog.Handle(), IDC_FIND_RESULTS);
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog.Handle(), id)) != FALSE; }

    std::vector<std::string> Finish()
    {
        session.LogOff();
        EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
        std::vector<std::string> commands = server.Commands();
        commands.erase(commands.begin(), commands.begin() + 4);
        if (!commands.empty() && commands.back() == "QUIT") commands.pop_back();
        return commands;
    }

    TestReporter reporter;
    ScriptedServer server;
    ConnectionSession session;
    RecordingOwner owner;
    CFindDlg dialog{&owner, session};
};

} // namespace

TEST(FindMatchingTest, SubstringCaseAndWholeWords)
{
    struct Case {
        const wchar_t* typed;
        const wchar_t* name;
        bool matchCase, wholeWord, matches;
    };
    const Case cases[] = {
        {L"  log\t", L"app.log", false, false, true},
        {L"log", L"catalog", false, false, true},
        {L"LOG", L"App.Log", false, false, true},
        {L"log", L"app.log", false, true, true},
        {L"log", L"log-2007", false, true, true},
        {L"log", L"catalog", false, true, false},
        {L"log", L"logfile", false, true, false},
        {L"log", L"catalog log", false, true, true}, // on past the occurrence that fails
        {L"a.a", L"xa.a.a", false, true, false},     // ... past its end: "a.a" inside it is not looked at
        {L"Log", L"app.log", true, false, false},
        {L"Log", L"app.Log", true, true, true},
        {L"data", L"lnk -> /data/log", false, true, true},
    };
    for (const Case& c : cases) {
        const std::wstring text = PrepareFindText(c.typed);
        EXPECT_EQ(FindTextMatches(text, c.name, c.matchCase, c.wholeWord), c.matches)
            << std::string(text.begin(), text.end()) << " in " << std::string(c.name, c.name + wcslen(c.name));
    }
    // Nothing to search for: blanks only, or a line break no name can hold.
    EXPECT_EQ(PrepareFindText(L" \t "), L"");
    EXPECT_EQ(PrepareFindText(L"a\r\nDELE x"), L"");
}

TEST_F(FindTest, LinkIsFoundByItsListedNameCopiedAndDeletedAsItselfAndLoopsAreCut)
{
    Connect([](ScriptedServer& s) {
        s.ExpectPasv().On("LIST /home/alice/sub", "150 listing\r\n");
        s.DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 .\r\n"
                   "-rw-r--r-- 1 u g 5 Jan  5  2020 log-2007\r\n"
                   "lrwxrwxrwx 1 u g 9 Jan  5  2020 lnk -> /data/log\r\n"
                   "lrwxrwxrwx 1 u g 1 Jan  5  2020 loop -> .\r\n");
        s.Reply("226 done\r\n");
        s.On("CWD /home/alice/sub/lnk", "550 not a directory\r\n");
        s.On("CWD /home/alice/sub/loop", "250 ok\r\n").On("PWD", "257 \"/home/alice/sub\"\r\n");
        // A directory the server refuses to list is skipped without a word.
        s.ExpectPasv().On("LIST /home/alice/locked", "550 Permission denied\r\n");
        s.On("CWD /home/alice", "250 ok\r\n");
        s.On("DELE /home/alice/sub/lnk", "250 deleted\r\n");
    });
    session.entries = {Entry(L"sub", true), Entry(L"locked", true), Entry(L"app.log", false)};

    Search(L"data");
    ASSERT_TRUE(WaitForState(FindState::Finished));
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(RowText(0), L"/home/alice/sub/lnk -> /data/log");
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), FIND_LOOPS_TEXT);
    EXPECT_FALSE(session.IsBusy());

    SelectRow(0);
    Click(dialog.Handle(), IDC_FIND_COPY);
    EXPECT_THAT(owner.copied, ElementsAre(L"/home/alice/sub|lnk"));

    {
        DialogScript script;
        script.AnswerMessage(IDOK);
        Click(dialog.Handle(), IDC_FIND_DELETE);
        EXPECT_THAT(script.Messages(), ElementsAre(L"Are you sure you want to delete the selected items?"));
    }
    EXPECT_TRUE(dialog.deleted);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_FALSE(Enabled(IDC_FIND_GOTO));
    EXPECT_THAT(Finish(),
                ElementsAre("PASV", "LIST /home/alice/sub", "CWD /home/alice/sub/lnk", "CWD /home/alice/sub/loop",
                            "PWD", "PASV", "LIST /home/alice/locked", "CWD /home/alice", "DELE /home/alice/sub/lnk"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_F(FindTest, AfterDeleteGotoTakesTheRemainingRowsOwnItem)
{
    Connect([](ScriptedServer& s) { s.On("DELE /home/alice/x-two", "250 deleted\r\n"); });
    session.entries = {Entry(L"x-one", false), Entry(L"x-two", false), Entry(L"x-three", false)};

    Search(L"  x  ", false);
    ASSERT_TRUE(WaitForState(FindState::Finished));
    ASSERT_EQ(RowCount(), 3);
    SelectRow(1);
    // While another user has the connection, the delete asks nothing and says why.
    ASSERT_TRUE(session.TryClaimEngine());
    {
        DialogScript script;
        Click(dialog.Handle(), IDC_FIND_DELETE);
        EXPECT_THAT(script.Messages(), IsEmpty());
    }
    session.ReleaseEngine();
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), SESSION_BUSY_TEXT);
    EXPECT_EQ(RowCount(), 3);
    {
        DialogScript script;
        script.AnswerMessage(IDOK);
        Click(dialog.Handle(), IDC_FIND_DELETE);
    }
    ASSERT_EQ(RowCount(), 2);
    EXPECT_EQ(RowText(1), L"/home/alice/x-three");
    SelectRow(1);
    Click(dialog.Handle(), IDC_FIND_GOTO);
    EXPECT_THAT(owner.gone, ElementsAre(L"/home/alice|x-three"));
    EXPECT_FALSE(dialog.IsWindow());
    EXPECT_THAT(Finish(), ElementsAre("DELE /home/alice/x-two"));
}

TEST_F(FindTest, StopKeepsWhatWasFoundAndClosingWaitsForTheWorker)
{
    // Each round's listing of b is in flight until the test has stopped the search.
    const auto stops = std::make_shared<std::atomic<int>>(0);
    const auto listings = [&](ScriptedServer& s, int round) {
        s.ExpectPasv().On("LIST /home/alice/a", "150 listing\r\n");
        s.DataSend("-rw-r--r-- 1 u g 5 Jan  5  2020 hit-1\r\n");
        s.Reply("226 done\r\n");
        s.ExpectPasv().Expect("LIST /home/alice/b");
        s.WaitUntil("stopped", [stops, round] { return *stops >= round; }).Reply("150 listing\r\n");
        s.DataSend("-rw-r--r-- 1 u g 5 Jan  5  2020 hit-2\r\n");
        s.Reply("226 done\r\n");
    };
    Connect([&](ScriptedServer& s) {
        listings(s, 1);
        listings(s, 2);
    });
    session.entries = {Entry(L"a", true), Entry(L"b", true)};
    const auto listingB = [&](std::ptrdiff_t times) {
        const std::vector<std::string> commands = server.Commands();
        return std::count(commands.begin(), commands.end(), "LIST /home/alice/b") == times;
    };

    Search(L"hit");
    EXPECT_EQ(GetDlgItem(dialog.Handle(), IDCANCEL), nullptr) << "Esc and the close box end the dialog";
    ASSERT_TRUE(PumpUntil([&] { return RowCount() == 1 && listingB(1); }));
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_FIND)).GetText(), L"Stop");
    EXPECT_FALSE(Enabled(IDC_FIND_GOTO));
    Click(dialog.Handle(), IDC_FIND_FIND);
    *stops = 1;
    EXPECT_EQ(dialog.State(), FindState::Stopping);
    EXPECT_FALSE(Enabled(IDC_FIND_FIND));
    ASSERT_TRUE(WaitForState(FindState::Idle));
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_FIND)).GetText(), L"Find");
    EXPECT_TRUE(Enabled(IDC_FIND_FIND));
    EXPECT_TRUE(Enabled(IDC_FIND_GOTO));
    EXPECT_TRUE(Enabled(IDC_FIND_DELETE));

    // Again, and close while b is being listed: the window stays until the worker is done.
    Click(dialog.Handle(), IDC_FIND_FIND);
    ASSERT_TRUE(PumpUntil([&] { return dialog.State() == FindState::Searching && RowCount() == 1 && listingB(2); }));
    dialog.Send(WM_COMMAND, IDCANCEL);
    EXPECT_TRUE(dialog.IsWindow());
    *stops = 2;
    ASSERT_TRUE(PumpUntil([&] { return !dialog.IsWindow(); }));
    EXPECT_FALSE(session.IsBusy());
    EXPECT_EQ(Finish().size(), 8u);
}

TEST_F(FindTest, ClosedConnectionEndsTheSearchWithWhatItFoundAndSaysSo)
{
    Connect([](ScriptedServer& s) {
        s.ExpectPasv().On("LIST /home/alice/a", "150 listing\r\n");
        s.DataSend("-rw-r--r-- 1 u g 5 Jan  5  2020 hit-1\r\n");
        s.Reply("226 done\r\n");
        s.ExpectPasv().Expect("LIST /home/alice/b").Close();
    });
    session.entries = {Entry(L"a", true), Entry(L"b", true), Entry(L"c", true), Entry(L"hit-2", false)};

    Search(L"hit");
    ASSERT_TRUE(WaitForState(FindState::Finished));
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), FIND_DISCONNECTED_TEXT);
    EXPECT_TRUE(Enabled(IDC_FIND_GOTO));
    // At most the engine's one report of the closed connection, none for c.
    EXPECT_LE(reporter.Errors().size(), 1u);
    EXPECT_TRUE(server.WaitDisconnected(SCRIPT_TIMEOUT));

    // Find and Delete Selected say why they do nothing now; the delete asks nothing.
    Click(dialog.Handle(), IDC_FIND_FIND);
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), FIND_NOT_CONNECTED_TEXT);
    EXPECT_EQ(dialog.State(), FindState::Finished);
    SetText(dialog.Handle(), IDC_FIND_STATUS, L"");
    SelectRow(0);
    DialogScript script;
    Click(dialog.Handle(), IDC_FIND_DELETE);
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), FIND_NOT_CONNECTED_TEXT);
    EXPECT_THAT(script.Messages(), IsEmpty());
    EXPECT_EQ(RowCount(), 1);
}

TEST_F(FindTest, DirectoriesPastTheDepthLimitAreNotListedAndTheEndSaysSo)
{
    Connect([](ScriptedServer& s) {
        std::string path = "/home/alice";
        for (std::uint32_t level = 1; level <= MAX_FIND_DEPTH; ++level) {
            path += "/d";
            s.ExpectPasv().On("LIST " + path, "150 listing\r\n");
            s.DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 d\r\n").Reply("226 done\r\n");
        }
    });
    session.entries = {Entry(L"d", true)};

    Search(L"d");
    ASSERT_TRUE(WaitForState(FindState::Finished));
    EXPECT_EQ(RowCount(), static_cast<int>(MAX_FIND_DEPTH) + 1);
    EXPECT_EQ(fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText(), FIND_DEPTH_TEXT);
    EXPECT_EQ(Finish().size(), 2 * MAX_FIND_DEPTH);
}

// On a real server the walk meets a link to "." (made by the fixture): however the server
// names the directory it leads to, the search ends, and says why it went no deeper.
TEST(FindRealServer, ALoopOfLinksEndsAndSaysSo)
{
    std::string why;
    const std::unique_ptr<testsupport::RealServer> server =
        testsupport::RealServer::Start(testsupport::ServerKind::Vsftpd, &why);
    if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
    TestReporter reporter;
    ConnectionSession session;
    ASSERT_TRUE(OpenSite(session, RealServerSite(*server, L"vsftpd")));
    ASSERT_TRUE(session.ChangeDirectory(L"/link-loop"));
    ASSERT_TRUE(session.RefreshRemote());
    RecordingOwner owner;
    CFindDlg dialog(&owner, session);
    ASSERT_TRUE(dialog.Create(nullptr));
    SetText(dialog.Handle(), IDC_FIND_TEXT, L"no such name");
    Click(dialog.Handle(), IDC_FIND_FIND);
    ASSERT_TRUE(PumpUntil([&] { return dialog.State() == FindState::Finished; }));
    const std::wstring status = fw::Window(dialog.Child(IDC_FIND_STATUS)).GetText();
    EXPECT_TRUE(status == FIND_DEPTH_TEXT || status == FIND_LOOPS_TEXT) << std::string(status.begin(), status.end());
    EXPECT_EQ(ListView_GetItemCount(GetDlgItem(dialog.Handle(), IDC_FIND_RESULTS)), 0);
    dialog.DestroyWindow();
    session.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

namespace {

class FindStopTest : public FindTest, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(FindStopTest, StopAndCloseCutAListingThatTricklesForEver)
{
    const bool closes = GetParam();
    std::string endless;
    for (int i = 0; i < 20000; ++i)
        endless += "-rw-r--r-- 1 u g 5 Jan  5  2020 hit\r\n";
    // The listing's own rate limit must not end it before the user does.
    Connect(
        [&](ScriptedServer& s) {
            s.ExpectPasv().On("LIST /home/alice/a", "150 listing\r\n");
            s.DataTrickle(endless, std::chrono::milliseconds(1)).Reply("426 aborted\r\n");
            s.On("CWD /home/alice", "250 ok\r\n");
        },
        600);
    session.entries = {Entry(L"a", true)};

    Search(L"hit");
    ASSERT_TRUE(PumpUntil([&] { return session.Engine().ListingProgress() > 0; }));
    const auto start = std::chrono::steady_clock::now();
    if (closes) {
        dialog.Send(WM_COMMAND, IDCANCEL);
        ASSERT_TRUE(PumpUntil([&] { return !dialog.IsWindow(); }));
    } else {
        Click(dialog.Handle(), IDC_FIND_FIND);
        ASSERT_TRUE(WaitForState(FindState::Idle));
    }
    // Within a second; only a hang exceeds this on a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_TRUE(session.ChangeDirectory(HOME));
    EXPECT_THAT(Finish(), ElementsAre("PASV", "LIST /home/alice/a", "CWD /home/alice"));
}

INSTANTIATE_TEST_SUITE_P(StopOrClose, FindStopTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Close" : "Stop"; });
