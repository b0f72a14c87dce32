#pragma once
// The commands that talk to a server: ls, get, put, mkdir, rmdir, rm, mv, chmod, hash.
#include <string>
#include <vector>

#include "engine/FTPDataTypes.h"

namespace ftpcli {

struct RemoteOptions {
    bool passive = true;
    // Passive mode asks EPSV first (--epsv), or PASV straight away (--no-epsv).
    bool extendedPassive = true;
    // MLSD when the server offers it; LIST otherwise.
    bool preferMlsd = true;
    int timeoutSeconds = 30;
    // get: a file of further URLs, one per line, fetched after those on the command line
    // (a Windows command line holds at most 32767 characters).
    std::string urlFile;
    // For ftp:// URLs; ftps:// always means implicit TLS.
    nsFTP::TlsMode tls = nsFTP::TlsMode::PLAIN_ONLY;
    // A certificate that no trusted root vouches for is accepted only with this SHA-256
    // (64 hex digits); ftpcli asks nobody.
    std::string trustedSha256;
    // get and put continue from the size of what is already there (REST, or APPE for an
    // upload when the server has no REST STREAM), and keep a partial file on failure.
    bool resume = false;
};

// Prints "ftpcli: text" on stderr.
void PrintError(const std::string& text);

// args are the command's operands (URLs, local paths, modes) as UTF-8 bytes. Returns the
// exit status: 0 on success, 1 on a failure already reported, 2 on a usage error.
int RunRemoteCommand(const std::string& command, const std::vector<std::string>& args, const RemoteOptions& options);

} // namespace ftpcli
