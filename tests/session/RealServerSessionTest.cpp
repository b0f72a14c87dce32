// Sites connected to real servers through OpenSite and GoToStartDirectory, each test in a
// directory of its own below the server's root.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "session/ConnectionSession.h"
#include "support/RealServers.h"
#include "support/Text.h"

using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

using testsupport::Wide;

class RealServerSessionTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(GetParam(), &why);
        if (!server) GTEST_SKIP() << testsupport::ServerName(GetParam()) << " is not available here: " << why;
        testDirectory = std::string("session-") + testsupport::ServerName(GetParam()) + "-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : testDirectory)
            if (c == '/') c = '-';
    }

    SiteRecord Site(bool anonymous, const std::wstring& startDirectory) const
    {
        SiteRecord site = RealServerSite(*server, L"Real");
        site.anonymous = anonymous ? 1 : 0;
        SetText(site.directory, startDirectory);
        return site;
    }

    // OpenSite and GoToStartDirectory as the Site Manager calls them; the directory reached.
    std::wstring Connect(const SiteRecord& site)
    {
        if (!OpenSite(session, site)) return L"<logon failed>";
        GoToStartDirectory(session, GetText(site.directory));
        return session.CurrentDirectory();
    }

    TestReporter reporter;
    std::unique_ptr<RealServer> server;
    std::string testDirectory;
    ConnectionSession session;
};

} // namespace

TEST_P(RealServerSessionTest, UserSiteReachesItsStartDirectoryRelativeToHome)
{
    server->MakeDirectory(testDirectory + "/www");
    const std::wstring home = Wide(server->Info().loginDirectory);
    const std::wstring www = (home.back() == L'/' ? home : home + L"/") + Wide(testDirectory) + L"/www";

    EXPECT_EQ(Connect(Site(false, Wide(testDirectory) + L"/www")), www);
    EXPECT_EQ(session.homeDirectory, home);
    session.LogOff();
    // The home directory's own path in front of the start directory changes nothing.
    std::wstring backslashed = www;
    std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
    EXPECT_EQ(Connect(Site(false, L" " + backslashed + L" ")), www);
    session.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());

    EXPECT_EQ(Connect(Site(false, Wide(testDirectory) + L"/missing")), home);
    EXPECT_EQ(reporter.Errors().size(), 1u); // only the server's refusal of the CWD
    session.LogOff();
    EXPECT_FALSE(session.IsConnected());
}

TEST_P(RealServerSessionTest, AnonymousSiteLogsOnAndFallsBackToHome)
{
    if (!server->Info().anonymous) GTEST_SKIP() << "anonymous logon is off on this server";
    const std::wstring reached = Connect(Site(true, L"/" + Wide(testDirectory) + L"-absent"));
    ASSERT_TRUE(session.IsConnected());
    EXPECT_FALSE(session.homeDirectory.empty());
    EXPECT_EQ(reached, session.homeDirectory);
    EXPECT_EQ(session.currentSite.anonymous, 1u);
    session.LogOff();
}

TEST_P(RealServerSessionTest, RefreshListsTheStartDirectorySorted)
{
    server->WriteFile(testDirectory + "/b.txt", "bb");
    server->WriteFile(testDirectory + "/A.txt", "a");
    server->MakeDirectory(testDirectory + "/zdir");
    ASSERT_NE(Connect(Site(false, Wide(testDirectory))), L"<logon failed>");
    ASSERT_TRUE(session.RefreshRemote());
    std::vector<std::wstring> names;
    for (const RemoteEntry& entry : session.entries)
        names.push_back(entry.name);
    EXPECT_THAT(names, ::testing::ElementsAre(L"zdir", L"A.txt", L"b.txt"));
    EXPECT_EQ(session.entries[2].size, 2u);
    session.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(RealServerSessionTest, RefreshListsADirectoryWithBlanksOrALeadingDash)
{
    // Some servers split LIST's argument at blanks or read "-..." as options; the pane must
    // still show what is there, with each entry's directory the full path.
    for (const std::string sub : {"with two  blanks", "-rf"}) {
        server->WriteFile(testDirectory + "/" + sub + "/inside.txt", "x");
        ASSERT_NE(Connect(Site(false, Wide(testDirectory))), L"<logon failed>");
        const std::wstring directory = session.CurrentDirectory() + L"/" + Wide(sub);
        ASSERT_TRUE(session.ChangeDirectory(directory));
        ASSERT_TRUE(session.RefreshRemote()) << sub;
        ASSERT_EQ(session.entries.size(), 1u) << sub;
        EXPECT_EQ(session.entries[0].name, L"inside.txt");
        EXPECT_EQ(session.entries[0].directory, directory);
        session.LogOff();
    }
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerSessionTest,
                         ::testing::Values(ServerKind::Vsftpd, ServerKind::PureFtpd, ServerKind::Proftpd),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(info.param);
                             std::erase(name, '-');
                             return name;
                         });
