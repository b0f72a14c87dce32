#pragma once
// The main window: menu, toolbar, filter bar and status bar around the remote pane, and
// the window layout kept under HKEY_CURRENT_USER\SOFTWARE\FTPClient\Layout.
#include "DialogBarEx.h"
#include "ToolBarEx.h"
#include "framework/Controls.h"
#include "framework/FrameWindow.h"

extern const wchar_t* const LAYOUT_KEY;

// Status pane 0 returns to "Ready" on this timer.
constexpr UINT_PTR READY_TIMER = 1;
constexpr UINT READY_TIMER_MS = 15000;

// Where the frame opens when no layout was saved.
constexpr int DEFAULT_FRAME_LEFT = 150;
constexpr int DEFAULT_FRAME_TOP = 150;
constexpr int DEFAULT_FRAME_WIDTH = 580;
constexpr int DEFAULT_FRAME_HEIGHT = 460;

class COrvidView;

class CMainFrame : public fw::FrameWindow {
public:
    CMainFrame() = default;

    // Restores the saved placement, bars, view mode and column widths (start-up).
    void LoadLayout();
    // Stores them (close).
    void SaveLayout();

    CToolBarEx& ToolBar() noexcept { return toolBar; }
    CDialogBarEx& FilterBar() noexcept { return filterBar; }
    fw::StatusBar& StatusBar() noexcept { return statusBar; }

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnClose() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR id) override;
    void OnSize(UINT type, int width, int height) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    COrvidView* View() const;
    // The session's links to the filter bar's edit, kind combo and type combo.
    void LinkFilterControls();
    bool CreateToolBar(HINSTANCE instance);

    CToolBarEx toolBar;
    CDialogBarEx filterBar;
    fw::StatusBar statusBar;
    int toolBarHeight = 0;
};
