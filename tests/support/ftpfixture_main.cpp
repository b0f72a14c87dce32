// ftpfixture -- COMMAND [ARGS...]
//
// Starts vsftpd, pure-ftpd and proftpd, plain and with TLS, describes each in the
// variable ServerEnvironmentVariable names (ORVID_FTP_VSFTPD, ...), runs COMMAND, stops
// the servers and exits with COMMAND's status. It exists for the Windows tests, which run under Wine and cannot
// start Linux daemons themselves.
//
// Each variable holds EncodeServerInfo's line, or "unavailable\t<reason>" when the
// server cannot run here, or "error\t<message>" when it should have started but did not.
//
// It also starts tests/support/tls-echo-server for the TLS engine's tests and passes its
// first line on in ORVID_TLS_ECHO ("error\t<message>" when it did not start).

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/RealServers.h"

namespace {

volatile sig_atomic_t g_child = 0;

// Passing the signal on lets the command end on its own, after which the servers stop.
void Forward(int signal)
{
    if (g_child > 0) kill(g_child, signal);
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--") == 0) ++first;
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s -- COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }

    std::vector<std::unique_ptr<testsupport::RealServer>> servers;
    // The servers with TLS as well, for the FTP over TLS checks.
    std::vector<testsupport::ServerKind> kinds(std::begin(testsupport::kAllServerKinds),
                                               std::end(testsupport::kAllServerKinds));
    kinds.insert(kinds.end(), std::begin(testsupport::kTlsServerKinds), std::end(testsupport::kTlsServerKinds));
    kinds.push_back(testsupport::ServerKind::VsftpdTlsReuse);
    kinds.insert(kinds.end(), std::begin(testsupport::kIPv6ServerKinds), std::end(testsupport::kIPv6ServerKinds));
    for (testsupport::ServerKind kind : kinds) {
        const char* variable = testsupport::ServerEnvironmentVariable(kind);
        std::string why, value;
        try {
            std::unique_ptr<testsupport::RealServer> server = testsupport::RealServer::Start(kind, &why);
            if (server) {
                // A directory that lists itself again under a new name, which the Windows tests
                // can't make: Wine creates no symbolic links.
                std::filesystem::create_directory_symlink(".", server->MakeDirectory("link-loop") / "self");
                value = testsupport::EncodeServerInfo(server->Info());
                servers.push_back(std::move(server));
            } else {
                value = "unavailable\t" + why;
                std::fprintf(stderr, "ftpfixture: %s\n", why.c_str());
            }
        } catch (const std::exception& e) {
            value = std::string("error\t") + e.what();
            std::fprintf(stderr, "ftpfixture: %s\n", e.what());
        }
        setenv(variable, value.c_str(), 1);
    }

    const std::string tlsEcho = testsupport::TlsEchoServerLine();
    if (tlsEcho.rfind("error\t", 0) == 0) std::fprintf(stderr, "ftpfixture: %s\n", tlsEcho.c_str());
    setenv("ORVID_TLS_ECHO", tlsEcho.c_str(), 1);

    struct sigaction action {};
    action.sa_handler = Forward;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        // Wine cannot chown, so files the tests create must be writable by the FTP user as made.
        umask(0);
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "ftpfixture: cannot run %s: %s\n", argv[first], std::strerror(errno));
        _exit(127);
    }
    if (child < 0) {
        std::perror("ftpfixture: fork");
        return 1;
    }
    g_child = child;

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("ftpfixture: waitpid");
            status = 1 << 8;
            break;
        }
    }
    g_child = 0;
    servers.clear();
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}
