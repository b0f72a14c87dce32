#pragma once
// The handheld program's application object: starts the socket library, the common
// controls and the platform's shell, creates the document, frame and view, and opens the
// Site Manager as soon as the message loop runs.
#include <memory>

#include "Platform.h"
#include "engine/BlockingSocket.h"
#include "framework/App.h"

class COrletFrame;

// Test-only: "WIDTHxHEIGHT" for another screen than 240 x 320.
extern const wchar_t* const SCREEN_SIZE_VARIABLE;

class COrletApp : public fw::App {
public:
    ~COrletApp() override;

    bool InitInstance() override;

    bool OnCommand(UINT id) override;
    bool HandlesCommand(UINT id) const override;
    bool IsCloseCommand(UINT id) const override;

    COrletFrame* MainFrame() const;

private:
    std::unique_ptr<nsSocket::SocketLibrary> sockets;
    std::unique_ptr<TitleBarOk> titleBarOk;
};
