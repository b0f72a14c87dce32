#pragma once
// The pane's list control: a report-style list that wants every key (so that Enter and
// Backspace reach it inside the form) and offers the file commands in a context menu.
#include <windows.h>

#include "framework/Controls.h"
#include "framework/Handles.h"

namespace fw {
class FrameWindow;
}

class CListCtrlEx : public fw::ListView {
public:
    CListCtrlEx() = default;
    CListCtrlEx(const CListCtrlEx&) = delete;
    CListCtrlEx& operator=(const CListCtrlEx&) = delete;
    ~CListCtrlEx();

    // Takes over the dialog's list control; false if there is no such control.
    bool Attach(HWND dialog, int controlId, int columnCount);
    void Detach();

    // The pane of a server: the context menu offers "CHMOD...".
    void SetRemote(bool remote) noexcept { isRemote = remote; }
    bool IsRemote() const noexcept { return isRemote; }
    // Set by Connect, cleared by Disconnect: while clear, every context-menu item is greyed.
    void SetConnected(bool connected) noexcept { isConnected = connected; }
    bool IsConnected() const noexcept { return isConnected; }
    int ColumnCount() const noexcept { return columnCount; }

    // The frame whose command chain receives the menu's choice. Its update handlers grey
    // items as well, so that the menu never offers what the menus and toolbar refuse.
    void SetCommandFrame(fw::FrameWindow* frame) noexcept { commandFrame = frame; }

    // The context menu as it would open now.
    fw::MenuHandle BuildContextMenu() const;
    // Where the menu opens for a WM_CONTEXTMENU position: the mouse point, or, from the
    // keyboard, the focused row (the list's top-left corner when no row has the focus).
    POINT ContextMenuPoint(LPARAM position) const;
    // Focuses the view and the list, tracks the menu and routes the choice; 0 when
    // dismissed.
    UINT ShowContextMenu(LPARAM position);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    bool CommandEnabled(UINT command) const;

    bool isRemote = false;
    bool isConnected = false;
    int columnCount = 0;
    fw::FrameWindow* commandFrame = nullptr;
};
