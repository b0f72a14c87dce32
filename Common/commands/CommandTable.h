#pragma once
// The enabling rules of both programs' commands. Each view keeps one table of its commands,
// each with its identifier, the rule that enables it and its handler; the update handlers
// read the rules from it, and through them the menus, the toolbar and the context menus,
// so that no item offers what another refuses.
#include <windows.h>

#include <cstddef>

// One of a view's lists, as the focus, the copy source or a paste's target.
enum class ListSide { None, Local, Remote };

// What the rules look at.
struct CommandContext {
    ListSide focus = ListSide::None; // the list the commands act on
    bool connected = false;
    int selected = 0; // selected rows of that list
    ListSide copySource = ListSide::None;
};

namespace rules {

bool Always(const CommandContext& context);
bool WhenConnected(const CommandContext& context);
bool WhenDisconnected(const CommandContext& context);
// A list acts on items: local ones need no connection, remote ones do.
bool ListReady(const CommandContext& context);
bool AnySelected(const CommandContext& context);
bool OneSelected(const CommandContext& context);
// Items copied in one list go into the other, so a list can't be pasted into from itself.
bool PasteFromOtherList(const CommandContext& context);
// Remote items only: permissions are the server's.
bool RemoteSelected(const CommandContext& context);
bool ListFocused(const CommandContext& context);

} // namespace rules

template <class Target> struct CommandEntry {
    UINT id;
    bool (*enabled)(const CommandContext&);
    void (Target::*run)();
};

// The entry of the command, or null when the table has none.
template <class Target, std::size_t Count>
const CommandEntry<Target>* FindCommandEntry(const CommandEntry<Target> (&table)[Count], UINT id)
{
    for (const CommandEntry<Target>& entry : table)
        if (entry.id == id) return &entry;
    return nullptr;
}
