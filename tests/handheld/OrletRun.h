#pragma once
// Runs the handheld program's start-up in the test process and closes it again, so that
// tests can drive the real frame and view with messages.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "OrletApp.h"
#include "OrletDoc.h"
#include "OrletFrame.h"
#include "OrletView.h"
#include "support/WindowTestHelpers.h"

class OrletRun {
public:
    OrletRun();
    ~OrletRun();
    OrletRun(const OrletRun&) = delete;
    OrletRun& operator=(const OrletRun&) = delete;

    bool Started() const noexcept { return started; }
    COrletFrame& Frame() const { return *app->MainFrame(); }
    COrletView& View() const { return *static_cast<COrletView*>(app->GetView()); }
    COrletDoc& Document() const { return *static_cast<COrletDoc*>(app->GetDocument()); }

    // Waits for the quit of a close the program carries out itself; false when it did not
    // come within the patience.
    bool WaitForQuit();
    // The command's state as the menu, toolbar and context menus would show it.
    fw::CommandState Update(UINT command) const;
    // Chooses an entry of the mode list as a tap would.
    void ChooseMode(int entry) const;
    // Focuses one of the lists, as a tap on it would.
    void Focus(ListSide side) const;
    // The rows' names of a list.
    static std::vector<std::wstring> Names(const fw::ListView& list);

private:
    std::unique_ptr<COrletApp> app;
    bool started = false;
    bool closed = false;
};

using testsupport::MenuItemEnabled;
using testsupport::PumpMessages;
using testsupport::PumpUntil;
