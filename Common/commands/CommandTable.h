#pragma once
// The commands of both programs' views. Each view keeps one table of its commands, each
// with its identifier, the rule that enables it, its handler and its place in the context
// menus; the update handlers read the rules from it, and through them the menus, the
// toolbar and the context menus, so that no item offers what another refuses.
#include <windows.h>

#include <span>
#include <vector>

#include "framework/Handles.h"
#include "shell/ListCtrlEx.h"

// One of a view's lists, as the focus, the copy source or a paste's target.
enum class ListSide { None, Local, Remote };

// What the rules look at. In a context menu the list the menu opens on is the focus, and
// connected is that list's own flag.
struct CommandContext {
    ListSide focus = ListSide::None; // the list the commands act on
    bool connected = false;
    int selected = 0; // selected rows of that list
    ListSide copySource = ListSide::None;
};

using CommandRule = bool (*)(const CommandContext&);

namespace rules {

bool Always(const CommandContext& context);
bool WhenConnected(const CommandContext& context);
// A list acts on items: local ones need no connection, remote ones do.
bool ListReady(const CommandContext& context);
bool AnySelected(const CommandContext& context);
bool OneSelected(const CommandContext& context);
// Items copied in one list go into the other, so a list can't be pasted into from itself.
bool PasteFromOtherList(const CommandContext& context);
// Remote items only: permissions are the server's.
bool RemoteSelected(const CommandContext& context);
bool ListFocused(const CommandContext& context);
// A server's list: CHMOD is offered there only.
bool InRemoteList(const CommandContext& context);
// Something was copied, and in the other list.
bool CopiedFromOtherList(const CommandContext& context);

} // namespace rules

// The context menus' groups. The items stand in their table's order, and a separator
// parts one group from the next; the View group's items go into one "View" pop-up.
enum MenuGroup { NOT_IN_MENU, CLIPBOARD_GROUP, TRANSFER_GROUP, FILE_GROUP, ITEM_GROUP, VIEW_GROUP };

// Where a command shows in a view's context menus.
struct MenuPlace {
    MenuGroup group = NOT_IN_MENU;
    UINT text = 0; // its string in the program's string table
    CommandRule present = rules::Always;
    // Beside the update handlers' answer: the item is greyed unless this holds too.
    CommandRule enabled = rules::Always;
};

template <class Target> struct CommandEntry {
    UINT id;
    CommandRule enabled;
    void (Target::*run)();
    MenuPlace menu = {};
};

// The entry of the command, or null when the table has none.
template <class Target>
const CommandEntry<Target>* FindCommandEntry(std::span<const CommandEntry<Target>> table, UINT id)
{
    for (const CommandEntry<Target>& entry : table)
        if (entry.id == id) return &entry;
    return nullptr;
}

// A command's place in a context menu.
struct MenuCommand {
    UINT id;
    MenuPlace place;
};

// The list's context menu from the places of a view's commands, in the table's order;
// viewTitle is the View pop-up's string, and the View command of the list's style is marked.
fw::MenuHandle BuildContextMenu(std::span<const MenuCommand> commands, const CListCtrlEx& list, ListSide copySource,
                                const ViewCommands& views, UINT viewTitle);

template <class Target>
fw::MenuHandle BuildContextMenu(std::span<const CommandEntry<Target>> table, const CListCtrlEx& list,
                                ListSide copySource, const ViewCommands& views, UINT viewTitle)
{
    std::vector<MenuCommand> commands;
    for (const CommandEntry<Target>& entry : table)
        commands.push_back({entry.id, entry.menu});
    return BuildContextMenu(commands, list, copySource, views, viewTitle);
}
