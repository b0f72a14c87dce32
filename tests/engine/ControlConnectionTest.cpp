// The control connection and logon, pinned down against a server that plays exact replies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "support/ScriptedServer.h"

using namespace nsFTP;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

// Far more than a scripted reply ever takes; the tests that wait one out pass their own.
constexpr int kTimeout = 10;
constexpr char kGreeting[] = "220 Scripted server ready\r\n";
constexpr char kPwdReply[] = "257 \"/home/joe\" is the current directory\r\n";

class ControlConnectionTest : public ::testing::Test {
protected:
    LogonSettings Direct(const wchar_t* user = L"joe")
    {
        LogonSettings s;
        s.host = L"127.0.0.1";
        s.port = server.Port();
        s.user = user;
        s.password = L"pw";
        s.account = L"acc";
        return s;
    }
    LogonSettings ThroughFirewall(FirewallMode mode, std::uint16_t targetPort = 2121)
    {
        LogonSettings s = Direct();
        s.host = L"myhost";
        s.port = targetPort;
        s.firewallHost = L"127.0.0.1";
        s.firewallPort = server.Port();
        s.firewallUser = L"fw";
        s.firewallPassword = L"fwpw";
        s.firewallMode = mode;
        return s;
    }
    // A logged-on connection for tests of the line protocol.
    void LogOnPlainly()
    {
        server.Reply(kGreeting)
            .On("USER anonymous", "230 Welcome\r\n")
            .On("FEAT", "502 Command not supported\r\n")
            .On("PWD", kPwdReply);
    }
    std::vector<std::string> Played()
    {
        testsupport::ExpectScriptPlayed(server);
        return server.Commands();
    }

    TestReporter reporter;
    ScriptedServer server;
    CFTPClient client{new nsSocket::CBlockingSocket};
};

struct LogonCase {
    const char* name;
    FirewallMode mode;
    std::vector<std::pair<std::string, std::string>> exchange; // command, reply
    bool loggedOn;
    const wchar_t* error; // the error box, or nullptr for none
};

class LogonWalkTest : public ControlConnectionTest, public ::testing::WithParamInterface<LogonCase> {};

} // namespace

TEST_P(LogonWalkTest, SendsTheModesSequence)
{
    const LogonCase& c = GetParam();
    server.Reply(kGreeting);
    std::vector<std::string> expected;
    for (const auto& [command, reply] : c.exchange) {
        server.On(command, reply);
        expected.push_back(command);
    }
    if (c.loggedOn) {
        server.On("FEAT", "502 Command not supported\r\n").On("PWD", kPwdReply);
        expected.insert(expected.end(), {"FEAT", "PWD"});
    }
    server.Close();
    server.Start();

    const LogonSettings settings = c.mode == FIREWALL_NONE ? Direct() : ThroughFirewall(c.mode);
    EXPECT_EQ(client.LogOn(settings, kTimeout), c.loggedOn);
    EXPECT_EQ(Played(), expected);
    if (c.error) {
        EXPECT_THAT(reporter.Errors(), ElementsAre(c.error));
    } else {
        EXPECT_THAT(reporter.Errors(), IsEmpty());
    }
    if (c.loggedOn) {
        EXPECT_EQ(client.CurrentDirectory(), L"/home/joe");
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(AllModes, LogonWalkTest, ::testing::Values(
    LogonCase{"Mode0UserAlone", FIREWALL_NONE, {{"USER joe", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode0UserPassAcct", FIREWALL_NONE,
              {{"USER joe", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode0AcctAnswered3xxFails", FIREWALL_NONE,
              {{"USER joe", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "332 again\r\n"}}, false,
              L"Logon failed."},
    LogonCase{"Mode0WrongPassword", FIREWALL_NONE,
              {{"USER joe", "331 pw?\r\n"}, {"PASS pw", "530 Login incorrect.\r\n"}}, false, L"530 Login incorrect."},
    LogonCase{"Mode0Greeting1xxToUser", FIREWALL_NONE, {{"USER joe", "120 later\r\n"}}, false, L"120 later"},
    LogonCase{"Mode1Full", FIREWALL_SITE_HOSTNAME,
              {{"USER fw", "331 fw pw?\r\n"}, {"PASS fwpw", "230 fw ok\r\n"}, {"SITE myhost:2121", "331 go on\r\n"},
               {"USER joe", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode1FirewallUser2xxSkipsItsPassword", FIREWALL_SITE_HOSTNAME,
              {{"USER fw", "230 fw ok\r\n"}, {"SITE myhost:2121", "331 go on\r\n"}, {"USER joe", "230 in\r\n"}}, true,
              nullptr},
    LogonCase{"Mode1Site2xxFails", FIREWALL_SITE_HOSTNAME,
              {{"USER fw", "230 fw ok\r\n"}, {"SITE myhost:2121", "200 done\r\n"}}, false, L"Logon failed."},
    LogonCase{"Mode1FirewallPassword3xxFails", FIREWALL_SITE_HOSTNAME,
              {{"USER fw", "331 fw pw?\r\n"}, {"PASS fwpw", "332 what\r\n"}}, false, L"Logon failed."},
    LogonCase{"Mode2", FIREWALL_USER_AFTER_LOGON,
              {{"USER fw", "331 fw pw?\r\n"}, {"PASS fwpw", "230 fw ok\r\n"}, {"USER joe@myhost:2121", "331 pw?\r\n"},
               {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode2UserAtTarget2xx", FIREWALL_USER_AFTER_LOGON,
              {{"USER fw", "230 fw ok\r\n"}, {"USER joe@myhost:2121", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode2AcctAnswered3xxFails", FIREWALL_USER_AFTER_LOGON,
              {{"USER fw", "230 fw ok\r\n"}, {"USER joe@myhost:2121", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"},
               {"ACCT acc", "331 again\r\n"}}, false, L"Logon failed."},
    LogonCase{"Mode3Open2xx", FIREWALL_PROXY_OPEN,
              {{"OPEN myhost:2121", "220 connected\r\n"}, {"USER joe", "331 pw?\r\n"}, {"PASS pw", "230 in\r\n"}}, true,
              nullptr},
    LogonCase{"Mode3Open3xxAcct", FIREWALL_PROXY_OPEN,
              {{"OPEN myhost:2121", "331 connected\r\n"}, {"USER joe", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"},
               {"ACCT acc", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode3OpenRefused", FIREWALL_PROXY_OPEN, {{"OPEN myhost:2121", "500 no\r\n"}}, false, L"500 no"},
    LogonCase{"Mode4", FIREWALL_TRANSPARENT,
              {{"USER fw", "331 fw pw?\r\n"}, {"PASS fwpw", "230 fw ok\r\n"}, {"USER joe", "331 pw?\r\n"},
               {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode4FirewallPassword3xxFails", FIREWALL_TRANSPARENT,
              {{"USER fw", "331 fw pw?\r\n"}, {"PASS fwpw", "331 what\r\n"}}, false, L"Logon failed."},
    LogonCase{"Mode5", FIREWALL_USER_NO_LOGON,
              {{"USER joe@myhost:2121", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}}, true,
              nullptr},
    LogonCase{"Mode5UserAtTarget2xx", FIREWALL_USER_NO_LOGON, {{"USER joe@myhost:2121", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode6", FIREWALL_USER_FIREID_AT_HOST,
              {{"USER fw@myhost:2121", "331 fw pw?\r\n"}, {"PASS fwpw", "230 fw ok\r\n"}, {"USER joe", "331 pw?\r\n"},
               {"PASS pw", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode6FirewallUser2xx", FIREWALL_USER_FIREID_AT_HOST,
              {{"USER fw@myhost:2121", "230 fw ok\r\n"}, {"USER joe", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode7", FIREWALL_USER_REMOTEID_AT_HOST_FIREID,
              {{"USER joe@myhost:2121 fw", "331 pw?\r\n"}, {"PASS pw", "332 acct?\r\n"}, {"ACCT acc", "230 in\r\n"}},
              true, nullptr},
    LogonCase{"Mode7User2xxFails", FIREWALL_USER_REMOTEID_AT_HOST_FIREID,
              {{"USER joe@myhost:2121 fw", "230 in\r\n"}}, false, L"Logon failed."},
    LogonCase{"Mode8", FIREWALL_USER_REMOTEID_AT_FIREID_AT_HOST,
              {{"USER joe@fw@myhost:2121", "331 pw?\r\n"}, {"PASS pw@fwpw", "230 in\r\n"}}, true, nullptr},
    LogonCase{"Mode8AcctAnswered3xxFails", FIREWALL_USER_REMOTEID_AT_FIREID_AT_HOST,
              {{"USER joe@fw@myhost:2121", "331 pw?\r\n"}, {"PASS pw@fwpw", "332 acct?\r\n"},
               {"ACCT acc", "331 no\r\n"}}, false, L"Logon failed."}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ControlConnectionTest, TargetOnPort21IsTheBareHost)
{
    server.Reply(kGreeting)
        .On("USER joe@myhost", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", kPwdReply)
        .Close();
    server.Start();
    EXPECT_TRUE(client.LogOn(ThroughFirewall(FIREWALL_USER_NO_LOGON, 21), kTimeout));
    Played();
}

TEST_F(ControlConnectionTest, UnknownFirewallModeFailsWithoutConnecting)
{
    server.Start();
    LogonSettings settings = ThroughFirewall(static_cast<FirewallMode>(9));
    EXPECT_FALSE(client.LogOn(settings, kTimeout));
    settings.firewallMode = static_cast<FirewallMode>(-1);
    EXPECT_FALSE(client.LogOn(settings, kTimeout));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"Logon failed.", L"Logon failed."));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THAT(server.Commands(), IsEmpty());
}

TEST_F(ControlConnectionTest, GreetingCodesAreCheckedStrictly)
{
    // 099 and 260 carry no valid code, so the greeting read fails and is shown.
    server.Reply("099 odd\r\n").AcceptNext().Reply("260 odd\r\n").AcceptNext().Reply("421 busy\r\n").AcceptNext();
    server.Reply("220\r\n")
        .On("USER joe", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", kPwdReply)
        .Close();
    server.Start();
    EXPECT_FALSE(client.LogOn(Direct(), kTimeout));
    EXPECT_FALSE(client.LogOn(Direct(), kTimeout));
    EXPECT_FALSE(client.LogOn(Direct(), kTimeout));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"099 odd", L"260 odd", L"421 busy"));
    reporter.Clear();
    // Each new logon first says QUIT on the old connection; nobody answers, so it is closed quietly.
    EXPECT_TRUE(client.LogOn(Direct(), kTimeout));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_F(ControlConnectionTest, MultiLineReplyEndsOnlyAtItsOwnCodeAndSpace)
{
    LogOnPlainly();
    server.On("STAT", "230-Welcome\r\n230-still inside\r\n231 not the end\r\n 230 indented\r\n230 done\r\n");
    server.Close();
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    ServerReply reply;
    ASSERT_TRUE(client.SendCommand(L"STAT", true));
    ASSERT_TRUE(client.ReadReply(reply, true));
    EXPECT_EQ(reply.text, L"230-Welcome\r\n230-still inside\r\n231 not the end\r\n 230 indented\r\n230 done");
    EXPECT_EQ(reply.Code(), L"230");
    EXPECT_EQ(reporter.Statuses().back(), L"0:" + reply.text);
    Played();
}

TEST_F(ControlConnectionTest, ALineSplitAtAnyByteIsReadWhole)
{
    const std::string greeting = "220-Hello\r\n220 there\r\n";
    for (std::size_t cut = 1; cut < greeting.size(); ++cut) {
        TestReporter cutReporter;
        ScriptedServer split;
        // Apart long enough that a busy machine still delivers the two parts separately.
        split.SegmentPause(std::chrono::milliseconds(50));
        split.ReplySplit(greeting, {cut})
            .On("USER joe", "230 in\r\n")
            .On("FEAT", "502 Command not supported\r\n")
            .On("PWD", kPwdReply)
            .Close();
        split.Start();
        CFTPClient splitClient(new nsSocket::CBlockingSocket);
        LogonSettings settings = Direct();
        settings.port = split.Port();
        EXPECT_TRUE(splitClient.LogOn(settings, kTimeout)) << "cut at " << cut;
        EXPECT_THAT(cutReporter.Errors(), IsEmpty()) << "cut at " << cut;
        const auto statuses = cutReporter.Statuses();
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.front(), L"0:220-Hello\r\n220 there") << "cut at " << cut;
        testsupport::ExpectScriptPlayed(split);
    }
}

TEST_F(ControlConnectionTest, TwoRepliesInOneSegmentNeedOneNetworkRead)
{
    LogOnPlainly();
    server.On("STAT", "211 first\r\n200 second\r\n").Close();
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    ServerReply first, second;
    ASSERT_TRUE(client.SendCommand(L"STAT", true));
    ASSERT_TRUE(client.ReadReply(first, true));
    const int activity = reporter.Activity();
    ASSERT_TRUE(client.ReadReply(second, true));
    EXPECT_EQ(reporter.Activity(), activity); // every receive reports activity: none happened
    EXPECT_EQ(first.text, L"211 first");
    EXPECT_EQ(second.text, L"200 second");
    Played();
}

TEST_F(ControlConnectionTest, LongRepliesAndBareLineFeeds)
{
    const std::string longLine = "250 " + std::string(5000, 'x');
    std::string multi = "214-Help follows\r\n";
    for (int i = 0; i < 200; ++i)
        multi += " line " + std::to_string(i) + " of the help text\r\n";
    multi += "214 End\r\n";
    LogOnPlainly();
    server.On("STAT", longLine + "\r\n").On("HELP", multi).On("NOOP", "200 bare\n").Close();
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));

    ServerReply reply;
    ASSERT_TRUE(client.SendCommand(L"STAT", true) && client.ReadReply(reply, true));
    EXPECT_EQ(reply.text, std::wstring(longLine.begin(), longLine.end()));
    ASSERT_TRUE(client.SendCommand(L"HELP", true) && client.ReadReply(reply, true));
    const std::string joined = multi.substr(0, multi.size() - 2);
    EXPECT_EQ(reply.text, std::wstring(joined.begin(), joined.end()));
    ASSERT_TRUE(client.SendCommand(L"NOOP", true) && client.ReadReply(reply, true));
    EXPECT_EQ(reply.text, L"200 bare\n"); // a bare LF stays part of the text
    EXPECT_EQ(reply.Result(), REPLY_OK);
    Played();
}

TEST_F(ControlConnectionTest, ServerClosingMidReplyShowsNothing)
{
    server.Reply("220-Part of a greeting\r\n").Close();
    server.Start();
    EXPECT_FALSE(client.LogOn(Direct(), kTimeout));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_FALSE(client.IsConnected()); // nothing more can come on a closed connection
    Played();
}

TEST_F(ControlConnectionTest, SilentServerTimesOutWithTheSocketText)
{
    server.Silent();
    server.Start();
    EXPECT_FALSE(client.LogOn(Direct(), 1));
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 1u);
    // The reply's own clock may run out first when the receive starts late: one error either way.
    EXPECT_THAT(errors[0],
                ::testing::AnyOf(::testing::StartsWith(L"Unable to receive data (receive timeout).\n\nError code: "),
                                 ::testing::Eq(REPLY_TIMEOUT_TEXT)));
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ControlConnectionTest, RefusedConnectionShowsTheSocketText)
{
    const std::uint16_t port = server.Port();
    {
        ScriptedServer gone; // keeps nothing listening on the port below
    }
    LogonSettings settings = Direct();
    settings.port = port;
    server.~ScriptedServer();
    new (&server) ScriptedServer(); // a fresh one on another port; the old port is now closed
    EXPECT_FALSE(client.LogOn(settings, kTimeout));
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(L"Cannot establish a connection to the server.\n\nError code: ", 0), 0u);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ControlConnectionTest, LogOffReportsTheQuitReply)
{
    LogOnPlainly();
    server.On("QUIT", "221 Goodbye\r\n").AcceptNext();
    LogOnPlainly();
    server.On("QUIT", "530 Not so fast\r\n");
    server.Start();

    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THAT(reporter.Errors(), IsEmpty());

    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    EXPECT_EQ(client.LogOff(), REPLY_REFUSED);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"530 Not so fast"));
    Played();

    reporter.Clear();
    EXPECT_EQ(client.LogOff(), REPLY_OTHER); // not connected: nothing sent, nothing shown
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_EQ(reporter.Activity(), 0);
}

TEST_F(ControlConnectionTest, QuitAnsweredWithGarbageStillDisconnects)
{
    LogOnPlainly();
    server.On("QUIT", "xyz\r\n");
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    EXPECT_EQ(client.LogOff(), REPLY_OTHER);
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"xyz"));
    EXPECT_FALSE(client.IsConnected());
    Played();
}

TEST_F(ControlConnectionTest, LogOnWhileConnectedQuitsTheOldConnectionFirst)
{
    LogOnPlainly();
    server.On("QUIT", "221 Goodbye\r\n").AcceptNext();
    server.Reply(kGreeting)
        .On("USER joe", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/my \"\"quoted\"\" dir\" here\r\n")
        .Close();
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(L"anonymous"), kTimeout));
    EXPECT_EQ(client.CurrentDirectory(), L"/home/joe");
    ASSERT_TRUE(client.LogOn(Direct(), kTimeout));
    EXPECT_EQ(client.CurrentDirectory(), L"/my \"quoted\" dir");
    EXPECT_THAT(Played(), ElementsAre("USER anonymous", "FEAT", "PWD", "QUIT", "USER joe", "FEAT", "PWD"));
}

TEST_F(ControlConnectionTest, CurrentDirectoryComesFromTheCacheOrA2xxReply)
{
    server.Reply(kGreeting)
        .On("USER joe", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 /home/joe is it\r\n");
    server.On("QUIT", "221 Goodbye\r\n").AcceptNext();
    server.Reply(kGreeting)
        .On("USER joe", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "550 Permission denied\r\n")
        .Close();
    server.Start();
    ASSERT_TRUE(client.LogOn(Direct(), kTimeout));
    std::wstring path;
    EXPECT_EQ(client.GetCurrentDir(path), REPLY_OK);
    EXPECT_EQ(client.GetCurrentDir(path), REPLY_OK);
    EXPECT_EQ(path, L"/home/joe"); // asked once, at logon

    // A refused PWD fails the logon and leaves no word of its message as the directory.
    EXPECT_FALSE(client.LogOn(Direct(), kTimeout));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 Permission denied"));
    EXPECT_EQ(client.CurrentDirectory(), L"");
    EXPECT_THAT(Played(), ElementsAre("USER joe", "FEAT", "PWD", "QUIT", "USER joe", "FEAT", "PWD"));
}

TEST(ServerFeaturesTest, ParsesTheFeatReply)
{
    const ServerFeatures features = ServerFeatures::Parse(L"211-Extensions supported:\r\n"
                                                          L" mlst type*;size*;modify*;\r\n"
                                                          L" HASH SHA-256*;MD5\r\n"
                                                          L" UTF8\r\n"
                                                          L"not a feature: no leading space\r\n"
                                                          L" REST STREAM\r\n"
                                                          L"211 End");
    EXPECT_TRUE(features.Has(L"MLST"));
    EXPECT_TRUE(features.Has(L"utf8"));
    EXPECT_EQ(features.Parameters(L"Mlst"), L"type*;size*;modify*;");
    EXPECT_EQ(features.Parameters(L"HASH"), L"SHA-256*;MD5");
    EXPECT_EQ(features.Parameters(L"REST"), L"STREAM");
    EXPECT_FALSE(features.Has(L"not"));
    EXPECT_FALSE(features.Has(L"MLSD"));
    // Only a 211 lists features.
    EXPECT_TRUE(ServerFeatures::Parse(L"500-huh\r\n UTF8\r\n500 end").Empty());
    EXPECT_TRUE(ServerFeatures::Parse(L"211 No features").Empty());
}

struct FeatCase {
    const char* name;
    const char* featReply; // nullptr: the server closes the connection instead of answering
    std::uint32_t codePage;
    std::vector<std::string> commands; // after USER joe and FEAT
    bool loggedOn;
};

// FEAT follows the logon; OPTS UTF8 ON follows a FEAT that lists UTF8, unless the site
// names a code page of its own, and always follows when the site asks for UTF-8; a refused
// FEAT is no reason to fail.
TEST_F(ControlConnectionTest, FeatAfterTheLogonAndUtf8WhenOffered)
{
    const FeatCase cases[] = {
        {"utf8", "211-Features:\r\n UTF8\r\n211 End\r\n", 0, {"OPTS UTF8 ON", "PWD"}, true},
        {"utf8 asked for", "211-Features:\r\n UTF8\r\n211 End\r\n", CODE_PAGE_UTF8, {"OPTS UTF8 ON", "PWD"}, true},
        {"code page", "211-Features:\r\n UTF8\r\n211 End\r\n", 1252, {"PWD"}, true},
        {"no utf8", "211-Features:\r\n MDTM\r\n211 End\r\n", 0, {"PWD"}, true},
        {"utf8 asked for, not listed",
         "211-Features:\r\n MDTM\r\n211 End\r\n",
         CODE_PAGE_UTF8,
         {"OPTS UTF8 ON", "PWD"},
         true},
        {"utf8 asked for, FEAT refused", "502 no\r\n", CODE_PAGE_UTF8, {"OPTS UTF8 ON", "PWD"}, true},
        {"refused", "500 FEAT not understood\r\n", 0, {"PWD"}, true},
        {"garbage", "hello\r\n", 0, {"PWD"}, true},
        {"closed", nullptr, 0, {}, false},
    };
    for (const FeatCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestReporter reporter;
        ScriptedServer script;
        script.Reply(kGreeting).On("USER joe", "230 in\r\n");
        if (c.featReply == nullptr) {
            script.Expect("FEAT").Close();
        } else {
            script.On("FEAT", c.featReply);
            for (const std::string& command : c.commands)
                script.On(command, command == "PWD" ? kPwdReply : "200 OK\r\n");
            script.Close();
        }
        script.Start();
        CFTPClient connection(new nsSocket::CBlockingSocket);
        LogonSettings settings;
        settings.host = L"127.0.0.1";
        settings.port = script.Port();
        settings.user = L"joe";
        settings.codePage = c.codePage;
        EXPECT_EQ(connection.LogOn(settings, kTimeout), c.loggedOn);
        testsupport::ExpectScriptPlayed(script);
        std::vector<std::string> expected{"USER joe", "FEAT"};
        expected.insert(expected.end(), c.commands.begin(), c.commands.end());
        EXPECT_EQ(script.Commands(), expected);
        EXPECT_EQ(connection.Features().Has(L"UTF8"),
                  c.loggedOn && std::string(c.featReply).find("UTF8") != std::string::npos);
        if (c.loggedOn) {
            EXPECT_THAT(reporter.Errors(), IsEmpty());
        }
    }
}
