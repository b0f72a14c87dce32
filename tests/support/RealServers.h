#pragma once

// Real FTP servers (vsftpd, pure-ftpd, proftpd) on loopback for integration tests.
//
// Native Linux: RealServer::Start launches the daemon itself. This needs root (the
// servers switch users and chroot) and, for pure-ftpd and proftpd, the tree unpacked
// by tests/support/fetch-ftpd named in the environment variable ORVID_FTPD_ROOT.
// vsftpd is taken from /usr/sbin/vsftpd.
//
// Windows (the tests run under Wine): Linux daemons cannot be started from there, so
// the native program ftpfixture starts them and passes each one on in the environment
// variable ServerEnvironmentVariable names (ORVID_FTP_VSFTPD, ...); Start reads it.
//
// A native server dies with the thread that started it (so that a crashed test leaves no
// daemon behind): start it from a thread that outlives it.
//
// Every server runs on its own free port with its own temporary directory, so several
// test processes may use servers at the same time.
//
// All three servers confine the test user to `root`: after logon PWD answers "/" and
// "/" is `root`. Anonymous logon (user "anonymous") reaches a separate, read-only
// directory that does not lie under `root`.
//
// Files the test process creates below `root` belong to the test process, not to the
// FTP user; create anything the server has to write into or overwrite through
// MakeDirectory / WriteFile, which hand it to the FTP user.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace testsupport {

// The TLS kinds speak FTP over TLS with a self-signed certificate for "localhost" that the
// fixture makes; they are not among kAllServerKinds.
//   VsftpdTls       vsftpd requiring TLS for logons and data, without session reuse.
//   VsftpdTlsReuse  the same, but a data connection must resume the control connection's
//                   TLS session (vsftpd's default), which Wine's Schannel cannot do.
//   PureFtpdTls     pure-ftpd offering TLS (-Y 1); a client may stay plain.
//   PureFtpdTlsOnly pure-ftpd refusing logons without TLS (-Y 2).
//   ProftpdTls      proftpd with mod_tls requiring TLS, without session reuse.
// The IPv6 kinds are the plain servers listening on ::1 instead of 127.0.0.1; they are
// not among kAllServerKinds either.
enum class ServerKind {
    Vsftpd,
    PureFtpd,
    Proftpd,
    VsftpdTls,
    VsftpdTlsReuse,
    PureFtpdTls,
    PureFtpdTlsOnly,
    ProftpdTls,
    VsftpdIPv6,
    PureFtpdIPv6,
    ProftpdIPv6
};

inline constexpr ServerKind kAllServerKinds[] = {ServerKind::Vsftpd, ServerKind::PureFtpd, ServerKind::Proftpd};
// The TLS servers that every TLS client can use for data.
inline constexpr ServerKind kTlsServerKinds[] = {ServerKind::VsftpdTls, ServerKind::PureFtpdTls,
                                                 ServerKind::PureFtpdTlsOnly, ServerKind::ProftpdTls};

inline constexpr ServerKind kIPv6ServerKinds[] = {ServerKind::VsftpdIPv6, ServerKind::PureFtpdIPv6,
                                                  ServerKind::ProftpdIPv6};

// "vsftpd", "pure-ftpd", "proftpd", "vsftpd-tls", "vsftpd-tls-reuse", "pure-ftpd-tls",
// "pure-ftpd-tls-only", "proftpd-tls", "vsftpd-ipv6", "pure-ftpd-ipv6", "proftpd-ipv6"
const char* ServerName(ServerKind kind);

// Name of the environment variable through which ftpfixture passes a server on.
const char* ServerEnvironmentVariable(ServerKind kind);

struct RealServerInfo {
    ServerKind kind = ServerKind::Vsftpd;
    std::string host = "127.0.0.1"; // "::1" for the IPv6 kinds
    uint16_t port = 0;
    std::string user, password;
    bool anonymous = false; // anonymous logon accepted
    // The user's FTP root in this process's terms (a Z:\ path under Wine); writable.
    std::filesystem::path root;
    std::string loginDirectory; // what PWD answers right after the user logs on
};

// One line of text carrying a RealServerInfo through the environment.
std::string EncodeServerInfo(const RealServerInfo& info);
// Returns false when `text` is not a well-formed encoding. `root` comes back unchanged
// (the Linux path); see WinePath.
bool DecodeServerInfo(ServerKind kind, std::string_view text, RealServerInfo* info);
// "/tmp/x/y" -> "Z:\tmp\x\y", the path under which Wine shows a Linux file.
std::string WinePath(std::string_view unixPath);

// The TLS echo server (tests/support/tls-echo-server) for the TLS engine's tests: its first
// line, "PORT<TAB>PORT2<TAB>sha256 Fingerprint=AB:CD:...", or "error\t<message>" when it did
// not start. Natively the first call starts it for the life of the process; under Wine it
// comes from ftpfixture in ORVID_TLS_ECHO (empty when that is not set).
std::string TlsEchoServerLine();

class RealServer {
public:
    // Returns nullptr and sets *why when the server cannot run here (not root, binaries
    // missing, not started by ftpfixture). Throws std::runtime_error, with the server's
    // log, when it should run but does not come up: a broken fixture must fail tests,
    // not skip them.
    //
    // With loginSubdirectory, the test user starts in that directory below root (created
    // here), so that PWD names a path of the test's choosing. Native only: under Wine the
    // servers come from ftpfixture as they are, and this returns nullptr.
    static std::unique_ptr<RealServer> Start(ServerKind kind, std::string* why,
                                             const std::string& loginSubdirectory = {});

    RealServer(const RealServer&) = delete;
    RealServer& operator=(const RealServer&) = delete;
    ~RealServer(); // stops the server and removes its directory (native only)

    const RealServerInfo& Info() const { return info_; }

    // Creates root/relative (and missing parents) owned by the FTP user; returns its path.
    std::filesystem::path MakeDirectory(const std::filesystem::path& relative) const;
    // Writes root/relative (creating parents) owned by the FTP user; returns its path.
    std::filesystem::path WriteFile(const std::filesystem::path& relative, std::string_view contents) const;

    // Native only: the process id of the daemon, -1 under Wine.
    int ProcessId() const { return pid_; }

private:
    RealServer() = default;
    void HandOver(const std::filesystem::path& path) const;

    RealServerInfo info_;
    std::filesystem::path base_; // owns root and the server's configuration; native only
    int pid_ = -1;
    unsigned uid_ = 0, gid_ = 0;
};

} // namespace testsupport
