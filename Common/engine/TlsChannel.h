#pragma once
// A connected socket whose bytes pass through a TLS client. It is a socket itself, so that
// the control connection, the data loops and a caller-driven transfer use it exactly as
// they use a plain one: every receive and send keeps one deadline for the whole call, and
// an interrupt of the socket underneath cuts any wait, the handshake's included.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "engine/BlockingSocket.h"
#include "engine/TlsEngine.h"

namespace nsSocket {

class TlsChannel final : public IBlockingSocket {
public:
    // Over a socket that stays the caller's (the control connection).
    TlsChannel(IBlockingSocket& socket, std::unique_ptr<ITlsEngine> engine);
    // Over a socket it owns from now on (a data connection).
    TlsChannel(std::unique_ptr<IBlockingSocket> socket, std::unique_ptr<ITlsEngine> engine);
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // The whole handshake within timeoutSeconds; throws with a sentence saying why it failed.
    void Handshake(int timeoutSeconds);
    const ITlsEngine& Engine() const { return *engine; }

    IBlockingSocket* NewInstance() const override { return socket.NewInstance(); }
    void Open(int family, int type) override { socket.Open(family, type); }
    void Connect(const SocketAddress& address, int timeoutSeconds) override { socket.Connect(address, timeoutSeconds); }
    void Bind(const SocketAddress& address) override { socket.Bind(address); }
    void Listen() override { socket.Listen(); }
    void CloseQuietly() override { socket.CloseQuietly(); }
    void Interrupt() override { socket.Interrupt(); }
    bool Accept(IBlockingSocket& target, SocketAddress& peer, int timeoutSeconds) override
    {
        return socket.Accept(target, peer, timeoutSeconds);
    }
    // Says goodbye with a close_notify where the peer can still take it, then closes.
    void Close() override;
    int SendAll(const char* bytes, int length, int timeoutSeconds) override;
    // 0 once the peer has closed the session (close_notify, or an end of stream between
    // records); a stream that ends inside a record throws.
    int Receive(char* buffer, int capacity, int timeoutSeconds) override;
    void LocalAddress(SocketAddress& address) override { socket.LocalAddress(address); }
    SocketHandle Handle() const override { return socket.Handle(); }
    bool HasPendingData() override { return !plain.empty() || socket.HasPendingData(); }
    std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) override
    {
        return socket.ResolveHost(host, port);
    }
    std::string ResolveAddress(const SocketAddress& address) override { return socket.ResolveAddress(address); }

private:
    // One receive from the socket into raw, within what is left until deadline; false at
    // the end of the stream.
    bool ReceiveRaw(std::chrono::steady_clock::time_point deadline);
    void SendRaw(const std::string& bytes, std::chrono::steady_clock::time_point deadline);
    // Follows the record framing of what the peer sent, so that an end of stream inside a
    // record is told from one between records, whatever the TLS library keeps buffered.
    void TrackRecords(const char* bytes, std::size_t length);
    bool InsideRecord() const { return headerFill > 0 || bodyLeft > 0; }

    std::unique_ptr<IBlockingSocket> owned;
    IBlockingSocket& socket;
    std::unique_ptr<ITlsEngine> engine;
    std::string raw;    // received and not yet taken by the engine
    std::string plain;  // decrypted and not yet handed out
    std::string sealed; // records waiting to be sent
    std::size_t plainRead = 0;
    unsigned char header[5] = {};
    std::size_t headerFill = 0;
    std::size_t bodyLeft = 0;
    bool peerClosed = false;
    // The engine said NeedMore since it was last given bytes.
    bool engineDrained = true;
    bool established = false;
};

} // namespace nsSocket
