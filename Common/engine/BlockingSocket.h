#pragma once
// Blocking IPv4 TCP sockets with per-call timeouts. Every failure throws
// CBlockingSocketException; only the engine catches it.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
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
using SocketAddress = sockaddr_in;

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
    virtual void Open(int type = SOCK_STREAM) = 0;
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
    virtual SocketAddress ResolveHost(const std::string& host, std::uint16_t port) = 0;
    virtual std::string ResolveAddress(const SocketAddress& address) = 0;
};

class CBlockingSocket : public IBlockingSocket {
public:
    CBlockingSocket() = default;
    CBlockingSocket(const CBlockingSocket&) = delete;
    CBlockingSocket& operator=(const CBlockingSocket&) = delete;

    IBlockingSocket* NewInstance() const override;
    void Open(int type = SOCK_STREAM) override;
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
    SocketAddress ResolveHost(const std::string& host, std::uint16_t port) override;
    std::string ResolveAddress(const SocketAddress& address) override;

    // One send() after waiting for the socket to become writable; returns what it took.
    int SendSome(const char* bytes, int length, int timeoutSeconds);

private:
    SocketHandle handle = 0;
    std::atomic<bool> interrupted{false};
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
