#pragma once
// Lists remote directories. A directory that LIST cannot take as its argument (ListsByPath)
// is listed from inside it: CWD, then LIST without an argument. Any other path goes with the
// LIST as it is. The directory the session was in comes back when the listing object goes.
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
    // Changes into path (a link, say) without showing a refusal, which only means that it is
    // no directory; resolved is then the directory as PWD names it, or path itself when the
    // reply names none.
    bool Enter(const std::wstring& path, std::wstring& resolved);
    // The records of the directory Enter went into.
    bool ListEntered(std::vector<nsFTP::FileStatusPtr>& records);

private:
    void RememberStart();

    ConnectionSession& session;
    std::wstring startDirectory;
    bool moved = false;
};
