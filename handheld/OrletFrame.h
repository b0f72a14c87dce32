#pragma once
// The handheld program's main window: the view above the menu bar, which holds the "Menu"
// button and the toolbar's buttons at the bottom, as the device's command bar does, in a
// window whose client area is a handheld screen (240 x 320 unless told otherwise).
#include "Platform.h"
#include "framework/Controls.h"
#include "framework/FrameWindow.h"
#include "framework/Handles.h"

constexpr int DEFAULT_SCREEN_WIDTH = 240;
constexpr int DEFAULT_SCREEN_HEIGHT = 320;
constexpr DWORD ORLET_FRAME_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

class COrletFrame : public fw::FrameWindow {
public:
    COrletFrame() = default;

    // Sizes the window so that its client area is width x height.
    void SetScreenSize(int width, int height);
    // The command bar: the "Menu" button, then the toolbar's buttons.
    MenuBar& Bar() noexcept { return menuBar; }
    // The program's menu, which the menu bar opens.
    HMENU Menu() const noexcept { return menu.Get(); }
    // The menu bar's button: opens the menu and routes the chosen command.
    void OpenMenu();

    bool OnCommand(UINT id) override;
    bool HandlesCommand(UINT id) const override;

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnClose() override;
    void OnSize(UINT type, int width, int height) override;

private:
    bool CreateBar(HINSTANCE instance);

    fw::ImageList toolBarImages;
    MenuBar menuBar;
    fw::MenuHandle menu;
};
