#pragma once
// Lists remote directories from inside them. Servers disagree on how LIST takes a path
// with blanks (one wants them escaped with "\", others take them literally, and a name
// that begins with "-" reads as options to some), so the listing changes into the
// directory and lists it without an argument. The directory the session was in comes
// back when the listing object goes.
#include <string>
#include <vector>

#include "engine/FTPDataTypes.h"

class ConnectionSession;

class RemoteListing {
public:
    explicit RemoteListing(ConnectionSession& session);
    ~RemoteListing();
    RemoteListing(const RemoteListing&) = delete;
    RemoteListing& operator=(const RemoteListing&) = delete;

    // The records of the directory in server order; false when it could not be entered or listed.
    bool List(const std::wstring& path, std::vector<nsFTP::FileStatusPtr>& records);

private:
    ConnectionSession& session;
    std::wstring startDirectory;
    bool moved = false;
};
