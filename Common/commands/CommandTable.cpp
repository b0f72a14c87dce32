#include "commands/CommandTable.h"

#include <string>
#include <utility>

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

bool InRemoteList(const CommandContext& context) { return context.focus == ListSide::Remote; }

bool CopiedFromOtherList(const CommandContext& context)
{
    return context.copySource != ListSide::None && context.copySource != context.focus;
}

} // namespace rules

namespace {

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

} // namespace

fw::MenuHandle BuildContextMenu(std::span<const MenuCommand> commands, const CListCtrlEx& list, ListSide copySource,
                                const ViewCommands& views)
{
    fw::MenuHandle menu(CreatePopupMenu());
    if (!menu) return menu;
    const CommandContext context = {.focus = list.IsRemote() ? ListSide::Remote : ListSide::Local,
                                    .connected = list.IsConnected(),
                                    .selected = list.GetSelectedCount(),
                                    .copySource = copySource};
    MenuGroup group = NOT_IN_MENU; // the last item's
    bool viewPopupAdded = false;
    for (const auto& [id, place] : commands) {
        if (place.group == NOT_IN_MENU || !place.present(context)) continue;
        const bool inViewPopup = place.text == VIEW_POPUP;
        if (inViewPopup && std::exchange(viewPopupAdded, true)) continue; // one pop-up holds them all
        if (group != NOT_IN_MENU && group != place.group) AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
        group = place.group;
        const bool greyed = !place.enabled(context);
        if (inViewPopup) {
            list.AppendViewMenu(menu.Get(), views, greyed);
        } else {
            list.AppendCommand(menu.Get(), id, LoadText(place.text).c_str(), greyed);
        }
    }
    return menu;
}
