// Feeds arbitrary server byte streams through the reply reader and the logon walk.
// The first input byte picks the firewall mode (including values outside the table),
// the second how the stream is cut into receives; the rest is what the server sends.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/FTPClient.h"

namespace {

class StreamSocket : public nsSocket::IBlockingSocket {
public:
    StreamSocket(const std::uint8_t* data, std::size_t size, std::uint8_t cutSeed)
        : data(data), size(size), cutSeed(cutSeed)
    {
    }
    IBlockingSocket* NewInstance() const override { return new StreamSocket(nullptr, 0, 0); }
    void Open(int, int) override { handle = 1; }
    void Connect(const nsSocket::SocketAddress&, int) override {}
    void Bind(const nsSocket::SocketAddress&) override {}
    void Listen() override {}
    void CloseQuietly() override { handle = 0; }
    void Interrupt() override {}
    bool Accept(IBlockingSocket&, nsSocket::SocketAddress&, int) override { return false; }
    void Close() override { handle = 0; }
    int SendAll(const char*, int length, int) override
    {
        if (++sends % 29 == 28) throw nsSocket::CBlockingSocketException(L"Unable to send data.", 10054);
        return length;
    }
    int Receive(char* buffer, int capacity, int) override
    {
        if (position >= size) return 0;
        // Cuts of 1 to 64 bytes, or whole buffers, and now and then a time-out.
        cutSeed = static_cast<std::uint8_t>(cutSeed * 73 + 41);
        if (cutSeed == 0xFF) throw nsSocket::CBlockingSocketException(L"Unable to receive data (receive timeout).", 0);
        std::size_t take = cutSeed & 0x80 ? static_cast<std::size_t>(capacity) : (cutSeed & 0x3F) + 1u;
        if (take > static_cast<std::size_t>(capacity)) take = static_cast<std::size_t>(capacity);
        if (take > size - position) take = size - position;
        std::memcpy(buffer, data + position, take);
        position += take;
        return static_cast<int>(take);
    }
    void LocalAddress(nsSocket::SocketAddress& address) override { address = {}; }
    nsSocket::SocketHandle Handle() const override { return handle; }
    bool HasPendingData() override { return position < size; }
    std::vector<nsSocket::SocketAddress> ResolveHost(const std::string&, std::uint16_t) override
    {
        return {nsSocket::SocketAddress::Any(AF_INET)};
    }
    std::string ResolveAddress(const nsSocket::SocketAddress&) override { return {}; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
    std::uint8_t cutSeed;
    int sends = 0;
    nsSocket::SocketHandle handle = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    nsFTP::LogonSettings settings;
    settings.host = L"127.0.0.1";
    settings.port = 2121;
    settings.user = L"joe";
    settings.firewallHost = L"127.0.0.1";
    settings.firewallMode = static_cast<nsFTP::FirewallMode>(static_cast<std::int8_t>(data[0]) % 11);
    nsFTP::CFTPClient client(new StreamSocket(data + 2, size - 2, data[1]));
    client.LogOn(settings, 1);
    nsFTP::ServerReply reply;
    std::wstring path;
    for (int i = 0; i < 64 && client.IsConnected(); ++i) {
        client.SendCommand(L"NOOP", true);
        if (!client.ReadReply(reply, i % 2 == 0) && !client.IsConnected()) break;
        if (i % 8 == 0) client.GetCurrentDir(path);
    }
    client.LogOff();
    return 0;
}
