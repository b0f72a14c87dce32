// Connect and Disconnect on the handheld program against the scripted server: the handheld
// Site Manager's Connect, the listing in the remote list, the idle keep-alive, and the reset.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <string>

#include "HandheldDialogs.h"
#include "OrletRun.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "sites/SiteStore.h"
#include "support/WindowAnswerer.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto kScriptTimeout = std::chrono::seconds(10);
constexpr UINT kShortKeepAliveMs = 150;

bool PumpUntilCommands(const ScriptedServer& server, std::size_t count)
{
    return PumpUntil([&] { return server.Commands().size() >= count; });
}

// The program's own sites key, emptied before and after.
struct SitesKeyGuard {
    SitesKeyGuard() { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SITES_KEY); }
    ~SitesKeyGuard() { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SITES_KEY); }
};

} // namespace

TEST(ConnectTest, SiteManagerConnectsListsKeepsAliveAndDisconnectResets)
{
    SitesKeyGuard sitesKey;
    OrletRun run;
    ASSERT_TRUE(run.Started());
    TestReporter reporter;
    ScriptedServer server;
    ScriptLogon(server, "/home/alice");
    server.ExpectPasv()
        .On("LIST /home/alice", "150 listing\r\n")
        .DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 src\r\n"
                  "-rw-r--r-- 1 u g 100 Jan  5  2020 README\r\n")
        .Reply("226 done\r\n");
    server.On("PWD", "257 \"/home/alice\"\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    SiteList sites;
    ASSERT_EQ(AddSite(sites, ScriptedSite(server, true)), 0);

    testsupport::WindowAnswerer answerer;
    answerer.OnDialog(L"Site Manager", [](HWND dialog) {
        HWND tree = GetDlgItem(dialog, IDC_HANDHELD_SITE_TREE);
        TreeView_SelectItem(tree, TreeView_GetRoot(tree));
        PostMessageW(GetDlgItem(dialog, IDC_SITE_CONNECT), BM_CLICK, 0, 0);
    });
    ASSERT_TRUE(run.Frame().RouteCommand(ID_FILE_CONNECT));
    PumpMessages();

    EXPECT_EQ(run.Document().GetTitle(), L"Scripted (127.0.0.1:" + std::to_wstring(server.Port()) + L")");
    EXPECT_EQ(OrletRun::Names(run.View().RemoteList()), (std::vector<std::wstring>{L"src", L"README"}));
    fw::ComboBox paths = run.View().RemotePathList();
    EXPECT_EQ(paths.GetLBText(paths.GetCurSel()), L"/home/alice");
    EXPECT_FALSE(run.Update(ID_FILE_CONNECT).Enabled().value_or(true));

    run.View().SetKeepAliveInterval(kShortKeepAliveMs);
    EXPECT_TRUE(PumpUntilCommands(server, 6));
    run.View().SetKeepAliveInterval(KEEPALIVE_INTERVAL_MS);

    ASSERT_TRUE(run.Frame().RouteCommand(ID_FILE_DISCONNECT));
    EXPECT_EQ(run.Document().GetTitle(), L"Disconnected");
    EXPECT_EQ(run.View().RemoteList().GetItemCount(), 0);
    EXPECT_EQ(paths.GetCount(), 0);
    EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(server.Commands(),
                ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "PASV", "LIST /home/alice", "PWD", "QUIT"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
