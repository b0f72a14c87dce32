// The TLS engine against a real TLS server on loopback (tests/support/tls-echo-server,
// started by ftpfixture), with the bytes moved by a plain blocking socket loop here.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "engine/TlsEngine.h"
#include "support/RealServers.h"
#include "support/TestSocket.h"

namespace {

using nsSocket::ITlsEngine;
using nsSocket::TlsStatus;
using nsSocket::TlsTrust;

constexpr char kCertificateName[] = "tls.orvid.test";

struct EchoServer {
    unsigned short port = 0;          // a self-signed certificate
    unsigned short unknownCaPort = 0; // a certificate from a CA that is not sent and not trusted
    std::string sha256;               // lower-case hex, no colons
};

bool FindEchoServer(EchoServer* server, std::string* why)
{
    const std::string text = testsupport::TlsEchoServerLine();
    if (text.empty()) {
        *why = "ORVID_TLS_ECHO is not set (run under tests/support/wine-run with ORVID_FTPFIXTURE)";
        return false;
    }
    std::size_t tab = text.find('\t'), equals = text.find('=');
    if (text.rfind("error\t", 0) == 0 || tab == std::string::npos || equals == std::string::npos) {
        ADD_FAILURE() << "the TLS echo server did not start: " << text;
        return false;
    }
    server->port = static_cast<unsigned short>(std::atoi(text.substr(0, tab).c_str()));
    server->unknownCaPort = static_cast<unsigned short>(std::atoi(text.substr(tab + 1).c_str()));
    for (char c : text.substr(equals + 1))
        if (c != ':') server->sha256 += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

// The test's side of a connection: plain blocking sockets, with a bound that only catches a
// hang.
class Socket {
public:
    explicit Socket(unsigned short port) { connected_ = client_.Connect(port); }
    bool Connected() const { return connected_; }
    bool Send(const std::string& bytes) { return client_.Send(bytes); }
    // Appends what arrives to buffer; false at the end of the stream, on an error or a hang.
    bool Receive(std::string& buffer)
    {
        testsupport::TestClient::Received received = client_.ReceiveOnce(std::chrono::seconds(60));
        if (received.status != testsupport::TestClient::Received::Status::kData) return false;
        buffer += received.data;
        return true;
    }

private:
    testsupport::TestClient client_;
    bool connected_ = false;
};

// Runs the handshake; what the peer sent beyond it stays in pending.
TlsStatus Handshake(ITlsEngine& engine, Socket& socket, std::string& pending)
{
    std::string out;
    std::size_t consumed = 0;
    TlsStatus status = engine.Handshake(nullptr, 0, consumed, out);
    for (;;) {
        if (!out.empty() && !socket.Send(out)) return TlsStatus::Failed;
        out.clear();
        if (status != TlsStatus::NeedMore) return status;
        if (!socket.Receive(pending)) return TlsStatus::Failed;
        status = engine.Handshake(pending.data(), pending.size(), consumed, out);
        pending.erase(0, consumed);
    }
}

struct Echo {
    TlsStatus end = TlsStatus::Failed; // how the reply ended
    std::string reply;
};

Echo RunEcho(ITlsEngine& engine, Socket& socket, std::string& pending, const std::string& data)
{
    std::string out;
    std::string message = std::to_string(data.size()) + "\n" + data;
    engine.Encrypt(message.data(), message.size(), out);
    Echo echo;
    if (out.size() <= message.size() || !socket.Send(out)) return echo;
    for (;;) {
        std::size_t consumed = 0;
        TlsStatus status = engine.Decrypt(pending.data(), pending.size(), consumed, echo.reply);
        pending.erase(0, consumed);
        if (status == TlsStatus::Closed || status == TlsStatus::Failed) {
            echo.end = status;
            return echo;
        }
        // After Ok the engine may still hold records it took (OpenSSL takes all it is given).
        if (status == TlsStatus::NeedMore && !socket.Receive(pending)) return echo;
    }
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::string RandomBytes(std::size_t size)
{
    std::mt19937 generator(23);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator());
    return bytes;
}

class TlsEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!FindEchoServer(&server_, &why)) GTEST_SKIP() << why;
    }
    EchoServer server_;
};

// A megabyte spans many records, so that records split across receives and several in one
// receive both occur; a data connection then resumes the control connection's session.
TEST_F(TlsEngineTest, EchoesBytesExactlyAndReportsTheSelfSignedCertificate)
{
    const std::string data = RandomBytes(1 << 20);
    std::unique_ptr<ITlsEngine> control;
    for (int connection = 0; connection < 2; ++connection) {
        SCOPED_TRACE(connection == 0 ? "control connection" : "resumed data connection");
        std::unique_ptr<ITlsEngine> engine = nsSocket::MakeTlsClient(kCertificateName, control.get());
        Socket socket(server_.port);
        ASSERT_TRUE(socket.Connected());
        std::string pending;
        ASSERT_EQ(Handshake(*engine, socket, pending), TlsStatus::Ok) << Narrow(engine->Error());

        nsSocket::TlsSessionInfo info = engine->Info();
        EXPECT_TRUE(info.version == L"TLS 1.2" || info.version == L"TLS 1.3");
        EXPECT_FALSE(info.cipher.empty());
        EXPECT_EQ(info.certificate.sha256, server_.sha256);
        // Wine quotes a value with a space in it; Windows does not.
        EXPECT_TRUE(info.certificate.subject == L"CN=tls.orvid.test, O=Orvid tests" ||
                    info.certificate.subject == L"CN=tls.orvid.test, O=\"Orvid tests\"")
            << Narrow(info.certificate.subject);
        EXPECT_EQ(info.certificate.issuer, info.certificate.subject);
        EXPECT_EQ(info.certificate.validFrom.size(), 19u);
        EXPECT_LT(info.certificate.validFrom, info.certificate.validTo);
        EXPECT_EQ(info.trust, TlsTrust::UntrustedChain);
        EXPECT_FALSE(info.trustDetail.empty());

        Echo echo = RunEcho(*engine, socket, pending, data);
        EXPECT_EQ(echo.end, TlsStatus::Closed) << Narrow(engine->Error());
        std::size_t newline = echo.reply.find('\n');
        ASSERT_NE(newline, std::string::npos);
        EXPECT_TRUE(echo.reply.substr(newline + 1) == data) << "the echo differs";
        std::string goodbye;
        engine->Shutdown(goodbye);
        EXPECT_FALSE(goodbye.empty());
        socket.Send(goodbye);
        std::wcout << L"[ TLS      ] " << info.version << L", " << info.cipher << L", "
                   << std::wstring(echo.reply.begin(), echo.reply.begin() + static_cast<std::ptrdiff_t>(newline))
                   << std::endl;
        if (!control) control = std::move(engine);
    }
}

// Wine's SSL policy lets a chain through that ends in an untrusted root; the chain's own
// status must catch it.
TEST_F(TlsEngineTest, UntrustedChainsAndOtherHostNamesAreNotTrusted)
{
    struct Case {
        const char* name;
        unsigned short port;
        const char* host;
    };
    const Case cases[] = {
        {"unknown CA", server_.unknownCaPort, kCertificateName},
        {"unknown CA, another host", server_.unknownCaPort, "other.orvid.test"},
        {"self-signed, another host", server_.port, "other.orvid.test"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ITlsEngine> engine = nsSocket::MakeTlsClient(c.host, nullptr);
        Socket socket(c.port);
        ASSERT_TRUE(socket.Connected());
        std::string pending;
        ASSERT_EQ(Handshake(*engine, socket, pending), TlsStatus::Ok) << Narrow(engine->Error());
        nsSocket::TlsSessionInfo info = engine->Info();
        // Both faults may be present: the chain's is reported, and the detail names both.
        EXPECT_EQ(info.trust, TlsTrust::UntrustedChain);
        bool otherHost = std::strcmp(c.host, kCertificateName) != 0;
        EXPECT_EQ(info.trustDetail.find(L"other.orvid.test") != std::wstring::npos, otherHost)
            << Narrow(info.trustDetail);
        std::wcout << L"[ TLS      ] " << info.trustDetail << std::endl;
    }
}

// A server that answers the ClientHello with these bytes and closes; empty when the
// handshake failed.
std::string AnswerWith(const std::string& reply, ITlsEngine& engine)
{
    testsupport::Socket listener = testsupport::ListenLoopback();
    if (!listener.Valid()) return "cannot listen";
    std::thread server([&] {
        if (testsupport::WaitReadable(listener, std::chrono::seconds(60)) != testsupport::WaitResult::kReady) return;
        testsupport::Socket accepted = testsupport::Accept(listener);
        char hello[4096];
        if (testsupport::ReceiveSome(accepted, hello, sizeof hello) > 0) testsupport::SendAll(accepted, reply);
    });
    std::string result;
    {
        Socket client(testsupport::LocalPort(listener));
        std::string pending;
        TlsStatus status = client.Connected() ? Handshake(engine, client, pending) : TlsStatus::Ok;
        if (status != TlsStatus::Failed) result = "status " + std::to_string(static_cast<int>(status));
    }
    server.join();
    return result;
}

TEST_F(TlsEngineTest, AServerThatDoesNotSpeakTlsFailsWithAReason)
{
    struct Case {
        const char* name;
        std::string reply;
    };
    const Case cases[] = {
        {"plain text", "220 Welcome to the plain FTP server\r\n"},
        {"a server hello of garbage", std::string("\x16\x03\x03\x00\x08\x02\x00\x00\x04\xAB\xAB\xAB\xAB", 13)},
        {"an alert", std::string("\x15\x03\x03\x00\x02\x02\x28", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ITlsEngine> engine = nsSocket::MakeTlsClient(kCertificateName, nullptr);
        EXPECT_EQ(AnswerWith(c.reply, *engine), "");
        EXPECT_FALSE(engine->Error().empty());
        std::wcout << L"[ TLS      ] " << engine->Error() << std::endl;
    }
}

} // namespace
