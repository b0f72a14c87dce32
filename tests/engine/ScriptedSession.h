#pragma once
// What the engine's scripted tests share: an anonymous logon to a scripted server, a
// download through the caller-driven transfer, and the commands the server was sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "support/ScriptedServer.h"

namespace enginetest {

// Far more than a scripted reply ever takes; the tests that wait one out pass their own.
constexpr int kTimeout = 10;
inline const std::string kNoFeatures = "502 Command not supported\r\n";

// The server's half of an anonymous logon: greeting, USER, FEAT answered with feat, PWD.
inline testsupport::ScriptedServer& ScriptLogon(testsupport::ScriptedServer& server,
                                                const std::string& feat = kNoFeatures)
{
    return server.Reply("220 ready\r\n").On("USER anonymous", "230 in\r\n").On("FEAT", feat).On("PWD", "257 \"/\"\r\n");
}

inline nsFTP::LogonSettings Anonymous(const std::wstring& host, std::uint16_t port)
{
    nsFTP::LogonSettings settings;
    settings.host = host;
    settings.port = port;
    return settings;
}

// The whole file, read in small pieces; "<no transfer>" when none opened, and
// "<close failed>" after the bytes when the transfer did not end well.
inline std::string Download(nsFTP::CFTPClient& client, const std::wstring& path, bool passive)
{
    auto data = client.OpenDataTransfer(path, passive, false);
    if (!data) return "<no transfer>";
    std::string bytes;
    char buffer[1000];
    int count = 0;
    while (client.ReadData(*data, buffer, sizeof(buffer), count) && count > 0)
        bytes.append(buffer, static_cast<std::size_t>(count));
    if (!client.CloseDataTransfer(std::move(data))) bytes += "<close failed>";
    return bytes;
}

// Every command the server was sent, once the client has gone and the script was played.
inline std::vector<std::string> Commands(testsupport::ScriptedServer& server)
{
    server.WaitDisconnected(std::chrono::seconds(5));
    testsupport::ExpectScriptPlayed(server);
    return server.Commands();
}

// A client, the scripted server it talks to, and what the user would have seen.
class ScriptedSessionTest : public ::testing::Test {
protected:
    // Starts the server and logs on to it anonymously; a clean logon shows nothing, and
    // what it put in the status line is not the test's.
    void LogOn(nsFTP::LogonSettings settings = {}, int timeout = kTimeout)
    {
        server.Start();
        settings.host = L"127.0.0.1";
        settings.port = server.Port();
        ASSERT_TRUE(client.LogOn(settings, timeout));
        EXPECT_TRUE(reporter.Errors().empty());
        reporter.Clear();
    }
    // The commands after the logon's USER, FEAT and PWD, and before the QUIT of LogOff.
    std::vector<std::string> Played()
    {
        client.LogOff();
        auto commands = Commands(server);
        commands.erase(commands.begin(), commands.begin() + std::min<std::ptrdiff_t>(3, std::ssize(commands)));
        if (!commands.empty() && commands.back() == "QUIT") commands.pop_back();
        return commands;
    }
    std::string Download(const std::wstring& path, bool passive) { return enginetest::Download(client, path, passive); }

    TestReporter reporter;
    testsupport::ScriptedServer server;
    nsFTP::CFTPClient client{new nsSocket::CBlockingSocket};
};

} // namespace enginetest
