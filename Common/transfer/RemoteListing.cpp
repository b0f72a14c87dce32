#include "transfer/RemoteListing.h"

#include "session/ConnectionSession.h"

namespace {

constexpr int REPLY_SUCCESS = 0;

} // namespace

RemoteListing::RemoteListing(ConnectionSession& session) : session(session) {}

RemoteListing::~RemoteListing()
{
    // Also brings the engine's idea of its directory back in step after Enter.
    if (moved && !startDirectory.empty() && session.IsConnected()) session.ChangeDirectory(startDirectory);
}

void RemoteListing::RememberStart()
{
    if (moved) return;
    startDirectory = session.CurrentDirectory();
    moved = true;
}

bool RemoteListing::List(const std::wstring& path, std::vector<nsFTP::FileStatusPtr>& records)
{
    if (ListsByPath(path)) return session.ListDirectory(path, records);
    RememberStart();
    return session.ChangeDirectory(path) && session.ListDirectory(std::wstring(), records);
}

bool RemoteListing::Enter(const std::wstring& path, std::wstring& resolved)
{
    RememberStart();
    nsFTP::CFTPClient& engine = session.Engine();
    nsFTP::ServerReply reply;
    if (!engine.SendCommand(L"CWD " + path, false) || !engine.ReadReply(reply, false) ||
        reply.Result() != REPLY_SUCCESS)
        return false;
    // The engine keeps the path it last changed to and would answer from it; the server's
    // own answer names where the link led.
    resolved = path;
    reply.Clear();
    if (engine.SendCommand(L"PWD", false) && engine.ReadReply(reply, false) && reply.Result() == REPLY_SUCCESS) {
        const std::wstring named = nsFTP::PathFromPwdReply(reply.text);
        if (!named.empty()) resolved = named;
    }
    return session.IsConnected();
}

bool RemoteListing::ListEntered(std::vector<nsFTP::FileStatusPtr>& records)
{
    return session.ListDirectory(std::wstring(), records);
}
