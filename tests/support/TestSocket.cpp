#include "support/TestSocket.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutdownSend = SD_SEND;
#else
using NativeSocket = int;
// A peer that has gone away must produce an error, not kill the test process.
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutdownSend = SHUT_WR;
#endif

NativeSocket Native(const Socket& socket) { return static_cast<NativeSocket>(socket.Handle()); }

sockaddr_in IPv4Address(uint32_t host, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

sockaddr_in LoopbackAddress(uint16_t port) { return IPv4Address(INADDR_LOOPBACK, port); }

bool WouldBlock()
{
#ifdef _WIN32
    int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
#else
    return errno == EWOULDBLOCK || errno == EAGAIN || errno == EINPROGRESS;
#endif
}

Socket NewTcpSocket(int family = AF_INET)
{
    StartSockets();
    NativeSocket s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
    if (s == INVALID_SOCKET) return Socket();
#else
    if (s < 0) return Socket();
#endif
    return Socket(static_cast<SocketHandle>(s));
}

} // namespace

void StartSockets()
{
#ifdef _WIN32
    // Never cleaned up: other fixtures may still hold sockets until process exit.
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
#endif
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = other.Release();
    }
    return *this;
}

SocketHandle Socket::Release()
{
    SocketHandle handle = handle_;
    handle_ = kInvalidSocket;
    return handle;
}

void Socket::Close()
{
    if (!Valid()) return;
#ifdef _WIN32
    ::closesocket(static_cast<NativeSocket>(handle_));
#else
    ::close(handle_);
#endif
    handle_ = kInvalidSocket;
}

void Socket::ShutdownSend()
{
    if (Valid()) ::shutdown(Native(*this), kShutdownSend);
}

void Socket::CloseWithReset()
{
    if (!Valid()) return;
    linger option{};
    option.l_onoff = 1;
    option.l_linger = 0;
    ::setsockopt(Native(*this), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof option);
    Close();
}

Socket ListenLoopback(uint16_t port, bool ipv6)
{
    Socket socket = NewTcpSocket(ipv6 ? AF_INET6 : AF_INET);
    if (!socket.Valid()) return socket;
    sockaddr_in address = LoopbackAddress(port);
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(port);
    address6.sin6_addr = in6addr_loopback;
    const auto* chosen =
        ipv6 ? reinterpret_cast<const sockaddr*>(&address6) : reinterpret_cast<const sockaddr*>(&address);
    const int length = ipv6 ? static_cast<int>(sizeof address6) : static_cast<int>(sizeof address);
    if (::bind(Native(socket), chosen, length) != 0 || ::listen(Native(socket), 8) != 0) socket.Close();
    return socket;
}

uint16_t LocalPort(const Socket& socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

Socket Accept(const Socket& listener)
{
    NativeSocket s = ::accept(Native(listener), nullptr, nullptr);
#ifdef _WIN32
    if (s == INVALID_SOCKET) return Socket();
#else
    if (s < 0) return Socket();
#endif
    return Socket(static_cast<SocketHandle>(s));
}

Socket ConnectLoopback(uint16_t port, uint32_t fromAddress)
{
    Socket socket = NewTcpSocket();
    if (!socket.Valid()) return socket;
    if (fromAddress != 0) {
        sockaddr_in local = LoopbackAddress(0);
        local.sin_addr.s_addr = htonl(fromAddress);
        if (::bind(Native(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            socket.Close();
            return socket;
        }
    }
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        socket.Close();
    }
    return socket;
}

void SetNoDelay(const Socket& socket)
{
    int on = 1;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

bool SetNonBlocking(const Socket& socket)
{
#ifdef _WIN32
    u_long on = 1;
    return ::ioctlsocket(Native(socket), FIONBIO, &on) == 0;
#else
    int flags = ::fcntl(Native(socket), F_GETFL, 0);
    return flags >= 0 && ::fcntl(Native(socket), F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

namespace {

// One select() on a single socket; a failed connection attempt shows up in the
// exception set on Windows and as writable elsewhere.
WaitResult Wait(const Socket& socket, bool write, std::chrono::milliseconds timeout, bool* failed = nullptr)
{
    if (!socket.Valid()) return WaitResult::kError;
    fd_set wanted;
    fd_set errors;
    FD_ZERO(&wanted);
    FD_ZERO(&errors);
    FD_SET(Native(socket), &wanted);
    FD_SET(Native(socket), &errors);
    timeval tv{};
    tv.tv_sec = static_cast<long>(timeout.count() / 1000);
    tv.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
    int n = ::select(static_cast<int>(Native(socket)) + 1, write ? nullptr : &wanted, write ? &wanted : nullptr,
                     failed ? &errors : nullptr, &tv);
    if (n < 0) return WaitResult::kError;
    if (failed) *failed = FD_ISSET(Native(socket), &errors) != 0;
    return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

} // namespace

WaitResult WaitReadable(const Socket& socket, std::chrono::milliseconds timeout)
{
    return Wait(socket, false, timeout);
}

WaitResult WaitWritable(const Socket& socket, std::chrono::milliseconds timeout) { return Wait(socket, true, timeout); }

Socket StartConnect(uint32_t address, uint16_t port)
{
    Socket socket = NewTcpSocket();
    if (!socket.Valid()) return socket;
    if (!SetNonBlocking(socket)) {
        socket.Close();
        return socket;
    }
    sockaddr_in target = IPv4Address(address, port);
    if (::connect(Native(socket), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && !WouldBlock()) {
        socket.Close();
    }
    return socket;
}

Socket StartConnectTo(const std::string& numericAddress, uint16_t port)
{
    sockaddr_in target{};
    sockaddr_in6 target6{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target6.sin6_family = AF_INET6;
    target6.sin6_port = htons(port);
    const bool ipv6 = ::inet_pton(AF_INET, numericAddress.c_str(), &target.sin_addr) != 1;
    if (ipv6 && ::inet_pton(AF_INET6, numericAddress.c_str(), &target6.sin6_addr) != 1) return Socket();
    Socket socket = NewTcpSocket(ipv6 ? AF_INET6 : AF_INET);
    if (!socket.Valid()) return socket;
    if (!SetNonBlocking(socket)) {
        socket.Close();
        return socket;
    }
    const auto* chosen =
        ipv6 ? reinterpret_cast<const sockaddr*>(&target6) : reinterpret_cast<const sockaddr*>(&target);
    const int length = ipv6 ? static_cast<int>(sizeof target6) : static_cast<int>(sizeof target);
    if (::connect(Native(socket), chosen, length) != 0 && !WouldBlock()) socket.Close();
    return socket;
}

WaitResult WaitConnected(const Socket& socket, std::chrono::milliseconds timeout)
{
    bool failed = false;
    WaitResult result = Wait(socket, true, timeout, &failed);
    if (result != WaitResult::kReady) return result;
    int error = 0;
    socklen_t length = sizeof error;
    if (failed || ::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0) {
        return WaitResult::kError;
    }
    return WaitResult::kReady;
}

UnansweringListener ListenWithoutAnswering()
{
    constexpr int kMostQueued = 16;
    // A queued connection completes at once on loopback; one that has not after this long
    // was dropped.
    constexpr auto kDropped = std::chrono::seconds(2);
    UnansweringListener result;
    result.listener = NewTcpSocket();
    if (!result.listener.Valid()) return result;
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(Native(result.listener), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(Native(result.listener), 0) != 0) {
        result.listener.Close();
        return result;
    }
    result.port = LocalPort(result.listener);
    while (static_cast<int>(result.queued.size()) < kMostQueued) {
        Socket attempt = StartConnect(INADDR_LOOPBACK, result.port);
        if (!attempt.Valid()) break;
        const WaitResult outcome = WaitConnected(attempt, kDropped);
        if (outcome == WaitResult::kTimeout) return result;
        if (outcome != WaitResult::kReady) break;
        result.queued.push_back(std::move(attempt));
    }
    result.listener.Close();
    return result;
}

int ReceiveSome(const Socket& socket, char* buffer, int size)
{
    return static_cast<int>(::recv(Native(socket), buffer, size, 0));
}

bool SendAll(const Socket& socket, std::string_view bytes)
{
    if (!socket.Valid()) return false;
    while (!bytes.empty()) {
        int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
        auto sent = ::send(Native(socket), bytes.data(), chunk, kSendFlags);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

int SendSome(const Socket& socket, std::string_view bytes)
{
    int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
    auto sent = ::send(Native(socket), bytes.data(), chunk, kSendFlags);
    if (sent < 0) return WouldBlock() ? 0 : -1;
    return static_cast<int>(sent);
}

bool TestClient::Accept(const Socket& listener, std::chrono::milliseconds timeout)
{
    socket_.Close();
    if (WaitReadable(listener, timeout) != WaitResult::kReady) return false;
    socket_ = testsupport::Accept(listener);
    if (socket_.Valid()) SetNoDelay(socket_);
    return socket_.Valid();
}

bool TestClient::Connect(uint16_t port)
{
    socket_ = ConnectLoopback(port);
    if (socket_.Valid()) SetNoDelay(socket_);
    return socket_.Valid();
}

TestClient::Received TestClient::ReceiveOnce(std::chrono::milliseconds timeout)
{
    Received result;
    switch (WaitReadable(socket_, timeout)) {
    case WaitResult::kTimeout: result.status = Received::Status::kTimeout; return result;
    case WaitResult::kError: result.status = Received::Status::kError; return result;
    case WaitResult::kReady: break;
    }
    char buffer[65536];
    int n = ReceiveSome(socket_, buffer, sizeof buffer);
    if (n > 0) {
        result.status = Received::Status::kData;
        result.data.assign(buffer, static_cast<size_t>(n));
    } else {
        result.status = n == 0 ? Received::Status::kClosed : Received::Status::kError;
    }
    return result;
}

std::string TestClient::ReceiveUntil(std::string_view terminator, std::chrono::milliseconds timeout)
{
    std::string data;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (data.find(terminator) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        Received part = ReceiveOnce(left);
        if (part.status != Received::Status::kData) break;
        data += part.data;
    }
    return data;
}

bool TestClient::WaitForClose(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        Received part = ReceiveOnce(left);
        if (part.status == Received::Status::kClosed) return true;
        if (part.status != Received::Status::kData) return false;
    }
}

TestClient::Received TestClient::ReceiveToEnd(std::chrono::milliseconds timeout)
{
    Received result;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.status = Received::Status::kTimeout;
            return result;
        }
        Received part = ReceiveOnce(left);
        if (part.status != Received::Status::kData) {
            result.status = part.status;
            return result;
        }
        result.data += part.data;
    }
}

} // namespace testsupport
