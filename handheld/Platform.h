#pragma once
// Everything the handheld program asks of its platform's own shell, in one place: the
// shell library's one-time initialisation, the menu bar with its "Menu" button, the
// input-panel preference that handheld dialogs carry, the title-bar OK of dialogs without
// an OK button, and the Connection Manager's request for an Internet connection. This is
// the implementation for desktop Windows, where none of those services exists: each
// piece takes the same place in the program and does the nearest desktop thing.
#include <windows.h>

#include <cstdint>

#include "framework/Controls.h"
#include "framework/Handles.h"

// The shell library's one-time initialisation, before any window: registers the window
// class of the input-panel preference control, so that dialog templates naming it open.
// False only when the class can't be registered.
bool InitializeShell(HINSTANCE instance);

// The class of the input-panel preference control: a dialog that carries it asks for the
// on-screen keyboard whenever one of its text boxes takes the focus. The desktop has its
// own keyboard, so the control stays hidden and does nothing else.
extern const wchar_t* const INPUT_PANEL_PREFERENCE_CLASS;

// The title-bar OK. While installed on a thread, every dialog that opens on it, carries
// the input-panel preference control and has no OK button of its own gets one: a small
// "OK" button at the top right of its client area, sending IDOK as an OK button does
// (the caption itself is drawn by the window manager, which Wine may not have).
class TitleBarOk {
public:
    TitleBarOk();
    ~TitleBarOk();
    TitleBarOk(const TitleBarOk&) = delete;
    TitleBarOk& operator=(const TitleBarOk&) = delete;

    // Adds the button to a dialog that should have it; false when it has not.
    static bool Apply(HWND dialog);

private:
    static LRESULT CALLBACK OnCallWindowReturn(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook = nullptr;
};

// The menu bar, the device's command bar: a bar at the bottom of the frame whose first
// button, "Menu", opens the program's menu, followed by the program's own buttons. Toolbar
// buttons, so that pressing one leaves the keyboard focus where it was: the file commands
// act on the list that has it. The buttons take further rows on a narrow screen.
class MenuBar : public fw::ToolBar {
public:
    // Creates the bar with its "Menu" button, whose label is string buttonId.
    bool Create(HWND frame, UINT barId, UINT buttonId, HINSTANCE instance);
    // Adds a separator, then the buttons of toolbar resource toolBarId with their images,
    // which the bar does not own.
    bool AddButtons(HINSTANCE instance, UINT toolBarId, HIMAGELIST images);
    // Breaks the buttons into rows no wider than width. The bar does it itself: a toolbar
    // that wraps by its own measure takes every button to be as wide as "Menu" under Wine.
    void WrapTo(int width) const;
    // Opens the menu above the button; the frame owns the menu, so its pop-ups are updated
    // and its choice is routed as any menu's. Returns the chosen command, 0 when dismissed.
    UINT OpenMenu(HWND frame, HMENU menu) const;

private:
    bool SetWrap(int index, bool wrap) const;
};

// The Connection Manager's connection-info structure, 64 bytes on the device.
struct ConnectionInfo {
    std::uint32_t size;
    std::uint32_t parameters;
    std::uint32_t flags;
    std::uint32_t priority;
    std::int32_t exclusive;
    std::int32_t disabled;
    GUID destinationNetwork;
    std::uint32_t window;
    std::uint32_t message;
    std::uint32_t messageParameter;
    std::uint32_t maxCost;
    std::uint32_t minReceiveBandwidth;
    std::uint32_t maxConnectionLatency;
};
static_assert(sizeof(ConnectionInfo) == 64, "the Connection Manager takes 64 bytes");

constexpr std::uint32_t CONNECTION_PARAM_DESTINATION_GIVEN = 1;
constexpr std::uint32_t CONNECTION_PRIORITY_USER_INTERACTIVE = 0x2000;
constexpr DWORD CONNECTION_REQUEST_TIMEOUT_MS = 60000;
// The destination network of the Internet.
extern const GUID INTERNET_DESTINATION_NETWORK;

// The request for the Internet: destination given, no flags, user-interactive priority,
// not exclusive.
ConnectionInfo MakeInternetConnectionInfo();

// Asks for an Internet connection and waits for it up to CONNECTION_REQUEST_TIMEOUT_MS;
// the caller ignores the outcome, since the logon reports a missing network itself. The
// desktop is connected, or dials through the system's own attempt, so this returns at once.
void RequestInternetConnection(const ConnectionInfo& info, DWORD timeoutMs);
