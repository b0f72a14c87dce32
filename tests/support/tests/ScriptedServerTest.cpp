#include "support/ScriptedServer.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {
namespace {

using namespace std::chrono_literals;
using Status = TestClient::Received::Status;
using Lines = std::vector<std::string>;

constexpr auto kWait = 5s;

TEST(ScriptedServerTest, SplitReplyArrivesAsSeparateReceivesAndIntact) {
  ScriptedServer server;
  server.ReplySplit("220-Welcome\r\n220 Ready\r\n", {5, 13});
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

TEST(ScriptedServerTest, ConsecutiveRepliesInOneStepArriveInOneReceive) {
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

TEST(ScriptedServerTest, ReassemblesLinesAcrossAndWithinReceivesAndKeepsRawBytes) {
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

TEST(ScriptedServerTest, MismatchIsRecordedAndTheScriptGoesOn) {
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
  EXPECT_EQ(server.Failures(), (Lines{"expected 'USER anon', got 'USER bob'",
                                      "expected a line starting with 'TYPE ', got 'SYST'"}));
}

TEST(ScriptedServerTest, LinesAfterTheScriptAreFailuresAndNeverAnswered) {
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
  EXPECT_EQ(server.Failures(), (Lines{"unexpected command 'PWD'",
                                      "incomplete line 'HALF' before the connection closed"}));
}

TEST(ScriptedServerTest, CloseIsAnOrderlyEndOfStreamAfterTheReplies) {
  ScriptedServer server;
  server.Reply("421 Going away\r\n").Close();
  server.Start();
  TestClient client;
  ASSERT_TRUE(client.Connect(server.Port()));
  EXPECT_EQ(client.ReceiveUntil("\r\n", kWait), "421 Going away\r\n");
  EXPECT_TRUE(client.WaitForClose(kWait));
  ExpectScriptPlayed(server);
}

TEST(ScriptedServerTest, AcceptNextServesASecondConnection) {
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

TEST(ScriptedServerTest, ClientCloseSkipsToTheNextConnection) {
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

TEST(ScriptedServerTest, ConnectionAfterTheScriptIsAFailure) {
  ScriptedServer server;
  server.Close();
  server.Start();
  TestClient first;
  ASSERT_TRUE(first.Connect(server.Port()));
  EXPECT_TRUE(first.WaitForClose(kWait));
  TestClient second;
  ASSERT_TRUE(second.Connect(server.Port()));
  auto deadline = std::chrono::steady_clock::now() + kWait;
  while (server.Failures().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(server.Failures(), (Lines{"unexpected connection after the script ended"}));
}

TEST(ScriptedServerTest, SilentRecordsLinesWithoutAnsweringOrFailing) {
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

TEST(ScriptedServerTest, SilentBeforeAcceptNextLastsUntilTheClientGivesUp) {
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

TEST(ScriptedServerTest, DestructorReturnsPromptlyWhateverTheServerWaitsFor) {
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
      std::this_thread::sleep_for(50ms);
      begin = std::chrono::steady_clock::now();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
  }
}

TEST(ScriptedServerTest, ExpectScriptPlayedReportsRecordedFailures) {
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

}  // namespace
}  // namespace testsupport
