// Servers that try to hold the client for ever, flood it, or slip another host's data in:
// each attempt ends within the timeout and a few seconds, with a clear message, and the
// client works again afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "NamedAddressesSocket.h"
#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "support/ScriptedServer.h"
#include "support/TestSocket.h"
#include "support/Wait.h"

using namespace nsFTP;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

// The attacks run against a short timeout; well-behaved replies get a long one, so that a
// loaded machine never makes them late.
constexpr int kTimeout = 1;
constexpr int kPatientTimeout = 10;
// The floods must end at the size caps, never at the timeout: theirs is long enough for a
// loaded machine (under Wine a 100 MB send can take seconds to start), and still ends a hang.
constexpr int kFloodTimeout = 60;
// Far below every attack's own length, yet only a hang exceeds it on a loaded machine.
constexpr auto kGrace = std::chrono::seconds(8);
constexpr auto kTrickle = std::chrono::milliseconds(300);
constexpr char kGreeting[] = "220 ready\r\n";
constexpr std::uint32_t kIntruderAddress = 0x7F000002; // 127.0.0.2

LogonSettings Anonymous(const ScriptedServer& server)
{
    LogonSettings settings;
    settings.host = L"127.0.0.1";
    settings.port = server.Port();
    return settings;
}

std::vector<std::size_t> EveryByte(std::size_t size)
{
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < size; ++i)
        cuts.push_back(i);
    return cuts;
}

std::string Repeated(const std::string& line, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += line;
    return text;
}

// The client logs on to a well-behaved server afterwards: nothing of the attack stayed.
void ExpectAFreshLogonWorks(CFTPClient& client)
{
    ScriptedServer next;
    next.Reply(kGreeting)
        .On("USER anonymous", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/\"\r\n")
        .On("QUIT", "221 bye\r\n");
    next.Start();
    EXPECT_TRUE(client.LogOn(Anonymous(next), kPatientTimeout));
    EXPECT_FALSE(client.IsTransferInProgress());
    client.LogOff();
}

struct ReplyAttack {
    const char* name;
    std::function<void(ScriptedServer&)> script;
    const wchar_t* error;
    // The trickles must be cut by the timeout; the floods by the size caps alone.
    int timeout = kTimeout;
};

class ReplyAttackTest : public ::testing::TestWithParam<ReplyAttack> {};

} // namespace

TEST_P(ReplyAttackTest, EndsInTimeWithAClearMessageAndAClosedConnection)
{
    TestReporter reporter;
    ScriptedServer server;
    server.SegmentPause(kTrickle);
    GetParam().script(server);
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);

    const auto start = Clock::now();
    EXPECT_FALSE(client.LogOn(Anonymous(server), GetParam().timeout));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(GetParam().timeout) + kGrace);
    EXPECT_FALSE(client.IsConnected());
    ASSERT_EQ(reporter.Errors().size(), 1u);
    // A server thread stalled between two bytes for a whole timeout shows as the socket's
    // own timeout: the same end.
    const std::wstring alsoRight = GetParam().error == std::wstring(REPLY_TIMEOUT_TEXT)
                                       ? L"Unable to receive data (receive timeout)."
                                       : GetParam().error;
    EXPECT_THAT(reporter.Errors()[0], AnyOf(StartsWith(GetParam().error), StartsWith(alsoRight)));
    ExpectAFreshLogonWorks(client);
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, ReplyAttackTest,
    ::testing::Values(
        ReplyAttack{"TrickledGreeting",
                    [](ScriptedServer& s) {
                        const std::string greeting = "220 " + std::string(40, 'g') + "\r\n";
                        s.ReplySplit(greeting, EveryByte(greeting.size()));
                    },
                    REPLY_TIMEOUT_TEXT},
        ReplyAttack{"TrickledReply",
                    [](ScriptedServer& s) {
                        const std::string reply = "230 " + std::string(40, 'r') + "\r\n";
                        s.Reply(kGreeting).Expect("USER anonymous").ReplySplit(reply, EveryByte(reply.size()));
                    },
                    REPLY_TIMEOUT_TEXT},
        ReplyAttack{"TrickledContinuationLines",
                    [](ScriptedServer& s) {
                        const std::string lines = Repeated("230-more\r\n", 40);
                        std::vector<std::size_t> cuts;
                        for (std::size_t at = 10; at < lines.size(); at += 10)
                            cuts.push_back(at);
                        s.Reply(kGreeting).Expect("USER anonymous").ReplySplit(lines, cuts);
                    },
                    REPLY_TIMEOUT_TEXT},
        ReplyAttack{
            "EndlessContinuationLines",
            [](ScriptedServer& s) {
                s.Reply(kGreeting).Expect("USER anonymous").Reply(Repeated("230-more\r\n", MAX_REPLY_LINES + 10));
            },
            REPLY_TOO_LONG_TEXT, kFloodTimeout},
        ReplyAttack{"HundredMegabyteLine",
                    [](ScriptedServer& s) { s.Reply("220 " + std::string(100 * 1024 * 1024, 'x')); },
                    REPLY_TOO_LONG_TEXT, kFloodTimeout}),
    [](const ::testing::TestParamInfo<ReplyAttack>& info) { return std::string(info.param.name); });

TEST(HostileServer, ANulInAReplyHidesNothingAfterIt)
{
    TestReporter reporter;
    ScriptedServer server;
    const char reply[] = "220 before\0after\r\n230 early\r\n";
    server.Reply(std::string(reply, sizeof reply - 1))
        .Expect("USER anonymous")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/nul\"\r\n")
        .On("QUIT", "221 bye\r\n");
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Anonymous(server), kPatientTimeout));
    EXPECT_EQ(client.CurrentDirectory(), L"/nul");
    client.LogOff();
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
}

class HostileDataTest : public ::testing::Test {
protected:
    HostileDataTest()
    {
        server.Reply(kGreeting)
            .On("USER anonymous", "230 in\r\n")
            .On("FEAT", "502 Command not supported\r\n")
            .On("PWD", "257 \"/\"\r\n");
    }
    void LogOn(int timeout = kPatientTimeout)
    {
        server.Start();
        ASSERT_TRUE(client.LogOn(Anonymous(server), timeout));
        reporter.Clear();
    }
    TestReporter reporter;
    ScriptedServer server;
    CFTPClient client{new nsSocket::CBlockingSocket};
};

TEST_F(HostileDataTest, AListingThatTricklesForEverIsStoppedAndTheConnectionGoesOn)
{
    server.ExpectPasv().On("LIST", "150 here it comes\r\n");
    server.DataTrickle(Repeated("-rw-r--r-- 1 u g 1 Jan  5  2020 f\r\n", 100), kTrickle);
    server.On("ABOR", "426 Transfer aborted\r\n226 Abort successful\r\n").On("CWD /", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    // Short, so that the listing is cut soon; long enough for ABOR's reply after the trickle's
    // next byte.
    LogOn(2);
    std::vector<FileStatusPtr> entries;
    const auto start = Clock::now();
    EXPECT_FALSE(client.ListFiles(L"", entries, true));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2) + kGrace);
    ASSERT_FALSE(reporter.Errors().empty());
    EXPECT_EQ(reporter.Errors()[0], LISTING_TOO_SLOW_TEXT);
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
}

TEST_F(HostileDataTest, ActiveModeTurnsAwayAnotherHostThatConnectsFirst)
{
    std::atomic<bool> turnedAway{false};
    server.On("TYPE I", "200 binary\r\n").ExpectPort().On("RETR x", "150 ok\r\n");
    // The server connects only after the client has dealt with the intruder.
    server.WaitUntil("the intruder turned away", [&] { return turnedAway.load(); });
    server.DataSend("the server's bytes").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    LogOn(30);
    // Whoever watches the network sees EPRT and races the server to the port.
    std::string intruderFailure = "the intruder never saw EPRT";
    std::thread intruder([&] {
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < until) {
            for (const std::string& command : server.Commands()) {
                unsigned port = 0;
                if (std::sscanf(command.c_str(), "EPRT |1|127.0.0.1|%u|", &port) != 1) continue;
                testsupport::Socket socket =
                    testsupport::ConnectLoopback(static_cast<std::uint16_t>(port), kIntruderAddress);
                if (!socket.Valid()) {
                    intruderFailure = "the intruder could not connect from 127.0.0.2";
                    return;
                }
                testsupport::SendAll(socket, "an intruder's bytes");
                // Turned away: the client closes the connection, with a FIN or a reset.
                char buffer[64];
                for (;;) {
                    const auto ready = testsupport::WaitReadable(socket, std::chrono::seconds(20));
                    if (ready == testsupport::WaitResult::kTimeout) break;
                    if (ready == testsupport::WaitResult::kError ||
                        testsupport::ReceiveSome(socket, buffer, sizeof buffer) <= 0) {
                        turnedAway = true;
                        return;
                    }
                }
                intruderFailure = "the client kept the intruder's connection open";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto data = client.OpenDataTransfer(L"x", false, false);
    intruder.join();
    EXPECT_TRUE(turnedAway) << intruderFailure;
    ASSERT_TRUE(data);
    std::string bytes;
    char buffer[256];
    int count = 0;
    while (client.ReadData(*data, buffer, sizeof buffer, count) && count > 0)
        bytes.append(buffer, static_cast<std::size_t>(count));
    EXPECT_TRUE(client.CloseDataTransfer(std::move(data)));
    EXPECT_EQ(bytes, "the server's bytes");
    client.LogOff();
}

TEST_F(HostileDataTest, AnInterruptFromAnotherThreadEndsAStalledReceiveAtOnce)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR stalled", "150 ok\r\n").DataHold();
    server.Reply("426 Connection closed; transfer aborted\r\n").On("CWD /", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    LogOn(30);
    auto data = client.OpenDataTransfer(L"stalled", true, false);
    ASSERT_TRUE(data);
    std::atomic<bool> reading{false};
    std::thread canceller([&] {
        // Once the receive is (almost surely) waiting: an earlier interrupt ends it too.
        testsupport::PollUntil([&] { return reading.load(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(client.InterruptDataTransfer());
    });
    char buffer[256];
    int count = 0;
    const auto start = Clock::now();
    reading = true;
    EXPECT_FALSE(client.ReadData(*data, buffer, sizeof buffer, count) && count > 0);
    EXPECT_LT(Clock::now() - start, kGrace);
    canceller.join();
    EXPECT_FALSE(client.CloseDataTransfer(std::move(data)));
    EXPECT_FALSE(client.InterruptDataTransfer());
    // The user stopped it: nothing to tell them.
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
}

TEST_F(HostileDataTest, ASinkThatGivesUpLeavesNoTransferBehindAndTheRepliesInStep)
{
    class GivingUp : public ITransferNotification {
    public:
        void OnBytesReceived(const unsigned char*, std::int32_t) override { throw std::runtime_error("no room"); }
        void OnPreBytesSend(unsigned char*, std::size_t, std::int32_t& count) override { count = 0; }
    } sink;
    server.ExpectPasv().On("LIST", "150 listing\r\n").DataSend("-rw-r--r-- 1 u g 1 Jan  5  2020 f\r\n");
    server.Reply("226 done\r\n").On("CWD /", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    LogOn();
    EXPECT_THROW(client.RunDataCommand(sink, TRANSFER_LIST, L"", RepresentationType{}, true), std::runtime_error);
    EXPECT_FALSE(client.IsTransferInProgress());
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
}

TEST_F(HostileDataTest, LeavingWaitsOnlyAFewSecondsForQuitsReply)
{
    server.Expect("QUIT").Silent();
    LogOn(60);
    const auto start = Clock::now();
    client.LogOff();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(LOGOFF_WAIT_SECONDS) + kGrace);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(HostileDataTest, TheQuietKeepAliveStaysQuietWhenContinuationLinesStop)
{
    server.Expect("PWD").Reply("257-first of many\r\n").Silent();
    LogOn(kTimeout);
    const auto start = Clock::now();
    EXPECT_NE(client.KeepAlivePwd(), REPLY_OK);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout) + kGrace);
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
    EXPECT_FALSE(client.IsConnected());
}

namespace {

// Interrupts from another thread, again at every poll as a user interface does, until the
// call under test has returned: an interrupt that comes before the socket opens is not lost
// then.
class RepeatedInterrupt {
public:
    explicit RepeatedInterrupt(std::function<void()> interrupt)
        : thread([this, interrupt = std::move(interrupt)] {
              testsupport::PollUntil([&] {
                  interrupt();
                  return done.load();
              });
          })
    {
    }
    RepeatedInterrupt(const RepeatedInterrupt&) = delete;
    RepeatedInterrupt& operator=(const RepeatedInterrupt&) = delete;
    ~RepeatedInterrupt()
    {
        done = true;
        thread.join();
    }

private:
    std::atomic<bool> done{false};
    std::thread thread;
};

std::string PassiveReplyFor(std::uint16_t port)
{
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
}

struct UnansweredConnect {
    const char* name;
    bool interrupted;
};

class UnansweredConnectTest : public ::testing::TestWithParam<UnansweredConnect> {
protected:
    void SetUp() override
    {
        nowhere = testsupport::ListenWithoutAnswering();
        ASSERT_TRUE(nowhere.listener.Valid()) << "the listener's backlog could not be filled";
    }
    // The site's timeout, or a long one cut short by the interrupt.
    int Timeout() const { return GetParam().interrupted ? 60 : kTimeout; }
    void ExpectTheEnd(const TestReporter& reporter) const
    {
        if (GetParam().interrupted) {
            EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
        } else {
            EXPECT_THAT(reporter.Errors(), ElementsAre(L"Cannot establish a connection to the server (connect "
                                                       L"timeout).\n\nError code: 10060"));
        }
    }
    testsupport::UnansweringListener nowhere;
};

} // namespace

// The name has more addresses than the grace allows timeouts: the timeout is for all of
// them together, and the interrupt ends the wait for all of them.
TEST_P(UnansweredConnectTest, TheControlConnectionEndsAtTheTimeoutOrTheInterrupt)
{
    constexpr int kAddresses = 12;
    static_assert(kAddresses * kTimeout > kTimeout + kGrace.count());
    TestReporter reporter;
    nsSocket::SocketAddress unanswering;
    ASSERT_TRUE(nsSocket::SocketAddress::FromText("127.0.0.1", nowhere.port, unanswering));
    CFTPClient client(new NamedAddressesSocket("unanswering.invalid", std::vector(kAddresses, unanswering)));
    LogonSettings settings;
    settings.host = L"unanswering.invalid";
    settings.port = nowhere.port;
    const auto start = Clock::now();
    {
        std::optional<RepeatedInterrupt> user;
        if (GetParam().interrupted) user.emplace([&] { client.InterruptConnection(); });
        EXPECT_FALSE(client.LogOn(settings, Timeout()));
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout) + kGrace);
    EXPECT_FALSE(client.IsConnected());
    ExpectTheEnd(reporter);
    reporter.Clear();
    ExpectAFreshLogonWorks(client);
}

TEST_P(UnansweredConnectTest, ThePassiveDataConnectionEndsAtTheTimeoutOrTheInterrupt)
{
    TestReporter reporter;
    ScriptedServer server;
    server.Reply(kGreeting)
        .On("USER anonymous", "230 in\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/\"\r\n");
    server.On("EPSV", PassiveReplyFor(nowhere.port)).On("CWD /", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Anonymous(server), Timeout()));
    std::vector<FileStatusPtr> entries;
    const auto start = Clock::now();
    {
        std::optional<RepeatedInterrupt> user;
        if (GetParam().interrupted) user.emplace([&] { client.InterruptDataTransfer(); });
        EXPECT_FALSE(client.ListFiles(L"", entries, true));
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout) + kGrace);
    ExpectTheEnd(reporter);
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Connects, UnansweredConnectTest,
                         ::testing::Values(UnansweredConnect{"AtTheTimeout", false},
                                           UnansweredConnect{"Interrupted", true}),
                         [](const ::testing::TestParamInfo<UnansweredConnect>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(HostileDataTest, AnInterruptedEndlessListingEndsQuietlyAndTheConnectionGoesOn)
{
    server.ExpectPasv().On("LIST", "150 here it comes\r\n");
    server.DataTrickle(Repeated("-rw-r--r-- 1 u g 1 Jan  5  2020 f\r\n", 10000), std::chrono::milliseconds(1));
    server.Reply("426 Transfer aborted\r\n").On("CWD /", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    LogOn(60);
    std::vector<FileStatusPtr> entries;
    const auto start = Clock::now();
    {
        // The user stops it once its first entries show.
        std::thread user([&] {
            testsupport::PollUntil([&] { return client.ListingProgress() > 0; });
            client.InterruptDataTransfer();
        });
        EXPECT_FALSE(client.ListFiles(L"", entries, true));
        user.join();
    }
    EXPECT_LT(Clock::now() - start, kGrace);
    EXPECT_GT(client.ListingProgress(), 0u);
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
}

TEST_F(HostileDataTest, ACallerDrivenTransferDroppedUnclosedLeavesTheEngineIdleAndInStep)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR x", "150 ok\r\n").DataHold();
    server.Reply("426 Connection closed; transfer aborted\r\n").On("CWD /", "250 ok\r\n");
    server.ExpectPasv().On("RETR y", "150 ok\r\n").DataSend("y's bytes").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    LogOn();
    {
        // A caller that returns early, or throws, before CloseDataTransfer.
        auto dropped = client.OpenDataTransfer(L"x", true, false);
        ASSERT_TRUE(dropped);
    }
    EXPECT_FALSE(client.IsTransferInProgress());
    EXPECT_FALSE(client.InterruptDataTransfer());
    // The server's word on the dropped transfer is not taken for CWD's reply.
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    auto data = client.OpenDataTransfer(L"y", true, false);
    ASSERT_TRUE(data);
    char buffer[64];
    int count = 0;
    std::string bytes;
    while (client.ReadData(*data, buffer, sizeof buffer, count) && count > 0)
        bytes.append(buffer, static_cast<std::size_t>(count));
    EXPECT_TRUE(client.CloseDataTransfer(std::move(data)));
    EXPECT_EQ(bytes, "y's bytes");
    client.LogOff();
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}

TEST_F(HostileDataTest, ACallerDrivenTransferMayOutliveItsEngine)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR x", "150 ok\r\n").DataHold();
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    auto engine = std::make_unique<CFTPClient>(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(engine->LogOn(Anonymous(server), kPatientTimeout));
    auto data = engine->OpenDataTransfer(L"x", true, false);
    ASSERT_TRUE(data);
    engine.reset();
    // Let go after the engine: it must not reach back into it (the sanitizers watch).
    data.reset();
}
