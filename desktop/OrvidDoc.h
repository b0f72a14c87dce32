#pragma once
// The desktop program's document: it holds no file but the one FTP connection session,
// through which every other part of the program reaches the server. Its title names the
// connected site, or "Disconnected".
#include <string>

#include "framework/Document.h"
#include "session/ConnectionSession.h"

extern const wchar_t* const DISCONNECTED_TITLE;

class COrvidView;

class COrvidDoc : public fw::Document {
public:
    COrvidDoc() = default;
    // Logs off a connection that is still open.
    ~COrvidDoc() override;

    ConnectionSession& Session() noexcept { return session; }

    // Title "Disconnected"; logs off a live connection and clears the count panes.
    void DeleteContents() override;

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(fw::CommandState& state) override;

    // The Connect command's steps before the Site Manager opens: log off any earlier
    // connection and clear the count panes.
    void PrepareConnect();
    // The Connect command's steps after the Site Manager connected a site: the title
    // becomes the manager's title text, the pane shows the listing and its list counts
    // as connected.
    void OnSiteConnected(const std::wstring& title);
    // The Disconnect command; does nothing while not connected.
    void Disconnect();

private:
    void Connect();
    COrvidView* View() const;

    ConnectionSession session;
};
