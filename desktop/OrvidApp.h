#pragma once
// The desktop program's application object: the programs' shared start-up with OLE and
// the pane's clipboard formats, the desktop's frame and view, and the restored layout.
#include "program/ProgramApp.h"

class CMainFrame;

class COrvidApp : public ProgramApp {
public:
    COrvidApp();

    CMainFrame* MainFrame() const;

private:
    bool StartPlatform() override;
    // With the layout the last run saved.
    bool CreateWindows() override;
    const fw::Window* ConnectTarget() const override;
    void ShowAbout(HWND owner) override;
};
