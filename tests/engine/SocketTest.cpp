#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "TestReporter.h"
#include "engine/BlockingSocket.h"
#include "support/Wait.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

using nsSocket::CBlockingSocket;
using nsSocket::CBlockingSocketException;

namespace {

nsSocket::SocketAddress Loopback(std::uint16_t port, const char* host = "127.0.0.1")
{
    nsSocket::SocketAddress address;
    EXPECT_TRUE(nsSocket::SocketAddress::FromText(host, port, address)) << host;
    return address;
}

// A connected pair of engine sockets over loopback.
struct Pair {
    CBlockingSocket listener, client, server;
    nsSocket::SocketAddress peer;
    explicit Pair(int bufferBytes = 0, const char* host = "127.0.0.1")
    {
        const nsSocket::SocketAddress loopback = Loopback(0, host);
        listener.Open(loopback.Family());
        listener.Bind(loopback);
        listener.Listen();
        nsSocket::SocketAddress bound{};
        listener.LocalAddress(bound);
        client.Open(loopback.Family());
        if (bufferBytes) SetSendBuffer(client, bufferBytes);
        client.Connect(Loopback(bound.Port(), host), 5);
        EXPECT_TRUE(listener.Accept(server, peer, 5));
        if (bufferBytes) SetReceiveBuffer(server, bufferBytes);
    }
    ~Pair()
    {
        client.CloseQuietly();
        server.CloseQuietly();
        listener.CloseQuietly();
    }
    static void SetSendBuffer(CBlockingSocket& s, int bytes) { SetOption(s, SO_SNDBUF, bytes); }
    static void SetReceiveBuffer(CBlockingSocket& s, int bytes) { SetOption(s, SO_RCVBUF, bytes); }
    static void SetOption(CBlockingSocket& s, int option, int bytes)
    {
#ifdef _WIN32
        setsockopt(s.Handle(), SOL_SOCKET, option, reinterpret_cast<const char*>(&bytes), sizeof(bytes));
#else
        setsockopt(static_cast<int>(s.Handle()) - 1, SOL_SOCKET, option, &bytes, sizeof(bytes));
#endif
    }
};

} // namespace

TEST(BlockingSocketTest, ReceivePendingDataAndPeerClose)
{
    TestReporter reporter;
    Pair pair;
    EXPECT_FALSE(pair.client.HasPendingData());
    pair.server.SendAll("hello", 5, 5);
    char buffer[16] = {};
    EXPECT_TRUE(testsupport::PollUntil([&] { return pair.client.HasPendingData(); }));
    EXPECT_EQ(pair.client.Receive(buffer, sizeof(buffer), 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_FALSE(pair.client.HasPendingData());

    pair.server.Close();
    EXPECT_EQ(pair.client.Receive(buffer, sizeof(buffer), 5), 0);
    EXPECT_GE(reporter.Activity(), 3); // the send step and both receives
}

TEST(BlockingSocketTest, SilentPeerTimesOutWithTheExactText)
{
    Pair pair;
    char buffer[16];
    try {
        pair.client.Receive(buffer, sizeof(buffer), 1);
        FAIL() << "no time-out";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.Message(), L"Unable to receive data (receive timeout).");
        EXPECT_EQ(e.MessageText(),
                  L"Unable to receive data (receive timeout).\n\nError code: " + std::to_wstring(e.ErrorCode()));
    }
    EXPECT_NE(pair.client.Handle(), 0u); // a throw leaves the socket open
}

TEST(BlockingSocketTest, SendAllDeliversEverythingOverPartialSends)
{
    TestReporter reporter;
    Pair pair(4096);
    std::string payload(128 * 1024, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>((i * 7919) >> 3);

    std::string received;
    std::thread reader([&] {
        char buffer[3000];
        for (;;) {
            const int n = pair.server.Receive(buffer, sizeof(buffer), 10);
            if (n == 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    EXPECT_EQ(pair.client.SendAll(payload.data(), static_cast<int>(payload.size()), 10),
              static_cast<int>(payload.size()));
    const int sendActivity = reporter.Activity();
    pair.client.Close();
    reader.join();
    EXPECT_TRUE(received == payload) << "received " << received.size() << " of " << payload.size() << " bytes";
    // Small buffers make send() take part of the data at a time; every step reports activity.
    EXPECT_GT(sendActivity, 2);
}

TEST(BlockingSocketTest, ClosingIsSafeToRepeat)
{
    CBlockingSocket socket;
    EXPECT_EQ(socket.Handle(), 0u);
    EXPECT_NO_THROW(socket.Close());
    socket.CloseQuietly();
    socket.Open(AF_INET);
    EXPECT_NE(socket.Handle(), 0u);
    EXPECT_NO_THROW(socket.Close());
    EXPECT_EQ(socket.Handle(), 0u);
    EXPECT_NO_THROW(socket.Close());
    socket.Open(AF_INET);
    socket.CloseQuietly();
    socket.CloseQuietly();
    EXPECT_EQ(socket.Handle(), 0u);
    std::unique_ptr<nsSocket::IBlockingSocket> fresh(socket.NewInstance());
    EXPECT_EQ(fresh->Handle(), 0u);
}

TEST(BlockingSocketTest, FailuresCarryTheirMessages)
{
    CBlockingSocket socket;
    // A label longer than 63 characters is refused by the resolver itself, so the
    // failure needs no name server.
    const std::string unknown = std::string(64, 'x') + ".invalid";
    try {
        socket.ResolveHost(unknown, 21);
        FAIL() << "resolved";
    } catch (const CBlockingSocketException& e) {
        const std::wstring wide(unknown.begin(), unknown.end());
        EXPECT_NE(e.Message().find(L"The host '" + wide + L"' could not be found."), std::wstring::npos);
    }

    // Nothing listens on a port that was just freed.
    CBlockingSocket probe;
    probe.Open(AF_INET);
    probe.Bind(Loopback(0));
    nsSocket::SocketAddress freed{};
    probe.LocalAddress(freed);
    probe.Close();
    socket.Open(AF_INET);
    try {
        socket.Connect(freed, 5);
        FAIL() << "connected";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.Message(), L"Cannot establish a connection to the server.");
        EXPECT_NE(e.ErrorCode(), 0);
    }
    socket.CloseQuietly();
}

// Literals of both families are taken as they are, an IPv6 one with or without the
// brackets of URLs; an IPv4 address mapped into IPv6 is the same host as the IPv4 one.
TEST(BlockingSocketTest, ResolvesLiteralsOfBothFamilies)
{
    const struct {
        const char* host;
        int family;
        const char* text;
    } cases[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},
        {"::1", AF_INET6, "::1"},
        {"[::1]", AF_INET6, "::1"},
        {"[2001:DB8:0::7]", AF_INET6, "2001:db8::7"},
        {"::ffff:127.0.0.1", AF_INET6, "::ffff:127.0.0.1"},
    };
    CBlockingSocket socket;
    const nsSocket::SocketAddress ipv4 = Loopback(21);
    for (const auto& c : cases) {
        const auto resolved = socket.ResolveHost(c.host, 2121);
        ASSERT_EQ(resolved.size(), 1u) << c.host;
        EXPECT_EQ(resolved[0].Family(), c.family) << c.host;
        EXPECT_EQ(resolved[0].HostText(), c.text) << c.host;
        EXPECT_EQ(resolved[0].Port(), 2121) << c.host;
        EXPECT_EQ(resolved[0].SameHost(ipv4), std::string(c.text).find("127.0.0.1") != std::string::npos) << c.host;
    }
}

TEST(BlockingSocketTest, ConnectsOverIPv6)
{
    Pair pair(0, "::1");
    ASSERT_NE(pair.server.Handle(), 0u);
    EXPECT_EQ(pair.peer.HostText(), "::1");
    nsSocket::SocketAddress local;
    pair.client.LocalAddress(local);
    EXPECT_TRUE(local.SameHost(pair.peer));
    EXPECT_EQ(pair.client.SendAll("v6", 2, 5), 2);
    char buffer[2] = {};
    EXPECT_EQ(pair.server.Receive(buffer, 2, 5), 2);
}
