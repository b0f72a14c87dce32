#include "commands/CommandTable.h"

#include <string>

namespace rules {

bool Always(const CommandContext&) { return true; }

bool WhenConnected(const CommandContext& context) { return context.connected; }

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
                                const ViewCommands& views, UINT viewTitle)
{
    fw::MenuHandle menu(CreatePopupMenu());
    if (!menu) return menu;
    const CommandContext context = {.focus = list.IsRemote() ? ListSide::Remote : ListSide::Local,
                                    .connected = list.IsConnected(),
                                    .selected = list.GetSelectedCount(),
                                    .copySource = copySource};
    MenuGroup group = NOT_IN_MENU; // the last item's
    HMENU viewPopup = nullptr;
    for (const auto& [id, place] : commands) {
        if (place.group == NOT_IN_MENU || !place.present(context)) continue;
        const bool greyed = !place.enabled(context);
        if (group != NOT_IN_MENU && group != place.group) AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
        group = place.group;
        if (place.group != VIEW_GROUP) {
            list.AppendCommand(menu.Get(), id, LoadText(place.text).c_str(), greyed);
            continue;
        }
        if (viewPopup == nullptr) {
            viewPopup = CreatePopupMenu();
            if (viewPopup == nullptr) continue;
            // The pop-up belongs to the menu from here on and is destroyed with it.
            AppendMenuW(menu.Get(), MF_POPUP | (greyed ? MF_GRAYED : MF_ENABLED), reinterpret_cast<UINT_PTR>(viewPopup),
                        LoadText(viewTitle).c_str());
        }
        list.AppendCommand(viewPopup, id, LoadText(place.text).c_str(), greyed);
        const ViewCommand* view = FindViewCommand(views, id);
        if (view != nullptr && view->style == list.GetViewMode())
            CheckMenuRadioItem(viewPopup, id, id, id, MF_BYCOMMAND);
    }
    return menu;
}
