#pragma once
// An engine socket that knows a made-up host name, for names with several addresses
// without a name server: the name resolves to the addresses given, in that order, and
// every other host as usual. An address given with port 0 takes the port asked for.
#include <string>
#include <utility>
#include <vector>

#include "engine/BlockingSocket.h"

class NamedAddressesSocket : public nsSocket::CBlockingSocket {
public:
    NamedAddressesSocket(std::string name, std::vector<nsSocket::SocketAddress> addresses)
        : name(std::move(name)), addresses(std::move(addresses))
    {
    }
    std::vector<nsSocket::SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) override
    {
        if (host != name) return CBlockingSocket::ResolveHost(host, port);
        std::vector<nsSocket::SocketAddress> found = addresses;
        for (auto& address : found)
            if (address.Port() == 0) address.SetPort(port);
        return found;
    }

private:
    std::string name;
    std::vector<nsSocket::SocketAddress> addresses;
};
