#include "support/ScriptedServer.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/Wait.h"

namespace testsupport {
namespace {

using namespace std::chrono_literals;
using Status = TestClient::Received::Status;
using Lines = std::vector<std::string>;

constexpr auto kWait = 5s;

// Every byte value, CR and LF in every position, large enough for partial sends.
std::string Payload(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// The port of a "227 ... (127,0,0,1,p1,p2)" reply, 0 when the address is not loopback.
// The port of a 229 reply "(|||port|)" or of a 227 reply naming 127.0.0.1.
uint16_t PassivePort(const std::string& reply)
{
    unsigned h1, h2, h3, h4, p1, p2;
    size_t open = reply.find('(');
    if (open != std::string::npos && std::sscanf(reply.c_str() + open, "(|||%u|)", &p1) == 1)
        return static_cast<uint16_t>(p1);
    if (open == std::string::npos ||
        std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6 || h1 != 127 ||
        h2 != 0 || h3 != 0 || h4 != 1 || p1 > 255 || p2 > 255) {
        return 0;
    }
    return static_cast<uint16_t>(p1 << 8 | p2);
}

std::string EprtLine(uint16_t port) { return "EPRT |1|127.0.0.1|" + std::to_string(port) + "|"; }

std::string PortLine(uint16_t port)
{
    return "PORT 127,0,0,1," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

// Reads replies one line at a time, keeping what arrived after the line; the data
// steps let the server's later replies overtake the client's reading.
class LineReader {
public:
    explicit LineReader(TestClient& client) : client_(client) {}
    std::string Next()
    {
        if (buffered_.find("\r\n") == std::string::npos) buffered_ += client_.ReceiveUntil("\r\n", kWait);
        size_t end = buffered_.find("\r\n");
        if (end == std::string::npos) return std::exchange(buffered_, std::string());
        std::string line = buffered_.substr(0, end + 2);
        buffered_.erase(0, end + 2);
        return line;
    }

private:
    TestClient& client_;
    std::string buffered_;
};

// Sends EPSV on `control` and connects `data` to the port in the reply.
void EnterPassive(TestClient& control, LineReader& replies, TestClient& data)
{
    ASSERT_TRUE(control.Send("EPSV\r\n"));
    std::string reply = replies.Next();
    uint16_t port = PassivePort(reply);
    ASSERT_NE(port, 0) << reply;
    ASSERT_TRUE(data.Connect(port));
}

TEST(ScriptedServerTest, SplitReplyArrivesAsSeparateReceivesAndIntact)
{
    ScriptedServer server;
    // Long pauses, so that a client that wakes late still sees the segments apart.
    server.ReplySplit("220-Welcome\r\n220 Ready\r\n", {5, 13}).SegmentPause(2s);
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));

    TestClient::Received first = client.ReceiveOnce(kWait);
    ASSERT_EQ(first.status, Status::kData);
    EXPECT_EQ(first.data, "220-W");
    std::string rest = client.ReceiveUntil("220 Ready\r\n", kWait);
    EXPECT_EQ(first.data + rest, "220-Welcome\r\n220 Ready\r\n");
    ExpectScriptPlayed(server);
}

TEST(ScriptedServerTest, ConsecutiveRepliesInOneStepArriveInOneReceive)
{
    ScriptedServer server;
    server.Reply("220 Ready\r\n").Expect("USER anon").Reply("331 Password\r\n230 Logged in\r\n");
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "220 Ready\r\n");
    ASSERT_TRUE(client.Send("USER anon\r\n"));
    TestClient::Received reply = client.ReceiveOnce(kWait);
    ASSERT_EQ(reply.status, Status::kData);
    EXPECT_EQ(reply.data, "331 Password\r\n230 Logged in\r\n");
    ExpectScriptPlayed(server);
    EXPECT_TRUE(server.Failures().empty());
}

TEST(ScriptedServerTest, ReassemblesLinesAcrossAndWithinReceivesAndKeepsRawBytes)
{
    ScriptedServer server;
    server.Expect("USER a").Expect("PASS b").Expect("CWD /\xC3\xA4\xFF").Expect("NOOP").Reply("ok\r\n");
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    ASSERT_TRUE(client.Send("US"));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(client.Send("ER a\r"));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(client.Send("\nPASS b\r\nCWD /\xC3\xA4\xFF\r\nNOOP\n"));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "ok\r\n");
    ExpectScriptPlayed(server);
    EXPECT_EQ(server.Commands(), (Lines{"USER a", "PASS b", "CWD /\xC3\xA4\xFF", "NOOP"}));
}

TEST(ScriptedServerTest, MismatchIsRecordedAndTheScriptGoesOn)
{
    ScriptedServer server;
    server.On("USER anon", "331 Password\r\n").ExpectPrefix("PASS ").ExpectPrefix("TYPE ").Reply("200 OK\r\n");
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    ASSERT_TRUE(client.Send("USER bob\r\n"));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "331 Password\r\n");
    ASSERT_TRUE(client.Send("PASS x\r\nSYST\r\n"));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "200 OK\r\n");
    ASSERT_TRUE(server.WaitFinished(kWait));
    EXPECT_EQ(server.Failures(),
              (Lines{"expected 'USER anon', got 'USER bob'", "expected a line starting with 'TYPE ', got 'SYST'"}));
}

TEST(ScriptedServerTest, LinesAfterTheScriptAreFailuresAndNeverAnswered)
{
    ScriptedServer server;
    server.On("NOOP", "200 OK\r\n");
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    ASSERT_TRUE(client.Send("NOOP\r\nPWD\r\nHALF"));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "200 OK\r\n");
    EXPECT_EQ(client.ReceiveOnce(200ms).status, Status::kTimeout);
    client.Close();
    ASSERT_TRUE(server.WaitDisconnected(kWait));
    EXPECT_EQ(server.Failures(),
              (Lines{"unexpected command 'PWD'", "incomplete line 'HALF' before the connection closed"}));
}

TEST(ScriptedServerTest, CloseIsAnOrderlyEndOfStreamAfterTheReplies)
{
    ScriptedServer server;
    server.Reply("421 Going away\r\n").Close();
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "421 Going away\r\n");
    EXPECT_TRUE(client.WaitForClose(kWait));
    ExpectScriptPlayed(server);
}

TEST(ScriptedServerTest, AcceptNextServesASecondConnection)
{
    ScriptedServer server;
    server.Reply("220 one\r\n").On("QUIT", "221 Bye\r\n").AcceptNext().Reply("220 two\r\n").Expect("USER x");
    server.Start();

    TestClient first;
    ASSERT_TRUE(first.Connect(server.Port()));
    EXPECT_EQ(first.ReceiveUntil("\r\n", kWait), "220 one\r\n");
    ASSERT_TRUE(first.Send("QUIT\r\n"));
    EXPECT_EQ(first.ReceiveUntil("\r\n", kWait), "221 Bye\r\n");
    EXPECT_TRUE(first.WaitForClose(kWait));

    TestClient second;
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(second.ReceiveUntil("\r\n", kWait), "220 two\r\n");
    ASSERT_TRUE(second.Send("USER x\r\n"));
    ExpectScriptPlayed(server);
    EXPECT_EQ(server.Commands(), (Lines{"QUIT", "USER x"}));
}

TEST(ScriptedServerTest, ClientCloseSkipsToTheNextConnection)
{
    ScriptedServer server;
    server.Expect("USER a").Reply("331 x\r\n").Expect("PASS b").AcceptNext().Expect("USER c");
    server.Start();

    TestClient first;
    ASSERT_TRUE(first.Connect(server.Port()));
    first.Close();
    TestClient second;
    ASSERT_TRUE(second.Connect(server.Port()));
    ASSERT_TRUE(second.Send("USER c\r\n"));
    ASSERT_TRUE(server.WaitFinished(kWait));
    EXPECT_EQ(server.Failures(), (Lines{"expected 'USER a', connection closed"}));
}

TEST(ScriptedServerTest, ConnectionAfterTheScriptIsAFailure)
{
    ScriptedServer server;
    server.Close();
    server.Start();
    TestClient first;
    ASSERT_TRUE(first.Connect(server.Port()));
    EXPECT_TRUE(first.WaitForClose(kWait));
    TestClient second;
    ASSERT_TRUE(second.Connect(server.Port()));
    PollUntil([&] { return !server.Failures().empty(); });
    EXPECT_EQ(server.Failures(), (Lines{"unexpected connection after the script ended"}));
}

TEST(ScriptedServerTest, SilentRecordsLinesWithoutAnsweringOrFailing)
{
    ScriptedServer server;
    server.Reply("220 Ready\r\n").Silent();
    server.Start();
    TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "220 Ready\r\n");
    EXPECT_TRUE(server.WaitFinished(kWait));
    ASSERT_TRUE(client.Send("USER a\r\nNOOP\r\n"));
    EXPECT_EQ(client.ReceiveOnce(200ms).status, Status::kTimeout);
    client.Close();
    ASSERT_TRUE(server.WaitDisconnected(kWait));
    EXPECT_EQ(server.Commands(), (Lines{"USER a", "NOOP"}));
    EXPECT_TRUE(server.Failures().empty());
}

TEST(ScriptedServerTest, SilentBeforeAcceptNextLastsUntilTheClientGivesUp)
{
    ScriptedServer server;
    server.Silent().AcceptNext().Reply("220 again\r\n");
    server.Start();
    TestClient first;
    ASSERT_TRUE(first.Connect(server.Port()));
    EXPECT_FALSE(server.WaitFinished(100ms));
    first.Close();
    TestClient second;
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(second.ReceiveUntil("\r\n", kWait), "220 again\r\n");
    ExpectScriptPlayed(server);
}

TEST(ScriptedServerTest, DestructorReturnsPromptlyWhateverTheServerWaitsFor)
{
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(variant);
        TestClient client;
        auto begin = std::chrono::steady_clock::now();
        {
            ScriptedServer server;
            if (variant == 0) server.Silent();
            if (variant == 1) server.Expect("USER a");
            if (variant == 2) server.Delay(60s);
            if (variant == 3) server.ReplySplit("ab", {1}).SegmentPause(60s);
            server.Start();
            ASSERT_TRUE(client.Connect(server.Port()));
            const std::string waiting = variant == 0   ? "Silent"
                                        : variant == 1 ? "Expect"
                                        : variant == 2 ? "Delay"
                                                       : "ReplySplit";
            // Silent, the last step, counts as played once it begins.
            EXPECT_TRUE(PollUntil([&] {
                const std::string step = server.CurrentStep();
                return step.find(": " + waiting) != std::string::npos || step == "script finished";
            })) << waiting;
            begin = std::chrono::steady_clock::now();
        }
        // Far below the 5 s that any of the server's own waits takes.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
    }
}

TEST(ScriptedServerDataTest, PassiveTransfersCarryBytesIntactBothWays)
{
    const std::string download = Payload(1 << 20);
    const std::string upload = Payload(300000).substr(1);
    ScriptedServer server;
    server.ExpectPasv().On("LIST", "150 Here comes the listing\r\n").DataSend(download).Reply("226 Done\r\n");
    server.ExpectLegacyPasv().On("STOR x", "150 Send it\r\n").DataReceive().Reply("226 Stored\r\n");
    server.Start();
    TestClient control;
    ASSERT_TRUE(control.Connect(server.Port()));
    LineReader replies(control);

    TestClient data;
    ASSERT_TRUE(control.Send("EPSV\r\n"));
    std::string reply = replies.Next();
    EXPECT_EQ(reply.rfind("229 Entering Extended Passive Mode (|||", 0), 0u) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 4), "|)\r\n");
    ASSERT_TRUE(data.Connect(PassivePort(reply)));
    ASSERT_TRUE(control.Send("LIST\r\n"));
    EXPECT_EQ(replies.Next(), "150 Here comes the listing\r\n");
    TestClient::Received listing = data.ReceiveToEnd(kWait);
    EXPECT_EQ(listing.status, Status::kClosed);
    EXPECT_TRUE(listing.data == download) << listing.data.size() << " bytes";
    EXPECT_EQ(replies.Next(), "226 Done\r\n");

    TestClient second;
    ASSERT_TRUE(control.Send("PASV\r\n"));
    reply = replies.Next();
    EXPECT_EQ(reply.rfind("227 Entering Passive Mode (127,0,0,1,", 0), 0u) << reply;
    ASSERT_TRUE(second.Connect(PassivePort(reply)));
    ASSERT_TRUE(control.Send("STOR x\r\n"));
    EXPECT_EQ(replies.Next(), "150 Send it\r\n");
    ASSERT_TRUE(second.Send(upload));
    second.Close();
    EXPECT_EQ(replies.Next(), "226 Stored\r\n");

    ExpectScriptPlayed(server);
    ASSERT_EQ(server.DataReceived().size(), 1u);
    EXPECT_TRUE(server.DataReceived()[0] == upload) << server.DataReceived()[0].size() << " bytes";
    EXPECT_EQ(server.Commands(), (Lines{"EPSV", "LIST", "PASV", "STOR x"}));
}

TEST(ScriptedServerDataTest, ActiveTransfersConnectToThePortAddressBothWays)
{
    const std::string download = Payload(700000);
    ScriptedServer server;
    server.ExpectPort().On("RETR x", "150 Opening\r\n").DataSend(download).Reply("226 Done\r\n");
    server.ExpectLegacyPort("200 Fine\r\n").On("STOR y", "150 Go\r\n").DataReceive().Reply("226 Stored\r\n");
    server.Start();
    TestClient control;
    ASSERT_TRUE(control.Connect(server.Port()));
    LineReader replies(control);

    Socket listener = ListenLoopback(0);
    ASSERT_TRUE(control.Send(EprtLine(LocalPort(listener)) + "\r\n"));
    EXPECT_EQ(replies.Next(), "200 EPRT command successful\r\n");
    ASSERT_TRUE(control.Send("RETR x\r\n"));
    EXPECT_EQ(replies.Next(), "150 Opening\r\n");
    TestClient data;
    ASSERT_TRUE(data.Accept(listener, kWait));
    TestClient::Received file = data.ReceiveToEnd(kWait);
    EXPECT_EQ(file.status, Status::kClosed);
    EXPECT_TRUE(file.data == download) << file.data.size() << " bytes";
    EXPECT_EQ(replies.Next(), "226 Done\r\n");

    Socket secondListener = ListenLoopback(0);
    ASSERT_TRUE(control.Send(PortLine(LocalPort(secondListener)) + "\r\n"));
    EXPECT_EQ(replies.Next(), "200 Fine\r\n");
    ASSERT_TRUE(control.Send("STOR y\r\n"));
    EXPECT_EQ(replies.Next(), "150 Go\r\n");
    TestClient upload;
    ASSERT_TRUE(upload.Accept(secondListener, kWait));
    ASSERT_TRUE(upload.Send(std::string("a\0b\r\nc", 7)));
    upload.Close();
    EXPECT_EQ(replies.Next(), "226 Stored\r\n");

    ExpectScriptPlayed(server);
    EXPECT_EQ(server.DataReceived(), (Lines{std::string("a\0b\r\nc", 7)}));
    EXPECT_EQ(server.Commands(),
              (Lines{EprtLine(LocalPort(listener)), "RETR x", PortLine(LocalPort(secondListener)), "STOR y"}));
}

TEST(ScriptedServerDataTest, ResetAfterPartOfTheDataIsAnErrorForTheClient)
{
    const std::string bytes = Payload(200000);
    ScriptedServer server;
    server.ExpectPasv().On("RETR x", "150 Opening\r\n").DataSendThenReset(bytes).Reply("451 Lost\r\n");
    server.Start();
    TestClient control;
    TestClient data;
    ASSERT_TRUE(control.Connect(server.Port()));
    LineReader replies(control);
    EnterPassive(control, replies, data);
    ASSERT_TRUE(control.Send("RETR x\r\n"));
    EXPECT_EQ(replies.Next(), "150 Opening\r\n");
    TestClient::Received received = data.ReceiveToEnd(kWait);
#ifdef _WIN32
    // Wine's recv reports a reset as an end of stream; only a later send fails on it.
    if (received.status == Status::kClosed) {
        EXPECT_FALSE(data.Send("x")) << "the connection ended with a FIN, not a reset";
        received.status = Status::kError;
    }
#endif
    EXPECT_EQ(received.status, Status::kError);
    EXPECT_LE(received.data.size(), bytes.size());
    EXPECT_TRUE(bytes.compare(0, received.data.size(), received.data) == 0);
    EXPECT_EQ(replies.Next(), "451 Lost\r\n");
    ExpectScriptPlayed(server);
}

TEST(ScriptedServerDataTest, HeldConnectionSendsNothingUntilClosedOrUsedLater)
{
    std::atomic<bool> quietSeen{false}; // outlives the server that reads it
    ScriptedServer server;
    server.ExpectPasv().On("RETR x", "150 Opening\r\n").DataHold();
    server.On("ABOR", "426 aborted\r\n226 ABOR ok\r\n").DataClose();
    server.ExpectPasv().On("RETR y", "150 Opening\r\n").DataHold();
    server.WaitUntil("the client saw nothing", [&] { return quietSeen.load(); }).DataSend("late").Reply("226 Done\r\n");
    server.Start();
    TestClient control;
    ASSERT_TRUE(control.Connect(server.Port()));
    LineReader replies(control);

    TestClient held;
    EnterPassive(control, replies, held);
    ASSERT_TRUE(control.Send("RETR x\r\n"));
    EXPECT_EQ(replies.Next(), "150 Opening\r\n");
    EXPECT_EQ(held.ReceiveOnce(200ms).status, Status::kTimeout);
    ASSERT_TRUE(control.Send("ABOR\r\n"));
    EXPECT_EQ(replies.Next(), "426 aborted\r\n");
    EXPECT_EQ(replies.Next(), "226 ABOR ok\r\n");
    EXPECT_TRUE(held.WaitForClose(kWait));

    TestClient slow;
    EnterPassive(control, replies, slow);
    ASSERT_TRUE(control.Send("RETR y\r\n"));
    EXPECT_EQ(replies.Next(), "150 Opening\r\n");
    EXPECT_EQ(slow.ReceiveOnce(50ms).status, Status::kTimeout);
    quietSeen = true;
    TestClient::Received late = slow.ReceiveToEnd(kWait);
    EXPECT_EQ(late.status, Status::kClosed);
    EXPECT_EQ(late.data, "late");
    ExpectScriptPlayed(server);
}

TEST(ScriptedServerDataTest, DataProblemsAreRecordedAndTheScriptGoesOn)
{
    Socket closed = ListenLoopback(0);
    uint16_t closedPort = LocalPort(closed);
    closed.Close();
    ScriptedServer server;
    server.DataSend("abc").Reply("1\r\n");
    server.ExpectLegacyPasv("227 =%s\r\n");
    server.ExpectLegacyPort().DataReceive().Reply("2\r\n");
    server.ExpectPort("200 still\r\n").DataSend("x").Reply("3\r\n");
    server.Start();
    TestClient control;
    ASSERT_TRUE(control.Connect(server.Port()));
    LineReader replies(control);
    EXPECT_EQ(replies.Next(), "1\r\n");
    ASSERT_TRUE(control.Send("EPSV\r\n"));
    std::string pasv = replies.Next();
    EXPECT_EQ(pasv.rfind("227 =127,0,0,1,", 0), 0u) << pasv;
    ASSERT_TRUE(control.Send(PortLine(closedPort) + "\r\n"));
    EXPECT_EQ(replies.Next(), "200 PORT command successful\r\n");
    EXPECT_EQ(replies.Next(), "2\r\n");
    ASSERT_TRUE(control.Send("EPRT |1|127.0.0.1|65536|\r\n"));
    EXPECT_EQ(replies.Next(), "200 still\r\n");
    EXPECT_EQ(replies.Next(), "3\r\n");
    ASSERT_TRUE(server.WaitFinished(kWait));

    std::string target = "127.0.0.1 port " + std::to_string(closedPort);
    EXPECT_EQ(server.Failures(),
              (Lines{"DataSend of 3 bytes: no transfer prepared by ExpectPasv or ExpectPort",
                     "expected 'PASV', got 'EPSV'", "DataReceive: cannot connect to the PORT or EPRT address " + target,
                     "ExpectPort: cannot parse the address in 'EPRT |1|127.0.0.1|65536|'",
                     "DataSend of 1 bytes: no transfer prepared by ExpectPasv or ExpectPort"}));
    EXPECT_EQ(server.DataReceived(), (Lines{""}));
}

TEST(ScriptedServerDataTest, DestructorReturnsPromptlyWhateverTheDataStepWaitsFor)
{
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(variant);
        TestClient control;
        TestClient data;
        auto begin = std::chrono::steady_clock::now();
        {
            ScriptedServer server;
            server.ExpectPasv();
            if (variant == 0) server.DataHold();
            if (variant == 1) server.DataReceive();
            if (variant == 2) server.DataSend(Payload(64 << 20));
            if (variant == 3) server.Delay(100ms).DataSend("never accepted");
            server.Start();
            ASSERT_TRUE(control.Connect(server.Port()));
            ASSERT_TRUE(control.Send("EPSV\r\n"));
            uint16_t port = PassivePort(control.ReceiveUntil("\r\n", kWait));
            ASSERT_NE(port, 0);
            if (variant != 3) {
                ASSERT_TRUE(data.Connect(port));
            }
            const std::string waiting = variant == 0 ? "DataHold" : variant == 1 ? "DataReceive" : "DataSend";
            // DataHold, the last step, counts as played once the connection is open.
            EXPECT_TRUE(PollUntil([&] {
                const std::string step = server.CurrentStep();
                return step.find(": " + waiting) != std::string::npos || step == "script finished";
            })) << waiting;
            begin = std::chrono::steady_clock::now();
        }
        // Far below the 5 s that any of the server's own waits takes.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
    }
}

TEST(ScriptedServerTest, ExpectScriptPlayedReportsRecordedFailures)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedServer server;
            server.Expect("NOOP");
            server.Start();
            TestClient client;
            ASSERT_TRUE(client.Connect(server.Port()));
            ASSERT_TRUE(client.Send("PWD\r\n"));
            ExpectScriptPlayed(server);
        },
        "expected 'NOOP', got 'PWD'");
}

} // namespace
} // namespace testsupport
