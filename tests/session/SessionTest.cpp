// The session against the scripted server: logon through the site record, firewall logons,
// the start directory, the listing refresh and log-off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "session/ConnectionSession.h"
#include "support/TestSocket.h"
#include "support/Wait.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto kScriptTimeout = std::chrono::seconds(10);

class SessionTest : public ::testing::Test {
protected:
    void Finish()
    {
        EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
    }

    TestReporter reporter;
    ScriptedServer server;
    ConnectionSession session;
};

} // namespace

TEST(StartDirectoryTarget, IsAlwaysTakenRelativeToTheHomeDirectory)
{
    const std::wstring home = L"/home/user";
    EXPECT_EQ(StartDirectoryTarget(home, L"www"), L"/home/user/www");
    EXPECT_EQ(StartDirectoryTarget(home, L"/home/user/www"), L"/home/user/www");
    EXPECT_EQ(StartDirectoryTarget(home, L"  /HOME/User/www \t"), L"/home/user/www");
    EXPECT_EQ(StartDirectoryTarget(home, L"\\home\\user\\www\\x"), L"/home/user/www/x");
    EXPECT_EQ(StartDirectoryTarget(home, L"/var/www"), L"/home/user/var/www");
    EXPECT_EQ(StartDirectoryTarget(L"/", L"/pub"), L"/pub");
    EXPECT_EQ(StartDirectoryTarget(L"/home/user/", L"www"), L"/home/user/www");
    // Nothing left to move to: stay in the home directory.
    for (const wchar_t* stay : {L"", L"   ", L"/", L" / ", L"/home/user", L"/home/user/ "})
        EXPECT_EQ(StartDirectoryTarget(home, stay), L"") << stay;
    // Without a home directory the start directory is taken from the root.
    EXPECT_EQ(StartDirectoryTarget(L"", L"www"), L"/www");
    EXPECT_EQ(StartDirectoryTarget(L"", L"/srv/www"), L"/srv/www");
    EXPECT_EQ(StartDirectoryTarget(L"", L"/"), L"");
}

TEST(MakeLogonSettings, AnonymousSitesIgnoreUserAndFirewallOnlyWhenTyped)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.host, L"ftp.example.com");
    site.port = 0x10000 + 2121; // only the low 16 bits count
    SetText(site.user, L"bob");
    SetText(site.password, L"pw");
    site.anonymous = 1;
    SetText(site.firewallHost, L"proxy");
    site.firewallPort = 8021;
    nsFTP::LogonSettings settings = MakeLogonSettings(site);
    EXPECT_EQ(settings.host, L"ftp.example.com");
    EXPECT_EQ(settings.port, 2121);
    EXPECT_EQ(settings.user, L"anonymous");
    EXPECT_EQ(settings.password, ANONYMOUS_PASSWORD);
    EXPECT_NE(std::wstring(ANONYMOUS_PASSWORD).find(L'@'), std::wstring::npos);
    EXPECT_EQ(settings.firewallMode, nsFTP::FIREWALL_NONE);
    EXPECT_EQ(settings.firewallHost, L"");
    EXPECT_EQ(settings.codePage, nsFTP::CODE_PAGE_AUTO);
    EXPECT_TRUE(settings.preferMlsd);

    site.anonymous = 0;
    site.firewallType = 6;
    SetSiteCodePage(site, nsFTP::CODE_PAGE_CYRILLIC);
    SetPrefersMlsd(site, false);
    settings = MakeLogonSettings(site);
    EXPECT_EQ(settings.user, L"bob");
    EXPECT_EQ(settings.password, L"pw");
    EXPECT_EQ(settings.firewallMode, nsFTP::FIREWALL_USER_FIREID_AT_HOST);
    EXPECT_EQ(settings.firewallHost, L"proxy");
    EXPECT_EQ(settings.firewallPort, 8021);
    EXPECT_EQ(settings.codePage, nsFTP::CODE_PAGE_CYRILLIC);
    EXPECT_FALSE(settings.preferMlsd);
}

TEST_F(SessionTest, OpenSiteKeepsTheSiteAndHomeAndGoesToTheStartDirectory)
{
    ScriptLogon(server);
    server.On("CWD /home/alice/www", "250 ok\r\n");
    server.On("CWD /home/alice/missing", "550 no such directory\r\n").On("CWD /home/alice", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();

    SiteRecord site = ScriptedSite(server);
    ASSERT_TRUE(OpenSite(session, site));
    EXPECT_EQ(session.homeDirectory, L"/home/alice");
    EXPECT_EQ(std::memcmp(&session.currentSite, &site, sizeof site), 0);
    GoToStartDirectory(session, L"/home/alice/www");
    EXPECT_EQ(session.CurrentDirectory(), L"/home/alice/www");
    GoToStartDirectory(session, L"missing");
    EXPECT_EQ(session.CurrentDirectory(), L"/home/alice");
    // The refused CWD is the engine's report; the fallback adds nothing of its own.
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 no such directory"));
    session.LogOff();
    EXPECT_FALSE(session.IsConnected());
    Finish();
}

TEST_F(SessionTest, FailedLogonLeavesSiteAndHomeAsTheyWere)
{
    server.Reply("220 ready\r\n").On("USER alice", "331 password\r\n").On("PASS secret", "530 wrong\r\n");
    server.Start();
    session.homeDirectory = L"/before";
    EXPECT_FALSE(OpenSite(session, ScriptedSite(server)));
    EXPECT_EQ(session.homeDirectory, L"/before");
    EXPECT_EQ(session.currentSite.port, 0);
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"530 wrong"));
    Finish();
}

TEST_F(SessionTest, WithoutHomeTheStartDirectoryIsTakenFromTheRoot)
{
    ScriptLogon(server);
    server.On("CWD /srv/www", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(session, ScriptedSite(server)));
    session.homeDirectory.clear();
    GoToStartDirectory(session, L"srv\\www ");
    session.LogOff();
    Finish();
}

TEST_F(SessionTest, NothingIsSentForAnEmptyStartDirectoryOrWhenDisconnected)
{
    GoToStartDirectory(session, L"www");
    ScriptLogon(server);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ASSERT_TRUE(OpenSite(session, ScriptedSite(server)));
    GoToStartDirectory(session, L" / ");
    session.LogOff();
    Finish();
    EXPECT_THAT(server.Commands(), ElementsAre("USER alice", "PASS secret", "FEAT", "PWD", "QUIT"));
}

namespace {

struct FirewallCase {
    int type;
    std::vector<std::pair<std::string, std::string>> steps;
};

} // namespace

TEST_F(SessionTest, FirewallLogonsGoThroughTheProxyInTheModesOrder)
{
    const FirewallCase cases[] = {
        {1,
         {{"USER fw", "331 fw password\r\n"},
          {"PASS fwpw", "230 proxy ok\r\n"},
          {"SITE ftp.example.com:2121", "331 connected, user please\r\n"},
          {"USER alice", "331 password\r\n"},
          {"PASS secret", "230 in\r\n"}}},
        {2,
         {{"USER fw", "331 fw password\r\n"},
          {"PASS fwpw", "230 proxy ok\r\n"},
          {"USER alice@ftp.example.com:2121", "331 password\r\n"},
          {"PASS secret", "230 in\r\n"}}},
        {8, {{"USER alice@fw@ftp.example.com:2121", "331 password\r\n"}, {"PASS secret@fwpw", "230 in\r\n"}}},
    };
    for (const FirewallCase& firewall : cases) {
        ScriptedServer proxy;
        proxy.Reply("220 proxy ready\r\n");
        for (const auto& [line, reply] : firewall.steps)
            proxy.On(line, reply);
        proxy.On("FEAT", "502 Command not supported\r\n")
            .On("PWD", "257 \"/home/alice\"\r\n")
            .On("CWD /home/alice/www", "250 ok\r\n");
        proxy.On("QUIT", "221 bye\r\n");
        proxy.Start();

        SiteRecord site = DefaultSiteRecord();
        SetText(site.host, L"ftp.example.com");
        site.port = 2121;
        SetText(site.user, L"alice");
        SetText(site.password, L"secret");
        site.timeout = 5;
        SetText(site.firewallHost, L"127.0.0.1");
        site.firewallPort = proxy.Port();
        SetText(site.firewallUser, L"fw");
        SetText(site.firewallPassword, L"fwpw");
        site.firewallType = firewall.type;
        // A firewall relays the logon in clear text, which a site that requires TLS refuses.
        SetSiteEncryption(site, SiteEncryption::PlainOnly);

        ConnectionSession viaProxy;
        ASSERT_TRUE(OpenSite(viaProxy, site)) << firewall.type;
        EXPECT_EQ(viaProxy.homeDirectory, L"/home/alice");
        GoToStartDirectory(viaProxy, L"www");
        viaProxy.LogOff();
        EXPECT_TRUE(proxy.WaitFinished(kScriptTimeout)) << firewall.type << proxy.CurrentStep();
        EXPECT_THAT(proxy.Failures(), IsEmpty()) << firewall.type;
    }
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_F(SessionTest, RefreshSkipsDotEntriesCutsLinksAndSortsDirectoriesFirst)
{
    ScriptLogon(server);
    server.ExpectPasv().On("LIST /home/alice", "150 listing\r\n");
    server.DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 .\r\n"
                    "drwxr-xr-x 2 u g 4096 Jan  5  2020 ..\r\n"
                    "-rw-r--r-- 1 bob g 10 Jan  5  2020 beta\r\n"
                    "-rw-r--r-- 1 u g 20 Jan  5  2020 Gamma\r\n"
                    "drwxr-xr-x 2 u g 4096 Jan  5  2020 zeta\r\n"
                    "lrwxrwxrwx 1 u g 14 Jan  5  2020 docs -> /usr/share/doc\r\n"
                    "-rw-r--r-- 1 u g 30 Jul 14  2021 Alpha\r\n"
                    "drwxr-xr-x 2 u g 4096 Jan  5  2020 alpha\r\n");
    server.Reply("226 done\r\n");
    server.ExpectPasv().On("LIST /home/alice", "150 listing\r\n");
    server.DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 .\r\ndrwxr-xr-x 2 u g 4096 Jan  5  2020 ..\r\n");
    server.Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();

    ASSERT_TRUE(OpenSite(session, ScriptedSite(server)));
    ASSERT_TRUE(session.RefreshRemote());
    // The parser marks links as directories, so they sort with them.
    EXPECT_THAT(Names(session.entries), ElementsAre(L"alpha", L"docs", L"zeta", L"Alpha", L"beta", L"Gamma"));

    const RemoteEntry& link = session.entries[1];
    EXPECT_EQ(link.displayName, L"docs -> /usr/share/doc");
    EXPECT_EQ(link.isLink, 1u);
    EXPECT_EQ(link.attributes, L"lrwxrwxrwx");
    const RemoteEntry& file = session.entries[4];
    EXPECT_EQ(file.isLink, 0u);
    EXPECT_EQ(file.isDirectory, 0u);
    EXPECT_EQ(file.size, 10u);
    EXPECT_EQ(file.owner, L"bob");
    EXPECT_EQ(file.directory, L"/home/alice");

    // The listed calendar time comes back as local time from the UTC file time.
    const RemoteEntry& alpha = session.entries[3];
    FILETIME local = {};
    SYSTEMTIME shown = {};
    ASSERT_TRUE(FileTimeToLocalFileTime(&alpha.time, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &shown));
    EXPECT_EQ(shown.wYear, 2021);
    EXPECT_EQ(shown.wMonth, 7);
    EXPECT_EQ(shown.wDay, 14);
    EXPECT_EQ(shown.wHour, 0);
    EXPECT_EQ(shown.wMinute, 0);

    EXPECT_FALSE(session.RefreshRemote());
    EXPECT_THAT(session.entries, IsEmpty());
    session.LogOff();
    Finish();
}

TEST_F(SessionTest, FailedListingLeavesNoEntriesAndKeepAliveIsQuiet)
{
    ScriptLogon(server);
    server.On("PWD", "257 \"/home/alice\"\r\n");
    server.ExpectPasv().On("LIST /home/alice", "550 permission denied\r\n");
    server.On("PWD", "257 \"/home/alice\"\r\n").On("QUIT", "221 bye\r\n");
    server.Start();

    SiteRecord site = ScriptedSite(server, true);
    ASSERT_TRUE(OpenSite(session, site));
    reporter.Clear();
    session.KeepAlive();
    EXPECT_THAT(reporter.Statuses(), IsEmpty()); // the keep-alive posts nothing
    session.entries.push_back(RemoteEntry{});
    EXPECT_FALSE(session.RefreshRemote());
    EXPECT_THAT(session.entries, IsEmpty());
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 permission denied"));
    session.KeepAlive();
    session.currentSite.keepAlive = 0;
    session.KeepAlive(); // switched off: nothing goes out
    session.LogOff();
    Finish();
}

TEST(OpenSiteStop, EscEndsALogonToAServerThatNeverAnswers)
{
    TestReporter reporter;
    ConnectionSession session;
    const testsupport::UnansweringListener nowhere = testsupport::ListenWithoutAnswering();
    ASSERT_TRUE(nowhere.listener.Valid()) << "the listener's backlog could not be filled";
    SiteRecord site = DefaultSiteRecord();
    SetText(site.host, L"127.0.0.1");
    site.port = nowhere.port;
    site.timeout = 600;
    const DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
        testsupport::PollUntil([&] { return session.IsBusy(); });
        PostThreadMessageW(thread, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(OpenSite(session, site));
    user.join();
    // A second; only a hang exceeds this on a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// The compact list gives back every entry as it was added, texts longer than one block of
// its store and names that are no prefix of the listed text included, and sorts by kind,
// then name.
TEST(RemoteEntryList, GivesBackEveryEntryAsAddedAndSortsDirectoriesFirst)
{
    const auto entry = [](std::wstring name, std::wstring display, bool directory, bool link, std::uint64_t size,
                          std::wstring attributes, std::wstring owner) {
        RemoteEntry made;
        made.isDirectory = directory ? 1 : 0;
        made.isLink = link ? 1 : 0;
        made.size = size;
        made.time = {static_cast<DWORD>(size), 7};
        made.directory = L"/pub";
        made.name = std::move(name);
        made.displayName = std::move(display);
        made.attributes = std::move(attributes);
        made.owner = std::move(owner);
        return made;
    };
    const std::wstring longName(70000, L'x');
    std::vector<RemoteEntry> added = {
        entry(L"b.txt", L"b.txt", false, false, 5, L"-rw-r--r--", L"alice"),
        entry(L"Docs", L"Docs", true, false, 4096, L"drwxr-xr-x", L"alice"),
        entry(L"latest", L"latest -> /pub/Docs", true, true, 12, L"lrwxrwxrwx", L"bob"),
        entry(L"A", L"listed otherwise", false, false, REMOTE_SIZE_UNKNOWN, L"-rw-r--r--", L"bob"),
        entry(longName, longName, false, false, 1, L"", L""),
        entry(L"", L"", false, false, 0, L"-r--------", L"root"),
    };
    // Enough entries that the store spans many blocks, some told apart only past their
    // first dozen characters, in either case.
    for (int index = 0; index < 20000; ++index) {
        const std::wstring name = (index % 4 == 0   ? L"Shared-Beginning-"
                                   : index % 4 == 1 ? L"sHARED-bEGINNING-"
                                                    : L"f") +
                                  std::to_wstring(index);
        added.push_back(entry(name, name, index % 3 == 0, false, static_cast<std::uint64_t>(index),
                              index % 2 == 0 ? L"-rw-r--r--" : L"-rwxr-xr-x", L"owner" + std::to_wstring(index % 5)));
    }
    const auto fields = [](const RemoteEntry& e) {
        return std::make_tuple(e.isDirectory, e.isLink, e.size, e.time.dwLowDateTime, e.time.dwHighDateTime,
                               e.directory, e.name, e.displayName, e.attributes, e.owner);
    };

    RemoteEntryList list(added);
    ASSERT_EQ(list.size(), added.size());
    for (std::size_t index = 0; index < added.size(); ++index) {
        ASSERT_EQ(fields(list[index]), fields(added[index])) << index;
        ASSERT_EQ(list.NameAt(index), added[index].name) << index;
        ASSERT_EQ(list.DisplayNameAt(index), added[index].displayName) << index;
        ASSERT_EQ(list.IsDirectoryAt(index), added[index].isDirectory != 0) << index;
    }

    list.Sort();
    std::sort(added.begin(), added.end(), RemoteEntryLess);
    for (std::size_t index = 0; index < added.size(); ++index)
        ASSERT_EQ(fields(list[index]), fields(added[index])) << index;
    list.clear();
    EXPECT_THAT(list, IsEmpty());
}
