#pragma once
// The document both programs share: it holds no file but the one FTP connection session,
// through which every other part of the program reaches the server, and runs Connect
// (through the Site Manager) and Disconnect. Its title names the connected site, or
// "Disconnected". Each program adds what its view shows of the connection.
#include <windows.h>

#include <string>

#include "framework/Document.h"
#include "framework/FrameWindow.h"
#include "session/ConnectionSession.h"

extern const wchar_t* const DISCONNECTED_TITLE;

class CSiteManager;

class ProgramDoc : public fw::Document {
public:
    ~ProgramDoc() override;

    ConnectionSession& Session() noexcept { return session; }

    // Title "Disconnected"; logs off a live connection.
    void DeleteContents() override;

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(fw::CommandState& state) override;

    // The Connect command's steps before the Site Manager opens: log off any earlier
    // connection.
    virtual void PrepareConnect();
    // Logs off an earlier connection, then runs the Site Manager.
    void Connect();
    // The Connect command's steps after the Site Manager connected a site: the title
    // becomes the manager's title text and the view shows the listing.
    void OnSiteConnected(const std::wstring& title);
    // The Disconnect command; does nothing while not connected.
    void Disconnect();

protected:
    ProgramDoc() = default;

    // Logs off a live connection, then OnLoggedOff.
    void LogOffIfConnected();
    template <class View> View* FindView() const
    {
        return GetFrame() != nullptr ? dynamic_cast<View*>(GetFrame()->GetView()) : nullptr;
    }

    // The session has logged off (Connect, Disconnect, the reset).
    virtual void OnLoggedOff() {}
    // Before the Site Manager opens.
    virtual void PrepareSiteManager(CSiteManager& manager) { (void)manager; }
    // Shows the new connection's listing; false when there is no view to show it.
    virtual bool ShowListing() = 0;
    // Empties the view's remote list before the connection closes.
    virtual void ClearListing() = 0;
    // After Disconnect.
    virtual void OnDisconnected() {}

private:
    ConnectionSession session;
};
