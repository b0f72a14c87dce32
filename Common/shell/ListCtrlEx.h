#pragma once
// The list control of both programs' panes: a list that wants every key (so that Enter and
// Backspace reach it inside a form) and opens a context menu whose contents its owner
// builds as it opens, enabled as the frame's update handlers say.
#include <windows.h>

#include <array>
#include <functional>

#include "framework/Controls.h"
#include "framework/Handles.h"

namespace fw {
class FrameWindow;
}

// A View command: it shows the list's items in one style.
struct ViewCommand {
    UINT id;
    DWORD style;
};
// A program's View commands, in the View menu's order.
using ViewCommands = std::array<ViewCommand, 3>;

constexpr ViewCommands MakeViewCommands(UINT icons, UINT list, UINT details)
{
    return {{{icons, LVS_ICON}, {list, LVS_LIST}, {details, LVS_REPORT}}};
}

// The View command of the id; null for any other command.
constexpr const ViewCommand* FindViewCommand(const ViewCommands& commands, UINT id)
{
    for (const ViewCommand& command : commands)
        if (command.id == id) return &command;
    return nullptr;
}

class CListCtrlEx : public fw::ListView {
public:
    using MenuBuilder = std::function<fw::MenuHandle(const CListCtrlEx&)>;

    CListCtrlEx() = default;
    CListCtrlEx(const CListCtrlEx&) = delete;
    CListCtrlEx& operator=(const CListCtrlEx&) = delete;
    ~CListCtrlEx();

    // Takes over the dialog's list control; false if there is no such control.
    bool Attach(HWND dialog, int controlId, int columnCount);
    void Detach();

    // A list of a server's items: its context menu offers "CHMOD...".
    void SetRemote(bool remote) noexcept { isRemote = remote; }
    bool IsRemote() const noexcept { return isRemote; }
    // Set by Connect, cleared by Disconnect.
    void SetConnected(bool connected) noexcept { isConnected = connected; }
    bool IsConnected() const noexcept { return isConnected; }
    int ColumnCount() const noexcept { return columnCount; }

    // The frame whose command chain receives the menu's choice. Its update handlers grey
    // items as well, so that the menu never offers what the menus and toolbar refuse.
    void SetCommandFrame(fw::FrameWindow* frame) noexcept { commandFrame = frame; }
    void SetMenuBuilder(MenuBuilder builder) { menuBuilder = std::move(builder); }

    // The context menu as it would open now; empty without a builder.
    fw::MenuHandle BuildContextMenu() const;
    // Whether the frame's update handlers enable the command; true without a frame.
    bool CommandEnabled(UINT command) const;
    // Appends a command item, greyed when greyed is set or the update handlers disable it.
    void AppendCommand(HMENU menu, UINT command, const wchar_t* text, bool greyed) const;
    // Where the menu opens for a WM_CONTEXTMENU position: the mouse point, or, from the
    // keyboard, the focused row (the list's top-left corner when no row has the focus).
    POINT ContextMenuPoint(LPARAM position) const;
    // Focuses the view and the list, tracks the menu and routes the choice; 0 when
    // dismissed.
    UINT ShowContextMenu(LPARAM position);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);

    bool isRemote = false;
    bool isConnected = false;
    int columnCount = 0;
    fw::FrameWindow* commandFrame = nullptr;
    MenuBuilder menuBuilder;
};
