// Logon, PWD and QUIT against real servers on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "support/RealServers.h"
#include "support/Text.h"

using namespace nsFTP;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

constexpr int kTimeout = 10;

using testsupport::Wide;

class RealServerLogonTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(GetParam(), &why);
        if (!server) GTEST_SKIP() << testsupport::ServerName(GetParam()) << " is not available here: " << why;
    }
    LogonSettings Settings(const std::string& user, const std::string& password) const
    {
        LogonSettings settings;
        settings.host = L"127.0.0.1";
        settings.port = server->Info().port;
        settings.user = Wide(user);
        settings.password = Wide(password);
        return settings;
    }

    TestReporter reporter;
    std::unique_ptr<RealServer> server;
};

} // namespace

TEST_P(RealServerLogonTest, UserLogsOnLearnsTheDirectoryAndQuits)
{
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Settings(server->Info().user, server->Info().password), kTimeout));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_EQ(client.CurrentDirectory(), Wide(server->Info().loginDirectory));
    std::wstring path;
    EXPECT_EQ(client.GetCurrentDir(path), REPLY_OK);
    EXPECT_EQ(path, client.CurrentDirectory());
    // The greeting and every logon reply went to the status line.
    const auto statuses = reporter.Statuses();
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses.front().substr(0, 5), L"0:220");
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(RealServerLogonTest, AnonymousLogon)
{
    if (!server->Info().anonymous) GTEST_SKIP() << "anonymous logon is off on this server";
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Settings("anonymous", "guest@example.com"), kTimeout));
    EXPECT_FALSE(client.CurrentDirectory().empty());
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(RealServerLogonTest, WrongPasswordShowsTheServersReply)
{
    CFTPClient client(new nsSocket::CBlockingSocket);
    EXPECT_FALSE(client.LogOn(Settings(server->Info().user, "not-the-password"), kTimeout));
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].substr(0, 3), L"530");
    EXPECT_TRUE(client.CurrentDirectory().empty());
    client.LogOff();
}

#ifndef _WIN32
TEST_P(RealServerLogonTest, PwdWithASpaceInThePathIsTakenWhole)
{
    std::string why;
    auto spaced = RealServer::Start(GetParam(), &why, "my home dir");
    ASSERT_NE(spaced, nullptr) << why;
    CFTPClient client(new nsSocket::CBlockingSocket);
    LogonSettings settings = Settings(spaced->Info().user, spaced->Info().password);
    settings.port = spaced->Info().port;
    ASSERT_TRUE(client.LogOn(settings, kTimeout));
    EXPECT_EQ(client.CurrentDirectory(), Wide(spaced->Info().loginDirectory));
    EXPECT_NE(client.CurrentDirectory().find(L"/my home dir"), std::wstring::npos);
    client.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
#endif

INSTANTIATE_TEST_SUITE_P(Servers, RealServerLogonTest, ::testing::ValuesIn(testsupport::kAllServerKinds),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(info.param);
                             std::erase(name, '-');
                             return name;
                         });
