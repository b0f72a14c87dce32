#include "transfer/RemoteListing.h"

#include "session/ConnectionSession.h"

namespace {

constexpr int REPLY_SUCCESS = 0;
constexpr wchar_t QUOTE = L'"';

// The path of a 257 reply, which RFC 959 quotes, doubling quotes inside it; empty when the
// reply quotes nothing.
std::wstring QuotedPath(const std::wstring& reply)
{
    const std::size_t open = reply.find(QUOTE);
    if (open == std::wstring::npos) return {};
    std::wstring path;
    for (std::size_t i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != QUOTE) {
            path.push_back(reply[i]);
        } else if (i + 1 < reply.size() && reply[i + 1] == QUOTE) {
            path.push_back(QUOTE);
            ++i;
        } else {
            return path;
        }
    }
    return {};
}

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
        const std::wstring named = QuotedPath(reply.text);
        if (!named.empty()) resolved = named;
    }
    return session.IsConnected();
}

bool RemoteListing::ListEntered(std::vector<nsFTP::FileStatusPtr>& records)
{
    return session.ListDirectory(std::wstring(), records);
}
