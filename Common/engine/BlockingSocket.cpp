#include "engine/BlockingSocket.h"

#include <algorithm>
#include <cstring>

#include "engine/Reporter.h"
#include "engine/TextCodec.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace nsSocket {
namespace {

constexpr wchar_t kCreateFailed[] = L"Cannot create socket.";
constexpr wchar_t kConnectFailed[] = L"Cannot establish a connection to the server.";
constexpr wchar_t kConnectTimeout[] = L"Cannot establish a connection to the server (connect timeout).";
constexpr wchar_t kBindFailed[] = L"Error binding acceptor socket.";
constexpr wchar_t kListenFailed[] = L"Error creating listening socket.";
constexpr wchar_t kAcceptFailed[] = L"Error creating acceptor socket.";
constexpr wchar_t kAcceptTimeout[] = L"The server did not open the data connection (accept timeout).";
constexpr wchar_t kCloseFailed[] = L"Unable to close socket.";
constexpr wchar_t kSendTimeout[] = L"Unable to send data (send timeout).";
constexpr wchar_t kSendFailed[] = L"Unable to send data.";
constexpr wchar_t kReceiveTimeout[] = L"Unable to receive data (receive timeout).";
constexpr wchar_t kReceiveFailed[] = L"Unable to receive data.";
constexpr wchar_t kInterrupted[] = L"The transfer was stopped.";
constexpr wchar_t kLocalAddressFailed[] = L"getsockname() failed.";
constexpr wchar_t kSelectFailed[] = L"select() failed.";
constexpr wchar_t kHostNotFound[] =
    L"The host '%s' could not be found. Please make sure you are connected to the Internet and verify that you have "
    L"entered the server name correctly.";
constexpr wchar_t kAddressNotFound[] =
    L"The host could not be found. Please verify that you have entered the server name and port correctly and make "
    L"sure you are connected to the Internet.";

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
NativeSocket ToNative(SocketHandle handle) { return handle; }
SocketHandle FromNative(NativeSocket s) { return s == INVALID_SOCKET ? 0 : s; }
int CloseNative(NativeSocket s) { return closesocket(s); }
#else
using NativeSocket = int;
using AddressLength = socklen_t;
NativeSocket ToNative(SocketHandle handle) { return static_cast<NativeSocket>(handle) - 1; }
SocketHandle FromNative(NativeSocket s) { return s < 0 ? 0 : static_cast<SocketHandle>(s) + 1; }
int CloseNative(NativeSocket s) { return ::close(s); }
#endif

// Waits until the socket can be read (or written); 0 means the time ran out, a negative
// number that the wait failed. The wait goes in short slices so that an interrupt from
// another thread is seen at once: not every socket library wakes a waiting select() when
// another thread shuts the socket down.
constexpr int WAIT_SLICE_MS = 100;
constexpr int MS_PER_SECOND = 1000;
constexpr int INTERRUPTED_WAIT = -2;
// Winsock reports a failed connect among the exceptions; only then is its error asked for.
constexpr int CONNECT_FAILED_WAIT = -3;

enum class WaitFor { Reading, Writing, Connecting };

int WaitSlice(SocketHandle handle, WaitFor what, int milliseconds)
{
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ToNative(handle), &set);
    // Winsock reports a failed connect among the exceptions, not as writable.
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(ToNative(handle), &failed);
    timeval limit{milliseconds / MS_PER_SECOND, (milliseconds % MS_PER_SECOND) * MS_PER_SECOND};
    const int ready = select(0, what == WaitFor::Reading ? &set : nullptr, what != WaitFor::Reading ? &set : nullptr,
                             what == WaitFor::Connecting ? &failed : nullptr, &limit);
    if (ready > 0 && what == WaitFor::Connecting && FD_ISSET(ToNative(handle), &failed)) return CONNECT_FAILED_WAIT;
    return ready;
#else
    pollfd entry{ToNative(handle), static_cast<short>(what == WaitFor::Reading ? POLLIN : POLLOUT), 0};
    int result;
    do {
        result = ::poll(&entry, 1, milliseconds);
    } while (result < 0 && errno == EINTR);
    return result;
#endif
}

int WaitReady(SocketHandle handle, WaitFor what, int timeoutSeconds, const std::atomic<bool>& interrupted)
{
    constexpr long long kMaxSeconds = 2'000'000;
    long long left = static_cast<long long>(timeoutSeconds < 0 ? 0 : std::min<long long>(timeoutSeconds, kMaxSeconds)) *
                     MS_PER_SECOND;
    for (;;) {
        if (interrupted) return INTERRUPTED_WAIT;
        const int slice = static_cast<int>(std::min<long long>(left, WAIT_SLICE_MS));
        const int result = WaitSlice(handle, what, slice);
        if (result != 0 || left <= WAIT_SLICE_MS) return interrupted ? INTERRUPTED_WAIT : result;
        left -= WAIT_SLICE_MS;
    }
}

// Connected sockets are non-blocking: a receive or send is tried first and waited for
// only when it cannot go on at once. During a transfer data is nearly always ready, so
// each block costs one call into the socket library instead of a wait and a call.
void MakeNonBlocking(NativeSocket s)
{
#ifdef _WIN32
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
#else
    const int flags = fcntl(s, F_GETFL, 0);
    if (flags >= 0) fcntl(s, F_SETFL, flags | O_NONBLOCK);
#endif
}

bool WouldBlock(int error)
{
#ifdef _WIN32
    return error == WSAEWOULDBLOCK;
#else
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
#endif
}

bool ConnectGoesOn(int error)
{
#ifdef _WIN32
    return error == WSAEWOULDBLOCK;
#else
    return error == EINPROGRESS || error == EINTR;
#endif
}

// The outcome of a connect that was waited for: 0 once connected, else the error.
int ConnectOutcome(NativeSocket s)
{
    int error = 0;
    AddressLength length = sizeof(error);
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return LastSocketError();
    return error;
}

} // namespace

int LastSocketError()
{
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

CBlockingSocketException::CBlockingSocketException(std::wstring message)
    : CBlockingSocketException(std::move(message), LastSocketError())
{
}

CBlockingSocketException::CBlockingSocketException(std::wstring message, int errorCode)
    : message(std::move(message)), errorCode(errorCode)
{
}

std::wstring CBlockingSocketException::MessageText(unsigned int* /*helpContext*/) const
{
    std::wstring text;
    FormatMessageText(text);
    return text;
}

bool CBlockingSocketException::FormatMessageText(std::wstring& text) const
{
    text = message + L"\n\nError code: " + std::to_wstring(errorCode);
    return true;
}

SocketAddress::SocketAddress(const sockaddr* address, std::size_t length)
{
    if (address == nullptr) return;
    const bool known = (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) ||
                       (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6));
    if (known)
        std::memcpy(&storage, address, address->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
}

SocketAddress SocketAddress::Any(int family)
{
    SocketAddress any;
    any.storage.ss_family = static_cast<decltype(any.storage.ss_family)>(family == AF_INET6 ? AF_INET6 : AF_INET);
    // Both wildcards are all zero bytes.
    return any;
}

bool SocketAddress::FromText(const std::string& text, std::uint16_t port, SocketAddress& address)
{
    SocketAddress parsed;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&parsed.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&parsed.storage);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
    } else if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
    } else {
        return false;
    }
    parsed.SetPort(port);
    address = parsed;
    return true;
}

std::uint16_t SocketAddress::Port() const
{
    if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    return 0;
}

void SocketAddress::SetPort(std::uint16_t port)
{
    if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
    if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
}

std::string SocketAddress::HostText() const
{
    char text[INET6_ADDRSTRLEN] = {};
    // inet_ntop takes a non-const source in older Winsock headers.
    auto& source = const_cast<sockaddr_storage&>(storage);
    if (Family() == AF_INET6) {
        if (::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&source)->sin6_addr, text, sizeof(text)) == nullptr)
            return {};
    } else if (Family() == AF_INET) {
        if (::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&source)->sin_addr, text, sizeof(text)) == nullptr)
            return {};
    }
    return text;
}

namespace {

constexpr std::size_t IPV6_BYTES = 16;
constexpr std::size_t IPV4_BYTES = 4;
constexpr std::size_t MAPPED_PREFIX_BYTES = 12;
constexpr unsigned char kMappedPrefix[MAPPED_PREFIX_BYTES] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

// The host part as bytes: 4 for IPv4 (mapped IPv6 included), 16 for IPv6, none otherwise.
std::string HostBytes(const sockaddr_storage& storage)
{
    if (storage.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&storage);
        return {reinterpret_cast<const char*>(&v4->sin_addr), IPV4_BYTES};
    }
    if (storage.ss_family != AF_INET6) return {};
    const auto* bytes = reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr);
    if (std::memcmp(bytes, kMappedPrefix, MAPPED_PREFIX_BYTES) == 0) return {bytes + MAPPED_PREFIX_BYTES, IPV4_BYTES};
    return {bytes, IPV6_BYTES};
}

} // namespace

bool SocketAddress::SameHost(const SocketAddress& other) const
{
    const std::string mine = HostBytes(storage);
    return !mine.empty() && mine == HostBytes(other.storage);
}

int SocketAddress::Length() const
{
    if (Family() == AF_INET6) return static_cast<int>(sizeof(sockaddr_in6));
    if (Family() == AF_INET) return static_cast<int>(sizeof(sockaddr_in));
    return 0;
}

IBlockingSocket* CBlockingSocket::NewInstance() const { return new CBlockingSocket(); }

void CBlockingSocket::Open(int family, int type)
{
    std::lock_guard lock(handleMutex);
    interrupted = false;
    handle = FromNative(::socket(family, type, 0));
    if (handle == 0) throw CBlockingSocketException(kCreateFailed);
}

// A blocking connect to a host that never answers would hold the caller for as long as
// the system keeps retrying (about 21 s on Windows, minutes elsewhere), deaf to the user.
void CBlockingSocket::Connect(const SocketAddress& address, int timeoutSeconds)
{
    nsFTP::ReportSocketActivity();
    MakeNonBlocking(ToNative(handle));
    if (::connect(ToNative(handle), address.Raw(), address.Length()) == 0) return;
    const int error = LastSocketError();
    if (!ConnectGoesOn(error)) throw CBlockingSocketException(kConnectFailed, error);
    const int ready = WaitReady(handle, WaitFor::Connecting, timeoutSeconds, interrupted);
    if (ready == INTERRUPTED_WAIT) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
    if (ready == 0) throw CBlockingSocketException(kConnectTimeout, SOCKET_ERROR_TIMED_OUT);
    if (ready == CONNECT_FAILED_WAIT) throw CBlockingSocketException(kConnectFailed, ConnectOutcome(ToNative(handle)));
    if (ready < 0) throw CBlockingSocketException(kConnectFailed);
#ifndef _WIN32
    // poll() reports a failed connect as ready too; under Winsock a writable socket is a
    // connected one, and each call more is a round trip to the wineserver under Wine.
    const int outcome = ConnectOutcome(ToNative(handle));
    if (outcome != 0) throw CBlockingSocketException(kConnectFailed, outcome);
#endif
}

void CBlockingSocket::Bind(const SocketAddress& address)
{
    if (::bind(ToNative(handle), address.Raw(), address.Length()) != 0) throw CBlockingSocketException(kBindFailed);
}

void CBlockingSocket::Listen()
{
    if (::listen(ToNative(handle), LISTEN_BACKLOG) != 0) throw CBlockingSocketException(kListenFailed);
}

void CBlockingSocket::CloseQuietly()
{
    std::lock_guard lock(handleMutex);
    if (handle == 0) return;
    CloseNative(ToNative(handle));
    handle = 0;
}

bool CBlockingSocket::Accept(IBlockingSocket& target, SocketAddress& peer, int timeoutSeconds)
{
    auto* accepted = dynamic_cast<CBlockingSocket*>(&target);
    if (accepted == nullptr) throw CBlockingSocketException(kAcceptFailed, 0);
    nsFTP::ReportSocketActivity();
    // A server that never opens the data connection must not hold the caller forever.
    const int ready = WaitReady(handle, WaitFor::Reading, timeoutSeconds, interrupted);
    if (ready == INTERRUPTED_WAIT) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
    if (ready == 0) throw CBlockingSocketException(kAcceptTimeout);
    sockaddr_storage from{};
    AddressLength length = sizeof(from);
    const NativeSocket s = ::accept(ToNative(handle), reinterpret_cast<sockaddr*>(&from), &length);
    peer = SocketAddress(reinterpret_cast<const sockaddr*>(&from), static_cast<std::size_t>(length));
    {
        std::lock_guard lock(accepted->handleMutex);
        accepted->handle = FromNative(s);
    }
    if (accepted->handle != 0) {
        MakeNonBlocking(s);
        return true;
    }
    const int error = LastSocketError();
#ifdef _WIN32
    if (error == WSAEINTR) return false;
#else
    if (error == EINTR) return false;
#endif
    throw CBlockingSocketException(kAcceptFailed, error);
}

void CBlockingSocket::Interrupt()
{
    std::lock_guard lock(handleMutex);
    interrupted = true;
    if (handle == 0) return;
#ifdef _WIN32
    ::shutdown(ToNative(handle), SD_BOTH);
#else
    ::shutdown(ToNative(handle), SHUT_RDWR);
#endif
}

void CBlockingSocket::Close()
{
    std::lock_guard lock(handleMutex);
    if (handle == 0) return;
    if (CloseNative(ToNative(handle)) != 0) throw CBlockingSocketException(kCloseFailed);
    handle = 0;
}

int CBlockingSocket::SendSome(const char* bytes, int length, int timeoutSeconds)
{
    nsFTP::ReportSocketActivity();
    for (;;) {
        if (interrupted) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
#ifdef _WIN32
        const int sent = ::send(ToNative(handle), bytes, length, 0);
#else
        // A peer that has gone must show up as a failed send, not as SIGPIPE.
        const int sent = static_cast<int>(::send(ToNative(handle), bytes, static_cast<size_t>(length), MSG_NOSIGNAL));
#endif
        if (sent >= 0) {
            answerPending = true;
            return sent;
        }
        if (!WouldBlock(LastSocketError())) throw CBlockingSocketException(kSendFailed);
        const int ready = WaitReady(handle, WaitFor::Writing, timeoutSeconds, interrupted);
        if (ready == INTERRUPTED_WAIT) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
        if (ready == 0) throw CBlockingSocketException(kSendTimeout);
    }
}

int CBlockingSocket::SendAll(const char* bytes, int length, int timeoutSeconds)
{
    int done = 0;
    while (done < length)
        done += SendSome(bytes + done, length - done, timeoutSeconds);
    return length;
}

int CBlockingSocket::Receive(char* buffer, int capacity, int timeoutSeconds)
{
    nsFTP::ReportSocketActivity();
    bool waitFirst = answerPending;
    answerPending = false;
    for (;;) {
        if (interrupted) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
        if (!waitFirst) {
#ifdef _WIN32
            const int received = ::recv(ToNative(handle), buffer, capacity, 0);
#else
            const auto received = ::recv(ToNative(handle), buffer, static_cast<size_t>(capacity), 0);
#endif
            if (received >= 0) return static_cast<int>(received);
            if (!WouldBlock(LastSocketError())) throw CBlockingSocketException(kReceiveFailed);
        }
        waitFirst = false;
        const int ready = WaitReady(handle, WaitFor::Reading, timeoutSeconds, interrupted);
        if (ready == INTERRUPTED_WAIT) throw CBlockingSocketException(kInterrupted, SOCKET_ERROR_INTERRUPTED);
        if (ready == 0) throw CBlockingSocketException(kReceiveTimeout);
    }
}

void CBlockingSocket::LocalAddress(SocketAddress& address)
{
    sockaddr_storage local{};
    AddressLength length = sizeof(local);
    if (::getsockname(ToNative(handle), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        throw CBlockingSocketException(kLocalAddressFailed);
    address = SocketAddress(reinterpret_cast<const sockaddr*>(&local), static_cast<std::size_t>(length));
}

bool CBlockingSocket::HasPendingData()
{
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ToNative(handle), &set);
    timeval noWait{0, 0};
    const int ready = select(0, &set, nullptr, nullptr, &noWait);
#else
    pollfd entry{ToNative(handle), POLLIN, 0};
    const int ready = ::poll(&entry, 1, 0);
#endif
    if (ready < 0) throw CBlockingSocketException(kSelectFailed);
    return ready == 1;
}

std::vector<SocketAddress> CBlockingSocket::ResolveHost(const std::string& host, std::uint16_t port)
{
    // A host field may hold an IPv6 literal the way URLs write it, in brackets.
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    std::vector<SocketAddress> addresses;
    SocketAddress literal;
    if (SocketAddress::FromText(name, port, literal)) {
        addresses.push_back(literal);
        return addresses;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    for (const addrinfo* entry = found; status == 0 && entry != nullptr; entry = entry->ai_next) {
        SocketAddress address(entry->ai_addr, static_cast<std::size_t>(entry->ai_addrlen));
        if (address.Family() != AF_INET && address.Family() != AF_INET6) continue;
        address.SetPort(port);
        addresses.push_back(address);
    }
    if (found != nullptr) ::freeaddrinfo(found);
    if (addresses.empty()) {
        std::wstring text = kHostNotFound;
        text.replace(text.find(L"%s"), 2, nsFTP::WireToWide(host));
#ifdef _WIN32
        throw CBlockingSocketException(std::move(text), status);
#else
        throw CBlockingSocketException(std::move(text), status == EAI_SYSTEM ? errno : status);
#endif
    }
    return addresses;
}

std::string CBlockingSocket::ResolveAddress(const SocketAddress& address)
{
    char name[NI_MAXHOST] = {};
    if (::getnameinfo(address.Raw(), static_cast<AddressLength>(address.Length()), name, sizeof(name), nullptr, 0,
                      NI_NAMEREQD) != 0)
        throw CBlockingSocketException(kAddressNotFound);
    return name;
}

SocketLibrary::SocketLibrary()
{
#ifdef _WIN32
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
#else
    started = true;
#endif
}

SocketLibrary::~SocketLibrary()
{
#ifdef _WIN32
    if (started) WSACleanup();
#endif
}

} // namespace nsSocket
