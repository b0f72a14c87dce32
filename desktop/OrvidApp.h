#pragma once
// The desktop program's application object: starts OLE, the socket library and the
// common controls, creates the document, frame and view, and restores the layout.
#include <memory>

#include "engine/BlockingSocket.h"
#include "framework/App.h"
#include "framework/Handles.h"

class CMainFrame;

class COrvidApp : public fw::App {
public:
    // Ends a connection the frame's close left open before the socket library goes.
    ~COrvidApp() override;

    bool InitInstance() override;

    bool OnCommand(UINT id) override;
    bool HandlesCommand(UINT id) const override;
    bool IsCloseCommand(UINT id) const override;

    CMainFrame* MainFrame() const;

private:
    // Destroyed in reverse order, before the document the base class owns.
    std::unique_ptr<fw::OleInitializer> ole;
    std::unique_ptr<nsSocket::SocketLibrary> sockets;
};
