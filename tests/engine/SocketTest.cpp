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

nsSocket::SocketAddress Loopback(std::uint16_t port)
{
    nsSocket::SocketAddress address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connected pair of engine sockets over loopback.
struct Pair {
    CBlockingSocket listener, client, server;
    explicit Pair(int bufferBytes = 0)
    {
        listener.Open();
        listener.Bind(Loopback(0));
        listener.Listen();
        nsSocket::SocketAddress bound{};
        listener.LocalAddress(bound);
        client.Open();
        if (bufferBytes) SetSendBuffer(client, bufferBytes);
        client.Connect(Loopback(ntohs(bound.sin_port)), 5);
        nsSocket::SocketAddress peer{};
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
    socket.Open();
    EXPECT_NE(socket.Handle(), 0u);
    EXPECT_NO_THROW(socket.Close());
    EXPECT_EQ(socket.Handle(), 0u);
    EXPECT_NO_THROW(socket.Close());
    socket.Open();
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
    probe.Open();
    probe.Bind(Loopback(0));
    nsSocket::SocketAddress freed{};
    probe.LocalAddress(freed);
    probe.Close();
    socket.Open();
    try {
        socket.Connect(freed, 5);
        FAIL() << "connected";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.Message(), L"Cannot establish a connection to the server.");
        EXPECT_NE(e.ErrorCode(), 0);
    }
    socket.CloseQuietly();

    const auto resolved = socket.ResolveHost("127.0.0.1", 2121);
    EXPECT_EQ(ntohs(resolved.sin_port), 2121);
    EXPECT_EQ(ntohl(resolved.sin_addr.s_addr), INADDR_LOOPBACK);
}
