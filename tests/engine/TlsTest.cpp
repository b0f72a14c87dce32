// FTP over TLS: the logon's refusals before any password leaves, servers that break the
// handshake or a record, and byte-exact transfers through a real server that requires TLS.
// The cases that need a TLS server in the test process use OpenSSL's, and run natively.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "engine/TextCodec.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"
#include "support/Wait.h"

using namespace nsFTP;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTimeout = 2;
constexpr int kPatientTimeout = 10;
constexpr auto kGrace = std::chrono::seconds(8);
constexpr char kGreeting[] = "220 ready\r\n";

// Answers the TLS questions as told and remembers what it was asked.
class Answers : public ITlsQuestions {
public:
    Answers(bool plain, bool certificate) : plain(plain), certificate(certificate) {}
    bool ContinueWithoutTls(const LogonSettings&) override
    {
        ++plainAsked;
        return plain;
    }
    bool AcceptCertificate(const LogonSettings&, const nsSocket::TlsSessionInfo& session) override
    {
        shown = session;
        ++certificateAsked;
        return certificate;
    }
    bool plain, certificate;
    int plainAsked = 0, certificateAsked = 0;
    nsSocket::TlsSessionInfo shown;
};

LogonSettings Settings(std::uint16_t port, TlsMode mode)
{
    LogonSettings settings;
    settings.host = L"127.0.0.1";
    settings.port = port;
    settings.user = L"user";
    settings.password = L"secret";
    settings.tls = mode;
    return settings;
}

// Waits until the client's first handshake bytes have arrived, then sends `bytes` in
// their place.
void AnswerClientHelloWith(testsupport::Socket& connection, const std::string& bytes)
{
    testsupport::WaitReadable(connection, std::chrono::seconds(5));
    testsupport::SendAll(connection, bytes);
    char buffer[4096];
    while (testsupport::WaitReadable(connection, std::chrono::seconds(5)) == testsupport::WaitResult::kReady &&
           testsupport::ReceiveSome(connection, buffer, sizeof buffer) > 0) {
    }
}

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

#ifndef _WIN32
// A certificate for `name` made in memory, signed by `issuer` (self-signed when null).
X509* MakeCertificate(const char* name, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, bool authority)
{
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), authority ? 1 : 2);
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
    X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : subject);
    if (authority) {
        X509_EXTENSION* constraints = X509V3_EXT_conf_nid(nullptr, nullptr, NID_basic_constraints, "critical,CA:TRUE");
        X509_add_ext(certificate, constraints, -1);
        X509_EXTENSION_free(constraints);
    }
    X509_sign(certificate, issuer != nullptr ? issuerKey : key, EVP_sha256());
    return certificate;
}

// The server's side of TLS in the test process, by default with a self-signed certificate
// for "localhost".
class TlsServerSide {
public:
    TlsServerSide()
    {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = MakeCertificate("localhost", key, nullptr, nullptr, false);
        Use(certificate, key);
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
    // Presents `certificate`, which has no chain to send beyond itself.
    TlsServerSide(X509* certificate, EVP_PKEY* key) { Use(certificate, key); }
    ~TlsServerSide() { SSL_CTX_free(context); }
    TlsServerSide(const TlsServerSide&) = delete;
    TlsServerSide& operator=(const TlsServerSide&) = delete;

    // The handshake on the connection (bounded: a client that gives up ends it); null when
    // it failed.
    SSL* Accept(testsupport::Socket& connection)
    {
        timeval limit{5, 0};
        setsockopt(connection.Handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, connection.Handle());
        if (SSL_accept(ssl) == 1) return ssl;
        SSL_free(ssl);
        ERR_clear_error();
        return nullptr;
    }

private:
    void Use(X509* certificate, EVP_PKEY* key)
    {
        context = SSL_CTX_new(TLS_server_method());
        // No session tickets: the client may be gone once its part of the handshake is done.
        SSL_CTX_set_num_tickets(context, 0);
        SSL_CTX_use_certificate(context, certificate);
        SSL_CTX_use_PrivateKey(context, key);
    }

    SSL_CTX* context = nullptr;
};

// Reads what the client sends through TLS until it closes; the plaintext.
std::string ReadUntilClosed(SSL* ssl)
{
    std::string plain;
    char buffer[4096];
    int read;
    while ((read = SSL_read(ssl, buffer, sizeof buffer)) > 0)
        plain.append(buffer, static_cast<std::size_t>(read));
    ERR_clear_error();
    return plain;
}

#endif

} // namespace

// Under "Require" a refused AUTH TLS ends the logon before USER; under "If available" the
// user is asked first, and only a Yes lets the logon go on in clear text.
TEST(TlsLogonTest, NoPasswordLeavesUnprotectedUnlessTheUserAgrees)
{
    struct Case {
        const char* name;
        TlsMode mode;
        const char* authReply;
        bool hasAnswers, answer;
        bool loggedOn;
        const wchar_t* error;
    };
    const Case cases[] = {
        {"require, 504", TlsMode::REQUIRE_EXPLICIT, "504 Unknown command\r\n", true, true, false,
         AUTH_TLS_REFUSED_TEXT},
        {"require, 530", TlsMode::REQUIRE_EXPLICIT, "530 Not now\r\n", true, true, false, AUTH_TLS_REFUSED_TEXT},
        {"if available, nobody to ask", TlsMode::EXPLICIT_IF_AVAILABLE, "502 No\r\n", false, false, false,
         PLAIN_LOGON_REFUSED_TEXT},
        {"if available, No", TlsMode::EXPLICIT_IF_AVAILABLE, "502 No\r\n", true, false, false,
         PLAIN_LOGON_REFUSED_TEXT},
        {"if available, Yes", TlsMode::EXPLICIT_IF_AVAILABLE, "502 No\r\n", true, true, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestReporter reporter;
        ScriptedServer server;
        server.Reply(kGreeting).On("AUTH TLS", c.authReply);
        if (c.loggedOn)
            server.On("USER user", "331 Password\r\n")
                .On("PASS secret", "230 In\r\n")
                .On("FEAT", "502 Command not supported\r\n")
                .On("PWD", "257 \"/\"\r\n")
                .On("QUIT", "221 Bye\r\n");
        server.Start();
        CFTPClient client(new nsSocket::CBlockingSocket);
        Answers answers(c.answer, false);
        if (c.hasAnswers) client.SetTlsQuestions(&answers);
        EXPECT_EQ(client.LogOn(Settings(server.Port(), c.mode), kPatientTimeout), c.loggedOn);
        EXPECT_EQ(answers.plainAsked, c.mode == TlsMode::EXPLICIT_IF_AVAILABLE && c.hasAnswers ? 1 : 0);
        if (c.error == nullptr) {
            EXPECT_THAT(reporter.Errors(), IsEmpty());
            EXPECT_FALSE(client.DataProtected());
            client.LogOff();
        } else {
            ASSERT_EQ(reporter.Errors().size(), 1u);
            EXPECT_THAT(reporter.Errors()[0], StartsWith(c.error));
            EXPECT_FALSE(client.IsConnected());
            ASSERT_TRUE(server.WaitDisconnected(std::chrono::seconds(5)));
            EXPECT_THAT(server.Commands(), ElementsAre("AUTH TLS"));
        }
    }
}

// A firewall passes the logon on in clear text, so "Require" refuses every proxied mode
// before connecting; "If available" asks as for a server without TLS.
TEST(TlsLogonTest, FirewallModesCannotRequireTls)
{
    for (int mode = FIREWALL_SITE_HOSTNAME; mode < FIREWALL_MODE_COUNT; ++mode) {
        SCOPED_TRACE(mode);
        for (TlsMode tls : {TlsMode::REQUIRE_EXPLICIT, TlsMode::REQUIRE_IMPLICIT}) {
            TestReporter reporter;
            LogonSettings settings = Settings(1, tls);
            settings.firewallMode = static_cast<FirewallMode>(mode);
            settings.firewallHost = L"127.0.0.1";
            settings.firewallPort = 1;
            CFTPClient client(new nsSocket::CBlockingSocket);
            EXPECT_FALSE(client.LogOn(settings, kTimeout));
            EXPECT_THAT(reporter.Errors(), ElementsAre(TLS_THROUGH_FIREWALL_TEXT));
        }
    }
    TestReporter reporter;
    ScriptedServer server;
    server.Reply(kGreeting).On("USER user@127.0.0.1:2121", "331 Password\r\n").On("PASS secret", "230 In\r\n");
    server.On("FEAT", "502 Command not supported\r\n").On("PWD", "257 \"/\"\r\n").On("QUIT", "221 Bye\r\n").Start();
    LogonSettings settings = Settings(2121, TlsMode::EXPLICIT_IF_AVAILABLE);
    settings.firewallMode = FIREWALL_USER_NO_LOGON;
    settings.firewallHost = L"127.0.0.1";
    settings.firewallPort = server.Port();
    CFTPClient client(new nsSocket::CBlockingSocket);
    Answers answers(true, false);
    client.SetTlsQuestions(&answers);
    EXPECT_TRUE(client.LogOn(settings, kPatientTimeout));
    EXPECT_EQ(answers.plainAsked, 1);
    client.LogOff();
}

// A server that agrees to TLS and then breaks it: a clear error within the timeout, and
// the logon never reaches USER.
TEST(TlsLogonTest, BrokenHandshakesFailClearlyAndInTime)
{
    struct Case {
        const char* name;
        std::function<void(testsupport::Socket&)> serve;
        const wchar_t* error;
    };
    const Case cases[] = {
        {"plain text after the 234",
         [](testsupport::Socket& c) { AnswerClientHelloWith(c, "530 Please login with USER and PASS.\r\n"); },
         L"The server did not answer the TLS handshake with TLS"},
        {"garbage in a handshake record",
         [](testsupport::Socket& c) {
             AnswerClientHelloWith(c, std::string("\x16\x03\x03\x00\x04\x02\x00\x00\x00", 9)); // an empty ServerHello
         },
         L"The TLS handshake with the server failed: "},
        {"a handshake record that never ends",
         [](testsupport::Socket& c) { AnswerClientHelloWith(c, "\x16\x03\x03\x40"); },
         L"The server did not complete the TLS handshake in time."},
        {"closed during the handshake",
         [](testsupport::Socket& c) {
             testsupport::WaitReadable(c, std::chrono::seconds(5));
             c.ShutdownSend();
             AnswerClientHelloWith(c, "");
         },
         L"The server closed the connection during the TLS handshake."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestReporter reporter;
        ScriptedServer server;
        server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n").Serve(c.name, c.serve).Start();
        CFTPClient client(new nsSocket::CBlockingSocket);
        const auto start = Clock::now();
        EXPECT_FALSE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kTimeout));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout) + kGrace);
        ASSERT_EQ(reporter.Errors().size(), 1u);
        EXPECT_THAT(reporter.Errors()[0], StartsWith(c.error));
        EXPECT_FALSE(client.IsConnected());
        EXPECT_THAT(server.Commands(), ElementsAre("AUTH TLS"));
    }

    // Plain text that arrives with the 234 was never protected.
    TestReporter reporter;
    ScriptedServer server;
    server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n331 Send the password\r\n").Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    EXPECT_FALSE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kTimeout));
    EXPECT_THAT(reporter.Errors(), ElementsAre(PLAIN_AFTER_AUTH_TEXT));
}

// Stop works during a handshake as during any wait: at once, and without an error box.
TEST(TlsLogonTest, InterruptEndsAStalledHandshakeAtOnce)
{
    TestReporter reporter;
    std::atomic<bool> helloArrived{false};
    ScriptedServer server;
    server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n");
    server.Serve("a server that never answers the ClientHello", [&](testsupport::Socket& connection) {
        testsupport::WaitReadable(connection, std::chrono::seconds(5));
        helloArrived = true;
        AnswerClientHelloWith(connection, "");
    });
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    std::thread user([&] {
        if (testsupport::PollUntil([&] { return helloArrived.load(); })) client.InterruptConnection();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kPatientTimeout));
    user.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kPatientTimeout));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_FALSE(client.IsConnected());
}

#ifndef _WIN32
// The certificate is judged after the handshake: a self-signed one is shown to whoever
// answers, and without an answer (ftpcli) it is refused before USER.
TEST(TlsLogonTest, UntrustedCertificateNeedsAnAnswer)
{
    for (bool hasAnswers : {false, true}) {
        SCOPED_TRACE(hasAnswers ? "answered No" : "nobody to ask");
        TestReporter reporter;
        TlsServerSide tls;
        std::string afterHandshake = "(no handshake)";
        ScriptedServer server;
        server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n");
        server.Serve("the TLS server", [&](testsupport::Socket& connection) {
            if (SSL* ssl = tls.Accept(connection)) {
                afterHandshake = ReadUntilClosed(ssl);
                SSL_free(ssl);
            }
        });
        server.Start();
        CFTPClient client(new nsSocket::CBlockingSocket);
        Answers answers(true, false);
        if (hasAnswers) client.SetTlsQuestions(&answers);
        EXPECT_FALSE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kPatientTimeout));
        ASSERT_EQ(reporter.Errors().size(), 1u);
        EXPECT_THAT(reporter.Errors()[0], StartsWith(CERTIFICATE_REFUSED_TEXT));
        EXPECT_THAT(reporter.Errors()[0], HasSubstr(L"self-signed"));
        ASSERT_TRUE(server.WaitDisconnected(std::chrono::seconds(5)));
        EXPECT_EQ(afterHandshake, "");
        if (hasAnswers) {
            EXPECT_EQ(answers.certificateAsked, 1);
            EXPECT_EQ(answers.shown.trust, nsSocket::TlsTrust::UntrustedChain);
            EXPECT_EQ(answers.shown.certificate.subject, L"CN=localhost");
            EXPECT_EQ(answers.shown.certificate.issuer, L"CN=localhost");
            EXPECT_EQ(answers.shown.certificate.sha256.size(), 64u);
            EXPECT_THAT(answers.shown.version, StartsWith(L"TLS 1."));
        }
    }
}

// A chain the system trusts for another host's name: shown to whoever answers as that, and
// refused when nobody answers (ftpcli). The test's authority is the only trusted root, which
// OpenSSL reads once per process (SSL_CERT_FILE), so the check runs in a process of its own.
// Returns what went wrong, empty when nothing did.
std::string CheckCertificateForAnotherHost()
{
    EVP_PKEY* authorityKey = EVP_EC_gen("P-256");
    X509* authority = MakeCertificate("Orvid Test Authority", authorityKey, nullptr, nullptr, true);
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = MakeCertificate("other.orvid.test", key, authority, authorityKey, false);
    const std::filesystem::path roots =
        std::filesystem::temp_directory_path() / ("orvid-test-roots-" + std::to_string(::getpid()) + ".pem");
    FILE* file = std::fopen(roots.c_str(), "w");
    if (file == nullptr || PEM_write_X509(file, authority) != 1) return "cannot write " + roots.string();
    std::fclose(file);
    ::setenv("SSL_CERT_FILE", roots.c_str(), 1);
    std::string faults;
    for (bool hasAnswers : {true, false}) {
        TestReporter reporter;
        TlsServerSide tls(certificate, key);
        ScriptedServer server;
        server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n");
        server.Serve("the TLS server", [&](testsupport::Socket& connection) {
            if (SSL* ssl = tls.Accept(connection)) {
                ReadUntilClosed(ssl);
                SSL_free(ssl);
            }
        });
        server.Start();
        CFTPClient client(new nsSocket::CBlockingSocket);
        Answers answers(true, false);
        if (hasAnswers) client.SetTlsQuestions(&answers);
        const bool loggedOn = client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kPatientTimeout);
        const std::string error = reporter.Errors().empty() ? "" : WideToWire(reporter.Errors()[0]);
        const std::string context = hasAnswers ? "answered No: " : "nobody to ask: ";
        if (loggedOn) faults += context + "logged on\n";
        if (error.find("The certificate is not for 127.0.0.1.") == std::string::npos ||
            error.find("The certificate is not trusted:") != std::string::npos)
            faults += context + "the error was: " + error + "\n";
        if (hasAnswers && (answers.certificateAsked != 1 || answers.shown.trust != nsSocket::TlsTrust::NameMismatch))
            faults += context + "the question did not name a mismatch\n";
    }
    std::filesystem::remove(roots);
    X509_free(certificate);
    EVP_PKEY_free(key);
    X509_free(authority);
    EVP_PKEY_free(authorityKey);
    return faults;
}

TEST(TlsLogonTest, CertificateForAnotherHostIsRefused)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string faults = CheckCertificateForAnotherHost();
            std::fputs(faults.c_str(), stderr);
            std::exit(faults.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Implicit TLS: the handshake comes first, the greeting and the logon inside it, then
// PBSZ and PROT P.
TEST(TlsLogonTest, ImplicitTlsStartsWithTheHandshake)
{
    TestReporter reporter;
    TlsServerSide tls;
    std::vector<std::string> commands;
    ScriptedServer server;
    server.Serve("an implicit TLS server", [&](testsupport::Socket& connection) {
        SSL* ssl = tls.Accept(connection);
        if (ssl == nullptr) return;
        const std::pair<const char*, const char*> replies[] = {
            {"", "220 Secure\r\n"},          {"USER user", "331 Password\r\n"},
            {"PASS secret", "230 In\r\n"},   {"PBSZ 0", "200 PBSZ=0\r\n"},
            {"PROT P", "200 Protected\r\n"}, {"FEAT", "502 Command not supported\r\n"},
            {"PWD", "257 \"/home\"\r\n"},    {"QUIT", "221 Bye\r\n"}};
        std::string pending;
        for (const auto& [expected, reply] : replies) {
            if (*expected != '\0') {
                char buffer[512];
                std::size_t end;
                while ((end = pending.find("\r\n")) == std::string::npos) {
                    const int read = SSL_read(ssl, buffer, sizeof buffer);
                    if (read <= 0) break;
                    pending.append(buffer, static_cast<std::size_t>(read));
                }
                if (end == std::string::npos) break;
                commands.push_back(pending.substr(0, end));
                pending.erase(0, end + 2);
            }
            SSL_write(ssl, reply, static_cast<int>(std::strlen(reply)));
        }
        ReadUntilClosed(ssl);
        SSL_free(ssl);
    });
    server.Start();
    CFTPClient client(new nsSocket::CBlockingSocket);
    Answers answers(false, true);
    client.SetTlsQuestions(&answers);
    ASSERT_TRUE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_IMPLICIT), kPatientTimeout));
    EXPECT_TRUE(client.DataProtected());
    EXPECT_EQ(client.CurrentDirectory(), L"/home");
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    ASSERT_TRUE(server.WaitDisconnected(std::chrono::seconds(5)));
    EXPECT_THAT(commands, ElementsAre("USER user", "PASS secret", "PBSZ 0", "PROT P", "FEAT", "PWD", "QUIT"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// A reply whose TLS record is cut short: by a close (a clear error at once) or by a
// server that holds the rest back (the reply's timeout).
TEST(TlsLogonTest, CutRecordEndsTheReplyInTime)
{
    for (bool closes : {true, false}) {
        SCOPED_TRACE(closes ? "closed inside the record" : "the rest held back");
        TestReporter reporter;
        TlsServerSide tls;
        ScriptedServer server;
        server.Reply(kGreeting).On("AUTH TLS", "234 Go ahead\r\n");
        server.Serve("a cut record", [&](testsupport::Socket& connection) {
            SSL* ssl = tls.Accept(connection);
            if (ssl == nullptr) return;
            char line[256];
            SSL_read(ssl, line, sizeof line); // USER
            // The reply is sealed into memory and only its first half goes out.
            BIO* sealed = BIO_new(BIO_s_mem());
            SSL_set0_wbio(ssl, sealed);
            SSL_write(ssl, "331 Password required\r\n", 23);
            char* bytes = nullptr;
            const long length = BIO_get_mem_data(sealed, &bytes);
            testsupport::SendAll(connection, std::string(bytes, static_cast<std::size_t>(length / 2)));
            if (closes) connection.ShutdownSend();
            char buffer[4096];
            while (testsupport::WaitReadable(connection, std::chrono::seconds(5)) == testsupport::WaitResult::kReady &&
                   testsupport::ReceiveSome(connection, buffer, sizeof buffer) > 0) {
            }
            SSL_free(ssl);
        });
        server.Start();
        CFTPClient client(new nsSocket::CBlockingSocket);
        Answers answers(true, true);
        client.SetTlsQuestions(&answers);
        const auto start = Clock::now();
        EXPECT_FALSE(client.LogOn(Settings(server.Port(), TlsMode::REQUIRE_EXPLICIT), kTimeout));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout) + kGrace);
        ASSERT_EQ(reporter.Errors().size(), 1u);
        if (closes) {
            EXPECT_THAT(reporter.Errors()[0],
                        StartsWith(L"The server ended the encrypted connection in the middle of a TLS record."));
        } else {
            EXPECT_THAT(reporter.Errors()[0], AnyOf(StartsWith(REPLY_TIMEOUT_TEXT),
                                                    StartsWith(L"Unable to receive data (receive timeout).")));
        }
        EXPECT_FALSE(client.IsConnected());
    }
}

#endif

namespace {

LogonSettings RealServerSettings(const testsupport::RealServerInfo& info)
{
    LogonSettings settings = Settings(info.port, TlsMode::REQUIRE_EXPLICIT);
    settings.user = WireToWide(info.user);
    settings.password = WireToWide(info.password);
    return settings;
}

} // namespace

// Every TLS server: explicit TLS, a certificate accepted once, then listings and transfers
// through TLS data connections, byte for byte, in both modes.
class TlsRealServerTest : public ::testing::TestWithParam<std::tuple<testsupport::ServerKind, bool>> {};

TEST_P(TlsRealServerTest, TransfersArriveIntactThroughTls)
{
    const auto [kind, passive] = GetParam();
    std::string why;
    const auto server = testsupport::RealServer::Start(kind, &why);
    if (!server) GTEST_SKIP() << why;
    TestReporter reporter;
    CFTPClient client(new nsSocket::CBlockingSocket);
    Answers answers(false, true);
    client.SetTlsQuestions(&answers);
    ASSERT_TRUE(client.LogOn(RealServerSettings(server->Info()), kPatientTimeout))
        << ::testing::PrintToString(reporter.Errors());
    EXPECT_EQ(answers.certificateAsked, 1);
    ASSERT_NE(client.TlsSession(), nullptr);
    EXPECT_THAT(client.TlsSession()->version, StartsWith(L"TLS 1."));
    EXPECT_FALSE(client.TlsSession()->cipher.empty());
    EXPECT_TRUE(client.DataProtected());

    const std::string bytes = RandomBytes(3 * 1024 * 1024 + 17, passive ? 1 : 2);
    auto upload = client.OpenDataTransfer(L"/up.bin", passive, true);
    ASSERT_TRUE(upload);
    for (std::size_t done = 0; done < bytes.size();) {
        int count = 0;
        const int length = static_cast<int>(std::min<std::size_t>(256 * 1024, bytes.size() - done));
        ASSERT_TRUE(client.WriteData(*upload, bytes.data() + done, length, count));
        done += static_cast<std::size_t>(count);
    }
    ASSERT_TRUE(client.CloseDataTransfer(std::move(upload)));
    std::ifstream stored(server->Info().root / "up.bin", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(stored), {}) == bytes);

    std::string downloaded;
    auto download = client.OpenDataTransfer(L"/up.bin", passive, false);
    ASSERT_TRUE(download);
    std::vector<char> buffer(1024 * 1024);
    int count = 0;
    while (client.ReadData(*download, buffer.data(), static_cast<int>(buffer.size()), count) && count > 0)
        downloaded.append(buffer.data(), static_cast<std::size_t>(count));
    ASSERT_TRUE(client.CloseDataTransfer(std::move(download)));
    EXPECT_TRUE(downloaded == bytes) << downloaded.size() << " bytes";

    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(L"/", entries, passive));
    // Under Wine the fixture's server also holds a directory of its own.
    const auto listed =
        std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e->name == L"up.bin"; });
    ASSERT_NE(listed, entries.end());
    EXPECT_EQ((*listed)->size, bytes.size());
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsRealServerTest,
                         ::testing::Combine(::testing::ValuesIn(testsupport::kTlsServerKinds), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(std::get<0>(info.param));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + (std::get<1>(info.param) ? "_Passive" : "_Active");
                         });

// vsftpd's default: each data connection must resume the control connection's TLS session.
// OpenSSL resumes, one data connection after another, listings and uploads alike. Wine's
// Schannel cannot, and the user reads the server's refusal at once.
TEST(TlsRealServerReuseTest, DataConnectionsResumeTheSessionOrSayWhyNot)
{
    std::string why;
    const auto server = testsupport::RealServer::Start(testsupport::ServerKind::VsftpdTlsReuse, &why);
    if (!server) GTEST_SKIP() << why;
    TestReporter reporter;
    CFTPClient client(new nsSocket::CBlockingSocket);
    Answers answers(false, true);
    client.SetTlsQuestions(&answers);
    ASSERT_TRUE(client.LogOn(RealServerSettings(server->Info()), kPatientTimeout));
    const std::string bytes = RandomBytes(100 * 1024, 3);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const auto start = Clock::now();
        std::vector<FileStatusPtr> entries;
        const bool listed = client.ListFiles(L"/", entries, true);
#ifdef _WIN32
        if (!listed) {
            // Not the receive timeout: the refusal ends the wait.
            EXPECT_LT(Clock::now() - start, std::chrono::seconds(kPatientTimeout));
            ASSERT_FALSE(reporter.Errors().empty());
            EXPECT_THAT(reporter.Errors().back(), HasSubstr(L"522"));
            return;
        }
#endif
        ASSERT_TRUE(listed) << ::testing::PrintToString(reporter.Errors());
        auto upload = client.OpenDataTransfer(L"/resumed.bin", true, true);
        int count = 0;
        ASSERT_TRUE(upload);
        ASSERT_TRUE(client.WriteData(*upload, bytes.data(), static_cast<int>(bytes.size()), count));
        ASSERT_TRUE(client.CloseDataTransfer(std::move(upload)));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(kPatientTimeout));
    }
    EXPECT_EQ(client.LogOff(), REPLY_OK);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
