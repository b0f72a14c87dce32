#pragma once
// The commands that talk to a server: ls, get, put, mkdir, rmdir, rm, mv, chmod.
#include <string>
#include <vector>

namespace ftpcli {

struct RemoteOptions {
    bool passive = true;
    int timeoutSeconds = 30;
    // get: a file of further URLs, one per line, fetched after those on the command line
    // (a Windows command line holds at most 32767 characters).
    std::string urlFile;
};

// Prints "ftpcli: text" on stderr.
void PrintError(const std::string& text);

// args are the command's operands (URLs, local paths, modes) as UTF-8 bytes. Returns the
// exit status: 0 on success, 1 on a failure already reported, 2 on a usage error.
int RunRemoteCommand(const std::string& command, const std::vector<std::string>& args, const RemoteOptions& options);

} // namespace ftpcli
