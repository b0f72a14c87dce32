#pragma once

// Minimal blocking TCP helpers for the test side. The engine's own socket layer
// is what the tests examine, so the test fixtures must not depend on it.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

#ifdef _WIN32
using SocketHandle = std::uintptr_t; // SOCKET, without pulling winsock2.h into every test
inline constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// Starts Winsock once per process; a no-op elsewhere. Safe to call from any thread.
void StartSockets();

// Owns one socket handle; closing is idempotent.
class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : handle_(handle) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : handle_(other.Release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SocketHandle Handle() const { return handle_; }
    bool Valid() const { return handle_ != kInvalidSocket; }
    SocketHandle Release();
    void Close();
    // Sends FIN while still allowing reads, so the peer sees a clean end of stream.
    void ShutdownSend();
    // Closes with a zero linger time: the peer receives a reset instead of a FIN and
    // unsent data is discarded.
    void CloseWithReset();

private:
    SocketHandle handle_ = kInvalidSocket;
};

// Listens on 127.0.0.1, or ::1 with ipv6; port 0 picks a free port. Returns an invalid
// socket on failure.
Socket ListenLoopback(uint16_t port = 0, bool ipv6 = false);
uint16_t LocalPort(const Socket& socket);
// Call once the listener is readable; returns an invalid socket on failure.
Socket Accept(const Socket& listener);
// fromAddress (host byte order, e.g. 127.0.0.2) binds the local end first: another host,
// as far as the peer can tell.
Socket ConnectLoopback(uint16_t port, uint32_t fromAddress = 0);
void SetNoDelay(const Socket& socket);
bool SetNonBlocking(const Socket& socket);

enum class WaitResult { kReady, kTimeout, kError };
WaitResult WaitReadable(const Socket& socket, std::chrono::milliseconds timeout);
WaitResult WaitWritable(const Socket& socket, std::chrono::milliseconds timeout);
// Bytes received (> 0), 0 on orderly close by the peer, < 0 on error.
int ReceiveSome(const Socket& socket, char* buffer, int size);
// Blocks until everything is sent; only for sockets in blocking mode.
bool SendAll(const Socket& socket, std::string_view bytes);
// For non-blocking sockets: bytes sent (> 0), 0 when the send buffer is full, < 0 on error.
int SendSome(const Socket& socket, std::string_view bytes);

// A connection attempt split in two so that the caller can bound and interrupt the wait.
// StartConnect returns a non-blocking socket, invalid when the attempt failed at once;
// `address` is an IPv4 address in host byte order.
Socket StartConnect(uint32_t address, uint16_t port);
// The same for a numeric IPv4 or IPv6 address ("127.0.0.1", "::1").
Socket StartConnectTo(const std::string& numericAddress, uint16_t port);
// kReady once connected, kError once refused or failed.
WaitResult WaitConnected(const Socket& socket, std::chrono::milliseconds timeout);

// A listener on 127.0.0.1 that answers no further connect: its backlog is full of
// connections nobody accepts, so the system drops each new attempt and the connecting side
// waits as for a host that never answers, without a packet leaving loopback.
struct UnansweringListener {
    Socket listener;
    std::vector<Socket> queued;
    uint16_t port = 0;
};
// The listener is invalid when its backlog could not be filled.
UnansweringListener ListenWithoutAnswering();

// A plain blocking client for driving a server from a test.
class TestClient {
public:
    struct Received {
        enum class Status { kData, kClosed, kTimeout, kError };
        Status status = Status::kTimeout;
        std::string data;
    };

    TestClient() { StartSockets(); }
    bool Connect(uint16_t port);
    // Takes the next connection from `listener`, for tests in which the server connects.
    bool Accept(const Socket& listener, std::chrono::milliseconds timeout);
    bool Send(std::string_view bytes) { return SendAll(socket_, bytes); }
    // Exactly one receive call, so tests can observe how the peer segmented its data.
    Received ReceiveOnce(std::chrono::milliseconds timeout);
    // Accumulates until `terminator` has arrived, the peer closes or the time is up.
    std::string ReceiveUntil(std::string_view terminator, std::chrono::milliseconds timeout);
    // Discards incoming data until the peer's orderly close; false on timeout or reset.
    bool WaitForClose(std::chrono::milliseconds timeout);
    // Accumulates everything until the stream ends; the status says how it ended
    // (kClosed for a FIN, kError for a reset, kTimeout).
    Received ReceiveToEnd(std::chrono::milliseconds timeout);
    void Close() { socket_.Close(); }
    const Socket& Raw() const { return socket_; }

private:
    Socket socket_;
};

} // namespace testsupport
