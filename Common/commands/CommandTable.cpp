#include "commands/CommandTable.h"

namespace rules {

bool Always(const CommandContext&) { return true; }

bool WhenConnected(const CommandContext& context) { return context.connected; }

bool WhenDisconnected(const CommandContext& context) { return !context.connected; }

bool ListReady(const CommandContext& context)
{
    return context.focus == ListSide::Local || (context.focus == ListSide::Remote && context.connected);
}

bool AnySelected(const CommandContext& context) { return ListReady(context) && context.selected > 0; }

bool OneSelected(const CommandContext& context) { return ListReady(context) && context.selected == 1; }

bool PasteFromOtherList(const CommandContext& context)
{
    return context.focus != ListSide::None && context.connected && context.copySource != context.focus;
}

bool RemoteSelected(const CommandContext& context)
{
    return context.focus == ListSide::Remote && context.connected && context.selected > 0;
}

bool ListFocused(const CommandContext& context) { return context.focus != ListSide::None; }

} // namespace rules
