#pragma once
// The handheld program's application object: the programs' shared start-up with the
// platform's shell, the handheld frame and view on a screen of the device's size.
#include <memory>

#include "Platform.h"
#include "program/ProgramApp.h"

class COrletFrame;

// Test-only: "WIDTHxHEIGHT" for another screen than 240 x 320.
extern const wchar_t* const SCREEN_SIZE_VARIABLE;

class COrletApp : public ProgramApp {
public:
    COrletApp();

    COrletFrame* MainFrame() const;

private:
    // The platform's shell, its title-bar OK and the handheld dialog templates.
    bool StartPlatform() override;
    // The frame stands for the device's screen.
    bool CreateWindows() override;
    const fw::Window* ConnectTarget() const override;

    std::unique_ptr<TitleBarOk> titleBarOk;
};
