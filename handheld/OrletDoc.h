#pragma once
// The handheld program's document: the one FTP connection session, as on the desktop, and
// the local browsing state. Its title names the connected site, or "Disconnected".
#include <string>

#include "LocalBrowser.h"
#include "framework/Document.h"
#include "session/ConnectionSession.h"

extern const wchar_t* const DISCONNECTED_TITLE;

class COrletView;

class COrletDoc : public fw::Document {
public:
    COrletDoc() = default;
    ~COrletDoc() override;

    ConnectionSession& Session() noexcept { return session; }
    LocalBrowser& Local() noexcept { return local; }

    // Title "Disconnected"; logs off a live connection.
    void DeleteContents() override;

    // Connect...: logs off an earlier connection, then runs the Site Manager, which asks
    // the platform for an Internet connection before it logs on.
    void Connect();
    // The Connect command's steps after the Site Manager connected a site: the title is
    // the manager's title text and the remote list shows the listing.
    void OnSiteConnected(const std::wstring& title);
    // Disconnect; does nothing while not connected.
    void Disconnect();

private:
    COrletView* View() const;

    ConnectionSession session;
    LocalBrowser local;
};
