#pragma once
// Blocking TCP sockets over IPv4 or IPv6 with per-call timeouts. Every failure throws
// CBlockingSocketException; only the engine catches it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace nsSocket {

#ifdef _WIN32
using SocketHandle = SOCKET;
#else
// A file descriptor plus one, so that 0 keeps meaning "no socket" even when the
// descriptor itself is 0 (a process started without standard input).
using SocketHandle = std::uintptr_t;
#endif

// An IPv4 or IPv6 address with its port.
class SocketAddress {
public:
    SocketAddress() = default;
    // Copies a system address of either family; anything else leaves an empty address.
    SocketAddress(const sockaddr* address, std::size_t length);
    // The wildcard address of the family, port 0.
    static SocketAddress Any(int family);
    // A numeric IPv4 or IPv6 address ("127.0.0.1", "::1"); false for anything else, names included.
    static bool FromText(const std::string& text, std::uint16_t port, SocketAddress& address);

    int Family() const { return storage.ss_family; }
    bool IsIPv6() const { return Family() == AF_INET6; }
    std::uint16_t Port() const;
    void SetPort(std::uint16_t port);
    // The address in its numeric form, without the port ("192.0.2.1", "2001:db8::1").
    std::string HostText() const;
    // Whether both name the same host, ports aside. An IPv4 address mapped into IPv6
    // (::ffff:a.b.c.d) is the IPv4 address it carries.
    bool SameHost(const SocketAddress& other) const;

    const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* Raw() { return reinterpret_cast<sockaddr*>(&storage); }
    int Length() const;
    static constexpr int Capacity() { return static_cast<int>(sizeof(sockaddr_storage)); }

private:
    sockaddr_storage storage{};
};

// Winsock error numbers as the messages report them; the same values on every platform.
constexpr int SOCKET_ERROR_INTERRUPTED = 10004; // WSAEINTR
constexpr int SOCKET_ERROR_TIMED_OUT = 10060;   // WSAETIMEDOUT
constexpr int LISTEN_BACKLOG = 5;

// The Windows Sockets (or errno) error of the last call on this thread.
int LastSocketError();

class CBlockingSocketException {
public:
    // Takes the last socket error at the moment it is built.
    explicit CBlockingSocketException(std::wstring message);
    CBlockingSocketException(std::wstring message, int errorCode);
    virtual ~CBlockingSocketException() = default;

    virtual std::wstring MessageText(unsigned int* helpContext = nullptr) const;
    // The message, a blank line and "Error code: " with the code.
    virtual bool FormatMessageText(std::wstring& text) const;

    const std::wstring& Message() const { return message; }
    int ErrorCode() const { return errorCode; }

private:
    std::wstring message;
    int errorCode;
};

class IBlockingSocket {
public:
    virtual ~IBlockingSocket() = default; // does not close the handle
    virtual IBlockingSocket* NewInstance() const = 0;
    // A new socket of the address family (AF_INET, AF_INET6).
    virtual void Open(int family, int type = SOCK_STREAM) = 0;
    // Waits at most timeoutSeconds for the peer to answer; an interrupt ends the wait.
    virtual void Connect(const SocketAddress& address, int timeoutSeconds) = 0;
    virtual void Bind(const SocketAddress& address) = 0;
    virtual void Listen() = 0;
    virtual void CloseQuietly() = 0;
    // Shuts the connection down both ways without closing the handle, from any thread, so
    // that a connect, accept, receive or send waiting on it in another thread fails at once.
    virtual void Interrupt() = 0;
    // Waits at most timeoutSeconds for the peer to connect.
    virtual bool Accept(IBlockingSocket& target, SocketAddress& peer, int timeoutSeconds) = 0;
    virtual void Close() = 0;
    virtual int SendAll(const char* bytes, int length, int timeoutSeconds) = 0;
    virtual int Receive(char* buffer, int capacity, int timeoutSeconds) = 0;
    virtual void LocalAddress(SocketAddress& address) = 0;
    virtual SocketHandle Handle() const = 0;
    virtual bool HasPendingData() = 0;
    // Every address the host has, in the resolver's order of preference; a numeric address
    // (IPv6 in brackets or not) is taken as it is. Never empty: failure throws.
    virtual std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) = 0;
    virtual std::string ResolveAddress(const SocketAddress& address) = 0;
};

class CBlockingSocket : public IBlockingSocket {
public:
    CBlockingSocket() = default;
    CBlockingSocket(const CBlockingSocket&) = delete;
    CBlockingSocket& operator=(const CBlockingSocket&) = delete;

    IBlockingSocket* NewInstance() const override;
    void Open(int family, int type = SOCK_STREAM) override;
    void Connect(const SocketAddress& address, int timeoutSeconds) override;
    void Bind(const SocketAddress& address) override;
    void Listen() override;
    void CloseQuietly() override;
    void Interrupt() override;
    bool Accept(IBlockingSocket& target, SocketAddress& peer, int timeoutSeconds) override;
    void Close() override;
    int SendAll(const char* bytes, int length, int timeoutSeconds) override;
    int Receive(char* buffer, int capacity, int timeoutSeconds) override;
    void LocalAddress(SocketAddress& address) override;
    SocketHandle Handle() const override { return handle; }
    bool HasPendingData() override;
    std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) override;
    std::string ResolveAddress(const SocketAddress& address) override;

    // One send() after waiting for the socket to become writable; returns what it took.
    int SendSome(const char* bytes, int length, int timeoutSeconds);

private:
    SocketHandle handle = 0;
    std::atomic<bool> interrupted{false};
    // Set by a send, cleared by a receive: the peer's answer to what was just sent cannot
    // be there yet, so the receive waits before it tries.
    bool answerPending = false;
    // Interrupt comes from another thread: the handle must not be closed (and its number
    // reused by another socket) between its check and the shutdown.
    std::mutex handleMutex;
};

// Starts and stops the socket library (Windows Sockets 2.0); nothing to do elsewhere.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
    bool Started() const { return started; }

private:
    bool started = false;
};

} // namespace nsSocket
