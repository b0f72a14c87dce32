// IPv6 control and data connections, and host names with several addresses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NamedAddressesSocket.h"
#include "ScriptedSession.h"
#include "support/TestSocket.h"

using namespace nsFTP;
using namespace enginetest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::ScriptedServer;

namespace {

// A port on the address where nothing listens, so that a connect is refused at once.
nsSocket::SocketAddress Refusing(const char* host)
{
    nsSocket::SocketAddress address;
    EXPECT_TRUE(nsSocket::SocketAddress::FromText(host, 0, address));
    nsSocket::CBlockingSocket probe;
    probe.Open(address.Family());
    probe.Bind(address);
    probe.LocalAddress(address);
    probe.Close();
    return address;
}

} // namespace

// Over IPv6 both data connections name and reach the control connection's peer, ::1.
TEST(IPv6Test, PassiveAndActiveTransfersOverIPv6)
{
    TestReporter reporter;
    ScriptedServer server(ScriptedServer::Family::kIPv6);
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR a", "150 ok\r\n").DataSend("A").Reply("226 ok\r\n");
    server.ExpectPort().On("RETR b", "150 ok\r\n").DataSend("B").Reply("226 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Anonymous(L"[::1]", server.Port()), kTimeout));
    EXPECT_EQ(Download(client, L"a", true), "A");
    EXPECT_EQ(Download(client, L"b", false), "B");
    client.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    const auto commands = Commands(server);
    ASSERT_EQ(commands.size(), 9u);
    EXPECT_EQ(commands[4], "EPSV");
    EXPECT_THAT(commands[6], StartsWith("EPRT |2|::1|"));
}

// PASV and PORT can't name an IPv6 address: a server that refuses EPSV or EPRT there gets
// no PASV or PORT, and the user learns why.
TEST(IPv6Test, RefusedEpsvOrEprtOverIPv6IsExplained)
{
    TestReporter reporter;
    ScriptedServer server(ScriptedServer::Family::kIPv6);
    ScriptLogon(server);
    server.RefuseEpsv().On("TYPE I", "200 binary\r\n").RefuseEprt();
    server.On("CWD /", "250 still in step\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    ASSERT_TRUE(client.LogOn(Anonymous(L"::1", server.Port()), kTimeout));
    std::vector<FileStatusPtr> entries;
    EXPECT_FALSE(client.ListFiles(L"", entries, true));
    EXPECT_EQ(Download(client, L"b", false), "<no transfer>");
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    client.LogOff();
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], std::wstring(EPSV_REFUSED_IPV6_TEXT) + L"\n\n502 EPSV not supported");
    EXPECT_EQ(errors[1], std::wstring(EPRT_REFUSED_IPV6_TEXT) + L"\n\n502 EPRT not supported");
    Commands(server);
}

// A name's addresses are tried in turn: one that refuses (here IPv6) gives way to the
// next (IPv4), and the data connection follows the control connection there.
TEST(AddressTest, ANameThatResolvesToARefusingAddressFirstReachesTheNext)
{
    TestReporter reporter;
    ScriptedServer server;
    ScriptLogon(server);
    server.ExpectPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n").On("QUIT", "221 bye\r\n");
    server.Start();
    nsSocket::SocketAddress working;
    ASSERT_TRUE(nsSocket::SocketAddress::FromText("127.0.0.1", 0, working));
    CFTPClient client(new NamedAddressesSocket("twice.invalid", {Refusing("::1"), working}));
    ASSERT_TRUE(client.LogOn(Anonymous(L"twice.invalid", server.Port()), kTimeout));
    std::vector<FileStatusPtr> entries;
    EXPECT_TRUE(client.ListFiles(L"", entries, true));
    client.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_THAT(Commands(server), ElementsAre("USER anonymous", "FEAT", "PWD", "EPSV", "LIST", "QUIT"));
}
