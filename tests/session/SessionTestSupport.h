#pragma once
// Sites and scripted logons shared by the session tests.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "session/ConnectionSession.h"
#include "sites/SiteRecord.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"

inline SiteRecord ScriptedSite(const testsupport::ScriptedServer& server, bool keepAlive = true)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, L"Scripted");
    SetText(site.host, L"127.0.0.1");
    site.port = server.Port();
    SetText(site.user, L"alice");
    SetText(site.password, L"secret");
    site.timeout = 5;
    site.keepAlive = keepAlive ? 1 : 0;
    // The scripts speak plain FTP; new sites would ask for TLS first.
    SetSiteEncryption(site, SiteEncryption::PlainOnly);
    return site;
}

// A site that logs on to a real server as its test user, in plain FTP (a server with TLS
// takes SetSiteEncryption).
inline SiteRecord RealServerSite(const testsupport::RealServer& server, const std::wstring& label)
{
    const testsupport::RealServerInfo& info = server.Info();
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, label);
    SetText(site.host, L"127.0.0.1");
    site.port = info.port;
    SetText(site.user, std::wstring(info.user.begin(), info.user.end()));
    SetText(site.password, std::wstring(info.password.begin(), info.password.end()));
    site.timeout = 10;
    SetSiteEncryption(site, SiteEncryption::PlainOnly);
    return site;
}

// Greeting, USER alice, PASS secret and the logon's PWD answered with home.
inline void ScriptLogon(testsupport::ScriptedServer& server, const std::string& home = "/home/alice",
                        const std::string& featReply = "502 Command not supported\r\n")
{
    server.Reply("220 ready\r\n")
        .On("USER alice", "331 password\r\n")
        .On("PASS secret", "230 in\r\n")
        .On("FEAT", featReply)
        .On("PWD", "257 \"" + home + "\" is current\r\n");
}

inline std::vector<std::wstring> Names(const RemoteEntryList& entries)
{
    std::vector<std::wstring> names;
    for (const RemoteEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

// How many times the server was asked the command.
inline std::ptrdiff_t CommandCount(const testsupport::ScriptedServer& server, const std::string& command)
{
    const std::vector<std::string> commands = server.Commands();
    return std::count(commands.begin(), commands.end(), command);
}

// Valid listing lines for a server to trickle far longer than any test waits.
inline std::string EndlessListing()
{
    std::string endless;
    for (int line = 0; line < 20000; ++line)
        endless += "-rw-r--r-- 1 u g 1 Jan  5  2020 trickled\r\n";
    return endless;
}

// A logon into "/", a first listing of one file "old", then a second listing that trickles
// until the client breaks it off (426).
inline void ScriptOldThenEndlessListing(testsupport::ScriptedServer& server)
{
    ScriptLogon(server, "/");
    server.ExpectPasv().On("LIST /", "150 listing\r\n").DataSend("-rw-r--r-- 1 u g 1 Jan  5  2020 old\r\n");
    server.Reply("226 done\r\n");
    server.ExpectPasv().On("LIST /", "150 listing\r\n").DataTrickle(EndlessListing(), std::chrono::milliseconds(1));
    server.Reply("426 aborted\r\n");
}
