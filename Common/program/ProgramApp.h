#pragma once
// The application object both programs share: the start-up order (the socket library and
// the common controls, the platform's own start, the settings key, the application name
// and the engine's reporter, the windows, then the first Connect), About, Exit, the
// password-protection setting of Tools, and the log-off before the socket library goes.
// Each program adds only what differs.
#include <windows.h>

#include <memory>

#include "engine/BlockingSocket.h"
#include "framework/App.h"
#include "framework/Handles.h"
#include "framework/Window.h"

// The key under HKEY_CURRENT_USER\Software that holds both programs' settings.
extern const wchar_t* const REGISTRY_KEY_NAME;
// Tools > Protect saved passwords: the start of the box that lists the sites whose
// passwords stayed where they were.
extern const wchar_t* const NOT_PROTECTED_LIST_MESSAGE;
extern const wchar_t* const NOT_RESTORED_LIST_MESSAGE;

class ProgramApp : public fw::App {
public:
    // Ends a connection the frame's close left open before the socket library goes.
    ~ProgramApp() override;

    bool InitInstance() final;

    bool OnCommand(UINT id) override;
    // Tools > Protect saved passwords: ticked while the setting is on.
    bool OnUpdateCommand(fw::CommandState& state) override;
    bool HandlesCommand(UINT id) const override;
    bool IsCloseCommand(UINT id) const override;

protected:
    // usesOle: OLE starts first (the desktop's drag and drop and clipboard).
    ProgramApp(DWORD commonControlClasses, bool usesOle);

    // Once the instance is known, before anything else that may show a window; false ends
    // the program.
    virtual bool StartPlatform() = 0;
    // The document, frame and view (CreateSingleDocument), the frame still hidden.
    virtual bool CreateWindows() = 0;
    // Receives the first Connect, which opens the Site Manager once the message loop runs.
    virtual const fw::Window* ConnectTarget() const = 0;
    // Help > About, modal over the owner.
    virtual void ShowAbout(HWND owner);

private:
    // Switches the setting and moves the saved passwords; lists the sites left behind.
    void TogglePasswordProtection();

    DWORD commonControlClasses;
    bool usesOle;
    // Destroyed in reverse order, before the document the base class owns.
    std::unique_ptr<fw::OleInitializer> ole;
    std::unique_ptr<nsSocket::SocketLibrary> sockets;
};
