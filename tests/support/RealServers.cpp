#include "support/RealServers.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#endif

namespace testsupport {

namespace fs = std::filesystem;

const char* ServerName(ServerKind kind)
{
    switch (kind) {
    case ServerKind::Vsftpd: return "vsftpd";
    case ServerKind::PureFtpd: return "pure-ftpd";
    case ServerKind::Proftpd: return "proftpd";
    case ServerKind::VsftpdTls: return "vsftpd-tls";
    case ServerKind::VsftpdTlsReuse: return "vsftpd-tls-reuse";
    case ServerKind::PureFtpdTls: return "pure-ftpd-tls";
    case ServerKind::PureFtpdTlsOnly: return "pure-ftpd-tls-only";
    case ServerKind::ProftpdTls: return "proftpd-tls";
    case ServerKind::VsftpdIPv6: return "vsftpd-ipv6";
    case ServerKind::PureFtpdIPv6: return "pure-ftpd-ipv6";
    case ServerKind::ProftpdIPv6: return "proftpd-ipv6";
    }
    return "?";
}

const char* ServerEnvironmentVariable(ServerKind kind)
{
    switch (kind) {
    case ServerKind::Vsftpd: return "ORVID_FTP_VSFTPD";
    case ServerKind::PureFtpd: return "ORVID_FTP_PUREFTPD";
    case ServerKind::Proftpd: return "ORVID_FTP_PROFTPD";
    case ServerKind::VsftpdTls: return "ORVID_FTP_VSFTPD_TLS";
    case ServerKind::VsftpdTlsReuse: return "ORVID_FTP_VSFTPD_TLS_REUSE";
    case ServerKind::PureFtpdTls: return "ORVID_FTP_PUREFTPD_TLS";
    case ServerKind::PureFtpdTlsOnly: return "ORVID_FTP_PUREFTPD_TLS_ONLY";
    case ServerKind::ProftpdTls: return "ORVID_FTP_PROFTPD_TLS";
    case ServerKind::VsftpdIPv6: return "ORVID_FTP_VSFTPD_IPV6";
    case ServerKind::PureFtpdIPv6: return "ORVID_FTP_PUREFTPD_IPV6";
    case ServerKind::ProftpdIPv6: return "ORVID_FTP_PROFTPD_IPV6";
    }
    return "ORVID_FTP_UNKNOWN";
}

namespace {

bool ListensOnIPv6(ServerKind kind)
{
    return kind == ServerKind::VsftpdIPv6 || kind == ServerKind::PureFtpdIPv6 || kind == ServerKind::ProftpdIPv6;
}

const char* ServerHost(ServerKind kind) { return ListensOnIPv6(kind) ? "::1" : "127.0.0.1"; }

} // namespace

std::string EncodeServerInfo(const RealServerInfo& info)
{
    return std::to_string(info.port) + '\t' + info.user + '\t' + info.password + '\t' + (info.anonymous ? "1" : "0") +
           '\t' + info.root.string() + '\t' + info.loginDirectory;
}

bool DecodeServerInfo(ServerKind kind, std::string_view text, RealServerInfo* info)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = text.find('\t', start);
        fields.emplace_back(text.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (fields.size() != 6) return false;
    const std::string& port = fields[0];
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long number = std::stoul(port);
    if (number == 0 || number > 65535) return false;
    if (fields[3] != "0" && fields[3] != "1") return false;
    if (fields[1].empty() || fields[4].empty() || fields[5].empty()) return false;
    info->kind = kind;
    info->host = ServerHost(kind);
    info->port = static_cast<uint16_t>(number);
    info->user = fields[1];
    info->password = fields[2];
    info->anonymous = fields[3] == "1";
    info->root = fs::path(fields[4]);
    info->loginDirectory = fields[5];
    return true;
}

std::string WinePath(std::string_view unixPath)
{
    std::string result = "Z:";
    for (char c : unixPath)
        result += c == '/' ? '\\' : c;
    return result;
}

fs::path RealServer::MakeDirectory(const fs::path& relative) const
{
    fs::path path = info_.root;
    for (const fs::path& part : relative.relative_path()) {
        path /= part;
        if (fs::create_directory(path)) HandOver(path);
    }
    return path;
}

fs::path RealServer::WriteFile(const fs::path& relative, std::string_view contents) const
{
    fs::path rel = relative.relative_path();
    if (rel.has_parent_path()) MakeDirectory(rel.parent_path());
    fs::path path = info_.root / rel;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }
    HandOver(path);
    return path;
}

#ifdef _WIN32

std::string TlsEchoServerLine()
{
    const char* value = std::getenv("ORVID_TLS_ECHO");
    return value ? value : "";
}

// Under Wine the directory belongs to ftpfixture, which also runs the tests with
// umask 0 so that whatever they create is writable by the FTP user.
void RealServer::HandOver(const fs::path&) const {}

std::unique_ptr<RealServer> RealServer::Start(ServerKind kind, std::string* why, const std::string& loginSubdirectory)
{
    if (!loginSubdirectory.empty()) {
        *why = std::string(ServerName(kind)) + " with a login subdirectory runs only natively";
        return nullptr;
    }
    const char* variable = ServerEnvironmentVariable(kind);
    const char* value = std::getenv(variable);
    if (value == nullptr) {
        *why = std::string(ServerName(kind)) + " unavailable: " + variable +
               " is not set; run the tests through ftpfixture";
        return nullptr;
    }
    std::string_view text(value);
    constexpr std::string_view kUnavailable = "unavailable\t", kError = "error\t";
    if (text.substr(0, kUnavailable.size()) == kUnavailable) {
        *why = std::string(text.substr(kUnavailable.size()));
        return nullptr;
    }
    if (text.substr(0, kError.size()) == kError) throw std::runtime_error(std::string(text.substr(kError.size())));
    std::unique_ptr<RealServer> server(new RealServer);
    if (!DecodeServerInfo(kind, text, &server->info_))
        throw std::runtime_error(std::string("malformed ") + variable + ": " + value);
    server->info_.root = fs::path(WinePath(server->info_.root.string()));
    return server;
}

RealServer::~RealServer() = default;

#else // native

namespace {

constexpr const char* kTestUser = "orvidftp";
constexpr const char* kTestPassword = "OrvidFtp4711";
// kTestPassword hashed by `openssl passwd -6 -salt orvidftp OrvidFtp4711`.
constexpr const char* kTestPasswordSha512Crypt =
    "$6$orvidftp$Gzvaik/69DRwK6onN0l4ySnxaijJOW8ulvrA6yCc1DDA7R.nB7ps.L.fTh17cIlUkwo4nTlbCEPOd."
    "UII.ePx/";
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(3);
constexpr int kPortAttempts = 5;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Runs argv[0] (an absolute path) with `input` on stdin; returns its exit status or -1,
// with stdout and stderr in *output.
int Run(const std::vector<std::string>& args, const std::string& input, std::string* output)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    // Small inputs only: they fit the pipe buffer, so writing first cannot deadlock.
    bool fed =
        pid < 0 || input.empty() || write(in[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
    close(in[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        output->append(buffer, static_cast<size_t>(n));
    close(out[0]);
    if (pid < 0) return -1;
    if (!fed) *output += "(could not feed stdin)";
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Creates the test user with a known password. Test processes run concurrently, and
// useradd fails on a locked /etc/passwd, hence the lock.
void EnsureTestUser(uid_t* uid, gid_t* gid)
{
    int lock = open("/tmp/orvid-ftp-users.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock < 0) throw std::runtime_error("cannot open the user lock file");
    while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string output;
    bool ok = true;
    if (getpwnam(kTestUser) == nullptr) {
        ok = Run({"/usr/sbin/useradd", "-m", "-s", "/bin/bash", kTestUser}, "", &output) == 0;
    }
    if (ok) {
        ok = Run({"/usr/sbin/chpasswd"}, std::string(kTestUser) + ':' + kTestPassword + '\n', &output) == 0;
    }
    struct passwd* entry = getpwnam(kTestUser);
    if (entry != nullptr) {
        *uid = entry->pw_uid;
        *gid = entry->pw_gid;
    }
    close(lock);
    if (!ok || entry == nullptr)
        throw std::runtime_error(std::string("cannot create the test user ") + kTestUser + ": " + output);
}

// 127.0.0.1 or ::1 with the port; false for anything else.
bool LoopbackAddress(const std::string& host, uint16_t port, sockaddr_storage* address, socklen_t* length)
{
    *address = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        *length = sizeof *v4;
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) != 1) return false;
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    *length = sizeof *v6;
    return true;
}

uint16_t PickFreePort(const std::string& host)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!LoopbackAddress(host, 0, &address, &length)) throw std::runtime_error("bad loopback address " + host);
    int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket() failed");
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot find a free port on " + host);
    }
    close(fd);
    return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::string logPath = log.string();
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so that stopping it reaches its session processes too;
        // and it dies with the test process if that crashes before stopping it.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(126);
        int devnull = open("/dev/null", O_RDONLY);
        int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (devnull < 0 || out < 0) _exit(126);
        dup2(devnull, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork() failed");
    return pid;
}

bool Reap(pid_t pid, std::chrono::steady_clock::duration timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status;
        pid_t result = waitpid(pid, &status, WNOHANG);
        if (result == pid || (result < 0 && errno == ECHILD)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Stop(pid_t pid)
{
    kill(-pid, SIGTERM);
    kill(pid, SIGTERM);
    if (Reap(pid, kStopTimeout)) {
        kill(-pid, SIGKILL); // session processes that ignored SIGTERM
        return;
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    Reap(pid, std::chrono::seconds(5));
}

enum class Greeting { Ours, Foreign, Silent, Exited, TimedOut };

// Reads the greeting on `port`. Another process may have grabbed the port between
// PickFreePort and the server's bind, so the greeting must carry `token`.
Greeting ReadGreeting(const std::string& host, uint16_t port, const std::string& token, std::string* text)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!LoopbackAddress(host, port, &address, &length)) return Greeting::Silent;
    int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Greeting::Silent;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        close(fd);
        return Greeting::Silent;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string received;
    for (;;) {
        size_t lineStart = 0;
        bool complete = false;
        for (size_t end; (end = received.find('\n', lineStart)) != std::string::npos; lineStart = end + 1) {
            if (received.compare(lineStart, 4, "220 ") == 0) complete = true;
        }
        if (complete) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[1024];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    static const char quit[] = "QUIT\r\n";
    (void)send(fd, quit, sizeof quit - 1, MSG_NOSIGNAL);
    close(fd);
    *text = received;
    if (received.find(token) != std::string::npos) return Greeting::Ours;
    return received.empty() ? Greeting::Silent : Greeting::Foreign;
}

Greeting AwaitServer(pid_t pid, const std::string& host, uint16_t port, const std::string& token, std::string* text)
{
    auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return Greeting::Exited;
        Greeting greeting = ReadGreeting(host, port, token, text);
        if (greeting == Greeting::Ours) return greeting;
        if (greeting == Greeting::Foreign) {
            // Ours may still be starting and lose the bind; it exits on its own then.
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Greeting::TimedOut;
}

fs::path FtpdRoot()
{
    const char* root = std::getenv("ORVID_FTPD_ROOT");
    return root != nullptr && *root != '\0' ? fs::path(root) : fs::path();
}

struct Layout {
    fs::path base, root, anon, etc, empty, log;
    std::string token;
    std::string start; // the subdirectory of root the user starts in; empty: root itself
    std::string host;  // 127.0.0.1 or ::1, the only address the server listens on
    bool IPv6() const { return host == "::1"; }
};

std::vector<std::string> ConfigureVsftpd(const Layout& l, uint16_t port, bool anonymous)
{
    // vsftpd listens on one family: IPv6 takes listen_ipv6 instead of listen.
    std::string config = std::string(l.IPv6() ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                              : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n") +
                         "listen_port=" + std::to_string(port) +
                         "\n"
                         "background=NO\n"
                         "seccomp_sandbox=NO\n"
                         "secure_chroot_dir=" +
                         l.empty.string() +
                         "\n"
                         "ftpd_banner=" +
                         l.token +
                         "\n"
                         "anonymous_enable=" +
                         (anonymous ? "YES" : "NO") +
                         "\n"
                         "ftp_username=ftp\n"
                         "anon_root=" +
                         l.anon.string() +
                         "\n"
                         "no_anon_password=YES\n"
                         "local_enable=YES\n"
                         "write_enable=YES\n"
                         "local_umask=022\n"
                         "local_root=" +
                         (l.root / l.start).string() +
                         "\n"
                         // vsftpd's chroot is the start directory itself, so a user who starts below the
                         // root is not confined.
                         "chroot_local_user=" +
                         (l.start.empty() ? "YES" : "NO") +
                         "\n"
                         "allow_writeable_chroot=YES\n"
                         "pam_service_name=vsftpd\n"
                         "userlist_enable=NO\n"
                         "dirmessage_enable=NO\n"
                         "xferlog_enable=NO\n"
                         "connect_from_port_20=NO\n"
                         "pasv_enable=YES\n"
                         "port_enable=YES\n"
                         "max_clients=0\n"
                         "max_per_ip=0\n";
    fs::path file = l.etc / "vsftpd.conf";
    WriteText(file, config);
    return {"/usr/sbin/vsftpd", file.string()};
}

struct Certificate {
    fs::path certificate, key;
};

// A self-signed certificate for "localhost", made once per server.
Certificate MakeCertificate(const Layout& l)
{
    Certificate made{l.etc / "certificate.pem", l.etc / "key.pem"};
    if (!fs::exists(made.certificate)) {
        std::string output;
        if (Run({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                 "/CN=localhost", "-keyout", made.key.string(), "-out", made.certificate.string()},
                "", &output) != 0)
            throw std::runtime_error("openssl could not make the test certificate: " + output);
    }
    return made;
}

// vsftpd as above, refusing any logon or data connection without TLS.
std::vector<std::string> ConfigureVsftpdTls(const Layout& l, uint16_t port, bool anonymous, bool requireReuse)
{
    const Certificate certificate = MakeCertificate(l);
    std::vector<std::string> args = ConfigureVsftpd(l, port, anonymous);
    std::ofstream config(args[1], std::ios::binary | std::ios::app);
    config << "ssl_enable=YES\n"
              "force_local_logins_ssl=YES\n"
              "force_local_data_ssl=YES\n"
              "allow_anon_ssl=YES\n"
              "require_ssl_reuse="
           << (requireReuse ? "YES" : "NO")
           << "\n"
              "ssl_ciphers=HIGH\n"
              "rsa_cert_file="
           << certificate.certificate.string() << "\nrsa_private_key_file=" << certificate.key.string() << "\n";
    if (!config) throw std::runtime_error("cannot write " + args[1]);
    return args;
}

// tls: pure-ftpd's -Y, 0 for none.
std::vector<std::string> ConfigurePureFtpd(const Layout& l, const fs::path& tree, uint16_t port, bool anonymous,
                                           uid_t uid, gid_t gid, int tls)
{
    // A virtual user of our own, so that its home (and chroot, the "/./") is this server's
    // root. pure-pw would hash the password with argon2, which costs seconds per logon.
    fs::path passwd = l.etc / "pureftpd.passwd", pdb = l.etc / "pureftpd.pdb";
    WriteText(passwd, std::string(kTestUser) + ':' + kTestPasswordSha512Crypt + ':' + std::to_string(uid) + ':' +
                          std::to_string(gid) + "::" + l.root.string() + "/./" + l.start + "::::::::::::\n");
    std::string output;
    if (Run({(tree / "usr/bin/pure-pw").string(), "mkdb", pdb.string(), "-f", passwd.string()}, "", &output) != 0)
        throw std::runtime_error("pure-pw mkdb failed: " + output);
    // The fortune shows up in the greeting and tells our server from any other.
    fs::path fortune = l.etc / "fortune";
    WriteText(fortune, l.token + "\n");
    std::vector<std::string> args = {(tree / "usr/sbin/pure-ftpd").string(), "-S", l.host + "," + std::to_string(port),
                                     "-l", "puredb:" + pdb.string(), "-F", fortune.string(), "-H", "-A", "-i",
                                     // Listings are cut at 10,000 entries by default; the bench lists 100,000.
                                     "-L", "1000000:8"};
    if (!anonymous) args.push_back("-E");
    if (tls != 0) {
        const Certificate certificate = MakeCertificate(l);
        args.insert(args.end(), {"-Y", std::to_string(tls), "-2",
                                 certificate.certificate.string() + "," + certificate.key.string()});
    }
    return args;
}

std::vector<std::string> ConfigureProftpd(const Layout& l, const fs::path& tree, uint16_t port, bool anonymous,
                                          bool tls)
{
    std::string config = "ServerType standalone\n"
                         "DefaultServer on\n"
                         "ServerName \"" +
                         l.token +
                         "\"\n"
                         "ServerIdent on \"" +
                         l.token +
                         "\"\n"
                         "Port " +
                         std::to_string(port) +
                         "\n"
                         "DefaultAddress " +
                         l.host +
                         "\n"
                         // Without SocketBindTight the server listens on every address.
                         "SocketBindTight on\n"
                         "UseIPv6 " +
                         (l.IPv6() ? "on" : "off") +
                         "\n"
                         "User nobody\n"
                         "Group nogroup\n"
                         "PidFile " +
                         (l.etc / "proftpd.pid").string() +
                         "\n"
                         "ScoreboardFile " +
                         (l.etc / "proftpd.scoreboard").string() +
                         "\n"
                         "DelayTable none\n"
                         "WtmpLog off\n"
                         "TransferLog none\n"
                         "UseReverseDNS off\n"
                         "ControlsEngine off\n"
                         "RequireValidShell off\n"
                         "AuthOrder mod_auth_unix.c\n"
                         "MaxInstances 100\n"
                         "Umask 022\n"
                         "AllowOverwrite on\n"
                         "AllowStoreRestart on\n"
                         "DefaultRoot " +
                         l.root.string() + "\n";
    if (!l.start.empty()) config += "DefaultChdir \"" + (l.root / l.start).string() + "\"\n";
    if (anonymous) {
        config += "<Anonymous " + l.anon.string() +
                  ">\n"
                  "  User ftp\n"
                  "  Group nogroup\n"
                  "  UserAlias anonymous ftp\n"
                  "  RequireValidShell off\n"
                  "  <Limit WRITE>\n"
                  "    DenyAll\n"
                  "  </Limit>\n"
                  "</Anonymous>\n";
    }
    const bool digest = fs::exists(tree / "usr/lib/proftpd/mod_digest.so");
    if (tls || digest) config += "ModulePath " + (tree / "usr/lib/proftpd").string() + "\n";
    // mod_digest (from the same package as mod_tls) answers HASH and XCRC, XMD5, XSHA1, XSHA256.
    if (digest) config += "LoadModule mod_digest.c\nDigestEngine on\n";
    if (tls) {
        const Certificate certificate = MakeCertificate(l);
        // Data connections need not resume the control connection's session: not every TLS
        // client can.
        config += "LoadModule mod_tls.c\n"
                  "TLSEngine on\n"
                  "TLSRequired on\n"
                  "TLSProtocol TLSv1.2 TLSv1.3\n"
                  "TLSOptions NoSessionReuseRequired\n"
                  "TLSVerifyClient off\n"
                  "TLSLog " +
                  (l.etc / "tls.log").string() + "\nTLSRSACertificateFile " + certificate.certificate.string() +
                  "\nTLSRSACertificateKeyFile " + certificate.key.string() + "\n";
    }
    fs::path file = l.etc / "proftpd.conf";
    WriteText(file, config);
    return {(tree / "usr/sbin/proftpd").string(), "-n", "-c", file.string()};
}

} // namespace

// Its stdin stays open for the life of the process, which is what stops it.
std::string StartTlsEchoServer()
{
    int input[2], output[2];
    if (pipe(input) != 0) return "error\tpipe failed";
    if (pipe(output) != 0) return "error\tpipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        close(input[1]);
        close(output[0]);
        execl(ORVID_TLS_ECHO_SERVER, ORVID_TLS_ECHO_SERVER, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    if (pid < 0) return "error\tfork failed";
    fcntl(input[1], F_SETFD, FD_CLOEXEC);
    std::string line;
    char c;
    while (read(output[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(output[0]);
    if (line.empty()) return "error\t" ORVID_TLS_ECHO_SERVER " did not start";
    return line;
}

std::string TlsEchoServerLine()
{
    static const std::string line = StartTlsEchoServer();
    return line;
}

void RealServer::HandOver(const fs::path& path) const
{
    if (lchown(path.c_str(), uid_, gid_) != 0)
        throw std::runtime_error("cannot hand " + path.string() + " to the FTP user");
}

std::unique_ptr<RealServer> RealServer::Start(ServerKind kind, std::string* why, const std::string& loginSubdirectory)
{
    const std::string name = ServerName(kind);
    if (geteuid() != 0) {
        *why = name + " unavailable: starting it needs root";
        return nullptr;
    }
    fs::path tree = FtpdRoot();
    fs::path binary;
    const bool vsftpd = kind == ServerKind::Vsftpd || kind == ServerKind::VsftpdTls ||
                        kind == ServerKind::VsftpdTlsReuse || kind == ServerKind::VsftpdIPv6;
    const bool pureFtpd = kind == ServerKind::PureFtpd || kind == ServerKind::PureFtpdTls ||
                          kind == ServerKind::PureFtpdTlsOnly || kind == ServerKind::PureFtpdIPv6;
    binary = vsftpd ? fs::path("/usr/sbin/vsftpd") : pureFtpd ? tree / "usr/sbin/pure-ftpd" : tree / "usr/sbin/proftpd";
    if (!vsftpd && tree.empty()) {
        *why = name + " unavailable: ORVID_FTPD_ROOT is not set (see tests/support/fetch-ftpd)";
        return nullptr;
    }
    if (access(binary.c_str(), X_OK) != 0) {
        *why = name + " unavailable: " + binary.string() + " is missing";
        return nullptr;
    }
    if (kind == ServerKind::ProftpdTls && !fs::exists(tree / "usr/lib/proftpd/mod_tls.so")) {
        *why = name + " unavailable: mod_tls is missing from " + tree.string() + " (see tests/support/fetch-ftpd)";
        return nullptr;
    }
    struct passwd* ftp = getpwnam("ftp");
    bool anonymous = ftp != nullptr && (!pureFtpd || fs::is_directory(ftp->pw_dir));

    std::unique_ptr<RealServer> server(new RealServer);
    EnsureTestUser(&server->uid_, &server->gid_);

    char pattern[] = "/tmp/orvid-ftp-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    Layout l;
    l.base = server->base_ = pattern;
    l.token = l.base.filename().string() + "-" + name;
    l.root = l.base / "root";
    l.anon = l.base / "anon";
    l.etc = l.base / "etc";
    l.empty = l.base / "empty";
    l.log = l.base / "server.log";
    // The servers refuse world-writable or private directories on the way to their files.
    chmod(l.base.c_str(), 0755);
    for (const fs::path& dir : {l.root, l.anon, l.etc, l.empty})
        fs::create_directory(dir);
    server->HandOver(l.root);
    l.start = loginSubdirectory;
    l.host = ServerHost(kind);
    if (!l.start.empty()) {
        fs::create_directory(l.root / l.start);
        server->HandOver(l.root / l.start);
    }

    server->info_.kind = kind;
    server->info_.host = l.host;
    server->info_.user = kTestUser;
    server->info_.password = kTestPassword;
    server->info_.anonymous = anonymous;
    server->info_.root = l.root;
    server->info_.loginDirectory = l.start.empty() ? "/" : vsftpd ? (l.root / l.start).string() : "/" + l.start;

    std::string greeting;
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        uint16_t port = PickFreePort(l.host);
        std::vector<std::string> args;
        switch (kind) {
        case ServerKind::Vsftpd:
        case ServerKind::VsftpdIPv6: args = ConfigureVsftpd(l, port, anonymous); break;
        case ServerKind::VsftpdTls: args = ConfigureVsftpdTls(l, port, anonymous, false); break;
        case ServerKind::VsftpdTlsReuse: args = ConfigureVsftpdTls(l, port, anonymous, true); break;
        case ServerKind::PureFtpd:
        case ServerKind::PureFtpdIPv6:
        case ServerKind::PureFtpdTls:
        case ServerKind::PureFtpdTlsOnly:
            args = ConfigurePureFtpd(l, tree, port, anonymous, server->uid_, server->gid_,
                                     kind == ServerKind::PureFtpdTls       ? 1
                                     : kind == ServerKind::PureFtpdTlsOnly ? 2
                                                                           : 0);
            break;
        case ServerKind::Proftpd:
        case ServerKind::ProftpdIPv6:
        case ServerKind::ProftpdTls:
            args = ConfigureProftpd(l, tree, port, anonymous, kind == ServerKind::ProftpdTls);
            break;
        }
        pid_t pid = Spawn(args, l.log);
        Greeting result = AwaitServer(pid, l.host, port, l.token, &greeting);
        if (result == Greeting::Ours) {
            server->pid_ = pid;
            server->info_.port = port;
            return server;
        }
        if (result == Greeting::TimedOut) {
            Stop(pid);
            break;
        }
        Stop(pid);
    }
    // The destructor removes the directory, so take the log first.
    std::string message = name + " did not start; greeting: [" + greeting + "]; log:\n" + ReadFile(l.log);
    throw std::runtime_error(message);
}

RealServer::~RealServer()
{
    if (pid_ > 0) Stop(pid_);
    if (!base_.empty()) {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }
}

#endif

} // namespace testsupport
