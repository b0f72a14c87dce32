#include "transfer/RemoteListing.h"

#include "session/ConnectionSession.h"

RemoteListing::RemoteListing(ConnectionSession& session) : session(session) {}

RemoteListing::~RemoteListing()
{
    if (moved && !startDirectory.empty() && session.IsConnected()) session.ChangeDirectory(startDirectory);
}

bool RemoteListing::List(const std::wstring& path, std::vector<nsFTP::FileStatusPtr>& records)
{
    if (ListsByPath(path)) return session.ListDirectory(path, records);
    if (!moved) {
        startDirectory = session.CurrentDirectory();
        moved = true;
    }
    return session.ChangeDirectory(path) && session.ListDirectory(std::wstring(), records);
}
