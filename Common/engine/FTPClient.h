#pragma once
// The FTP engine: one object per connection session. Every operation runs on the
// caller's thread and blocks it; failures are shown to the user through the reporter.
#include <array>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "engine/BlockingSocket.h"
#include "engine/FTPDataTypes.h"

namespace nsFTP {

constexpr int DEFAULT_TIMEOUT_SECONDS = 10;
constexpr std::size_t RECEIVE_BUFFER_SIZE = 2048;

class CFTPClient {
public:
    // Takes ownership of the control socket, which is not open yet.
    explicit CFTPClient(nsSocket::IBlockingSocket* controlSocket);
    virtual ~CFTPClient();
    CFTPClient(const CFTPClient&) = delete;
    CFTPClient& operator=(const CFTPClient&) = delete;

    bool LogOn(const LogonSettings& settings, int timeoutSeconds);
    // QUIT; the reply result.
    int LogOff();

    // One command line; false when it could not be sent (the connection is then closed).
    bool SendCommand(const std::wstring& command, bool report);
    // One complete reply, multi-line replies joined with CR LF.
    bool ReadReply(ServerReply& reply, bool report);

    // The working directory, from the cache when it is known, else from PWD.
    int GetCurrentDir(std::wstring& path);

    bool IsConnected() const { return controlSocket->Handle() != 0; }
    const std::wstring& CurrentDirectory() const { return currentDirectory; }
    int Timeout() const { return timeout; }
    const LogonSettings& Settings() const { return logonSettings; }
    const std::wstring& LineSeparator() const { return lineSeparator; }

private:
    bool OpenControlConnection(const std::wstring& host, std::uint16_t port);
    void CloseControlConnection();
    bool ReadReplyLine(std::wstring& line, bool report);
    bool FillPendingLines();
    // Shows a failed command's reply (result 1 or -1) and returns the result.
    int ShowReplyResult(const ServerReply& reply) const;
    void ShowSocketFailure(const nsSocket::CBlockingSocketException& failure) const;
    void ForgetPendingLines();

    std::wstring currentDirectory;
    int timeout = DEFAULT_TIMEOUT_SECONDS;
    std::wstring lineSeparator = L"\r\n";
    std::array<char, RECEIVE_BUFFER_SIZE> receiveBuffer{};
    std::deque<std::string> pendingLines;
    std::string partialLine;  // received bytes of a line whose LF has not arrived yet
    std::unique_ptr<nsSocket::IBlockingSocket> controlSocket;
    LogonSettings logonSettings;
};

} // namespace nsFTP
