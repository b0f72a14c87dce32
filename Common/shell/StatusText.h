#pragma once
// The status-bar text helper. Any thread may set a pane's text: each request posts its own
// heap copy of the text to the window that owns the status bar, and that window's handler
// (on the user-interface thread) shows it and frees it. Since posted messages keep their
// order, the latest text of each pane wins, and no copy is shared between requests.
#include <windows.h>

#include <string>

// Posted to the status window: wParam is the pane index, lParam a std::wstring* that the
// receiver owns and must free with ApplyStatusText.
constexpr UINT WM_STATUS_TEXT = WM_APP + 0x150;

constexpr int STATUS_PANE_MESSAGE = 0;
constexpr int STATUS_PANE_DIRECTORIES = 1;
constexpr int STATUS_PANE_FILES = 2;
constexpr int STATUS_PANE_BYTES = 3;
// The connection's encryption, shown for as long as it is connected.
constexpr int STATUS_PANE_SECURITY = 4;
constexpr int STATUS_PANE_COUNT = 10;

// The window that receives WM_STATUS_TEXT (the frame); nullptr drops later requests.
void SetStatusTextWindow(HWND window);
HWND StatusTextWindow();

// Panes outside 0-9 are ignored.
void SetStatusText(int pane, const std::wstring& text);

// Shows a posted request on the status bar and frees its copy. A null status bar only
// frees the copy.
void ApplyStatusText(HWND statusBar, WPARAM wParam, LPARAM lParam);
