#pragma once
// Runs the desktop program's start-up in the test process and closes it again, so that
// tests can drive the real frame with messages.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "support/WindowTestHelpers.h"

class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Started() const noexcept { return started; }
    CMainFrame& Frame() const { return *app->MainFrame(); }
    COrvidView& View() const { return *static_cast<COrvidView*>(app->GetView()); }
    COrvidApp& App() const { return *app; }
    COrvidDoc& Document() const { return *static_cast<COrvidDoc*>(app->GetDocument()); }

    // Closes the frame as the user would (saving the layout) and waits for the quit.
    void Close();
    // Waits for the quit of a close the program carries out itself; false when it did not
    // come within the patience.
    bool WaitForQuit();

    // The command's state as the menu, toolbar and context menus would show it.
    fw::CommandState Update(UINT command) const;
    // A menu item's state after its pop-up was opened: MF_CHECKED, MF_GRAYED, ...
    UINT MenuItemState(const std::vector<int>& popupPath, UINT command) const;

private:
    std::unique_ptr<COrvidApp> app;
    bool started = false;
    bool closed = false;
};

using testsupport::MenuItemEnabled;
using testsupport::PumpMessages;
using testsupport::PumpUntil;

// Saves the layout key's values and puts them back (or removes the key) when done.
class LayoutKeyGuard {
public:
    LayoutKeyGuard();
    ~LayoutKeyGuard();
    LayoutKeyGuard(const LayoutKeyGuard&) = delete;
    LayoutKeyGuard& operator=(const LayoutKeyGuard&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    bool existed = false;
    std::vector<Value> values;
};

std::wstring PaneText(int pane);
