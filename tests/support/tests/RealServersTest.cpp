#include "support/RealServers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testsupport {
namespace {

// A bare control connection: enough to see where logon lands and what the user may do,
// without depending on the engine under test.
class Control {
public:
    explicit Control(uint16_t port)
    {
#ifdef _WIN32
        static const bool started = [] {
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        if (!started) throw std::runtime_error("WSAStartup failed");
        DWORD timeout = 10000;
#else
        timeval timeout{10, 0};
#endif
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect to port " + std::to_string(port));
        greeting_ = ReadReply();
    }
    ~Control()
    {
#ifdef _WIN32
        closesocket(fd_);
#else
        close(fd_);
#endif
    }

    const std::string& Greeting() const { return greeting_; }

    std::string Send(const std::string& line)
    {
        std::string wire = line + "\r\n";
#ifdef _WIN32
        constexpr int kFlags = 0;
#else
        constexpr int kFlags = MSG_NOSIGNAL;
#endif
        if (send(fd_, wire.data(), static_cast<int>(wire.size()), kFlags) != static_cast<int>(wire.size()))
            throw std::runtime_error("send failed");
        return ReadReply();
    }

private:
    // Returns the reply's last line; a reply ends at a line "ddd ".
    std::string ReadReply()
    {
        for (;;) {
            size_t end;
            while ((end = buffer_.find("\r\n")) != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                    std::isdigit(static_cast<unsigned char>(line[1])) &&
                    std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ')
                    return line;
            }
            char chunk[1024];
            int n = static_cast<int>(recv(fd_, chunk, sizeof chunk, 0));
            if (n <= 0) throw std::runtime_error("connection closed while reading a reply");
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

#ifdef _WIN32
    SOCKET fd_;
#else
    int fd_;
#endif
    std::string buffer_, greeting_;
};

std::string Code(const std::string& reply) { return reply.substr(0, 3); }

TEST(ServerInfoEncodingTest, RoundTripsAndRejectsMalformedText)
{
    RealServerInfo info;
    info.kind = ServerKind::PureFtpd;
    info.port = 65535;
    info.user = "u";
    info.password = "p w";
    info.anonymous = true;
    info.root = "/tmp/orvid-ftp-x/root";
    info.loginDirectory = "/";

    RealServerInfo decoded;
    ASSERT_TRUE(DecodeServerInfo(ServerKind::Proftpd, EncodeServerInfo(info), &decoded));
    EXPECT_EQ(decoded.kind, ServerKind::Proftpd);
    EXPECT_EQ(decoded.port, 65535);
    EXPECT_EQ(decoded.user, "u");
    EXPECT_EQ(decoded.password, "p w");
    EXPECT_TRUE(decoded.anonymous);
    EXPECT_EQ(decoded.root.string(), "/tmp/orvid-ftp-x/root");
    EXPECT_EQ(decoded.loginDirectory, "/");

    for (const char* bad : {"", "21\tu\tp\t1\t/r", "21\tu\tp\t1\t/r\t/\textra", "0\tu\tp\t1\t/r\t/",
                            "65536\tu\tp\t1\t/r\t/", "2x\tu\tp\t1\t/r\t/", "21\tu\tp\t2\t/r\t/", "21\t\tp\t1\t/r\t/"})
        EXPECT_FALSE(DecodeServerInfo(ServerKind::Vsftpd, bad, &decoded)) << bad;

    EXPECT_EQ(WinePath("/tmp/a b/c"), "Z:\\tmp\\a b\\c");
}

class RealServerTest : public ::testing::TestWithParam<ServerKind> {};

TEST_P(RealServerTest, UserLandsInRootAndMayWriteWhatTheFixtureHandsOver)
{
    std::string why;
    std::unique_ptr<RealServer> server = RealServer::Start(GetParam(), &why);
    if (!server) GTEST_SKIP() << why;
    const RealServerInfo& info = server->Info();
    EXPECT_EQ(info.kind, GetParam());

    // Under Wine every test of the executable shares one server and root.
    std::filesystem::remove_all(info.root / "handed");
    server->MakeDirectory("handed/over");
    server->WriteFile("handed/probe.txt", "hello");

    Control control(info.port);
    ASSERT_EQ(Code(control.Send("USER " + info.user)), "331");
    ASSERT_EQ(Code(control.Send("PASS " + info.password)), "230");
    EXPECT_NE(control.Send("PWD").find('"' + info.loginDirectory + '"'), std::string::npos);
    ASSERT_EQ(Code(control.Send("TYPE I")), "200");
    EXPECT_EQ(control.Send("SIZE handed/probe.txt"), "213 5");
    EXPECT_EQ(Code(control.Send("MKD handed/over/made")), "257");
    EXPECT_EQ(Code(control.Send("DELE handed/probe.txt")), "250");
    EXPECT_FALSE(std::filesystem::exists(info.root / "handed" / "probe.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(info.root / "handed" / "over" / "made"));
}

TEST_P(RealServerTest, AnonymousMayLogOnButNotWrite)
{
    std::string why;
    std::unique_ptr<RealServer> server = RealServer::Start(GetParam(), &why);
    if (!server) GTEST_SKIP() << why;
    if (!server->Info().anonymous) GTEST_SKIP() << "no anonymous logon here";

    Control control(server->Info().port);
    std::string reply = control.Send("USER anonymous");
    if (Code(reply) == "331") reply = control.Send("PASS test@example.invalid");
    ASSERT_EQ(Code(reply), "230");
    EXPECT_EQ(control.Send("MKD anonymous-may-not")[0], '5');
}

#ifndef _WIN32
TEST_P(RealServerTest, InstancesAreIndependentAndStopCleansUp)
{
    std::string why;
    std::unique_ptr<RealServer> first = RealServer::Start(GetParam(), &why);
    if (!first) GTEST_SKIP() << why;
    std::unique_ptr<RealServer> second = RealServer::Start(GetParam(), &why);
    ASSERT_TRUE(second) << why;
    EXPECT_NE(first->Info().port, second->Info().port);
    EXPECT_NE(first->Info().root, second->Info().root);

    std::filesystem::path base = first->Info().root.parent_path();
    int pid = first->ProcessId();
    uint16_t port = first->Info().port;
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(base));
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH) << "the daemon was not reaped";
    EXPECT_THROW(Control{port}, std::runtime_error);

    Control control(second->Info().port);
    EXPECT_EQ(Code(control.Greeting()), "220");
}
#endif

INSTANTIATE_TEST_SUITE_P(AllKinds, RealServerTest, ::testing::ValuesIn(kAllServerKinds),
                         [](const ::testing::TestParamInfo<ServerKind>& param) {
                             switch (param.param) {
                             case ServerKind::Vsftpd: return std::string("Vsftpd");
                             case ServerKind::PureFtpd: return std::string("PureFtpd");
                             case ServerKind::Proftpd: return std::string("Proftpd");
                             default: break;
                             }
                             return std::string("Unknown");
                         });

} // namespace
} // namespace testsupport
