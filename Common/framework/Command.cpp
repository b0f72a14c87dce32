#include "Command.h"

#include <commctrl.h>

namespace fw {

bool RouteCommand(const CommandChain& chain, UINT id)
{
    for (CommandTarget* target : chain) {
        if (target && target->OnCommand(id)) return true;
    }
    return false;
}

void RouteUpdate(const CommandChain& chain, CommandState& state)
{
    for (CommandTarget* target : chain) {
        if (target && target->OnUpdateCommand(state)) {
            if (!state.Enabled()) state.Enable(true);
            return;
        }
    }
    bool handled = false;
    for (CommandTarget* target : chain) {
        if (target && target->HandlesCommand(state.Id())) {
            handled = true;
            break;
        }
    }
    state.Enable(handled);
}

void UpdateMenuItems(HMENU menu, const CommandChain& chain)
{
    int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STATE;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        if (info.hSubMenu || (info.fType & MFT_SEPARATOR) || info.wID == 0) continue;

        CommandState state(info.wID);
        RouteUpdate(chain, state);

        MENUITEMINFOW update{};
        update.cbSize = sizeof(update);
        update.fMask = MIIM_STATE | MIIM_FTYPE;
        update.fType = info.fType;
        update.fState = info.fState & ~(MFS_GRAYED | MFS_DISABLED);
        if (!*state.Enabled()) update.fState |= MFS_GRAYED;
        if (state.Radio()) {
            update.fType |= MFT_RADIOCHECK;
            update.fState = (update.fState & ~MFS_CHECKED) | (*state.Radio() ? MFS_CHECKED : 0);
        } else if (state.Checked()) {
            update.fType &= ~MFT_RADIOCHECK;
            update.fState = (update.fState & ~MFS_CHECKED) | (*state.Checked() ? MFS_CHECKED : 0);
        }
        if (state.Text()) {
            update.fMask |= MIIM_STRING;
            update.dwTypeData = const_cast<wchar_t*>(state.Text()->c_str());
        }
        ::SetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &update);
    }
}

void UpdateToolBarButtons(HWND toolbar, const CommandChain& chain)
{
    int count = static_cast<int>(::SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        TBBUTTON button{};
        if (!::SendMessageW(toolbar, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button)) ||
            (button.fsStyle & BTNS_SEP) || button.idCommand == 0) {
            continue;
        }
        CommandState state(static_cast<UINT>(button.idCommand));
        RouteUpdate(chain, state);
        // Only real changes are sent: the toolbar repaints the button on every message.
        bool enabled = (button.fsState & TBSTATE_ENABLED) != 0;
        if (enabled != *state.Enabled()) {
            ::SendMessageW(toolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(button.idCommand),
                           MAKELPARAM(*state.Enabled() ? TRUE : FALSE, 0));
        }
        const std::optional<bool>& mark = state.Radio() ? state.Radio() : state.Checked();
        bool checked = (button.fsState & TBSTATE_CHECKED) != 0;
        if (mark && checked != *mark) {
            ::SendMessageW(toolbar, TB_CHECKBUTTON, static_cast<WPARAM>(button.idCommand),
                           MAKELPARAM(*mark ? TRUE : FALSE, 0));
        }
    }
}

UINT TrackContextMenu(HMENU popup, POINT screenPoint, HWND owner, const CommandChain& chain)
{
    UpdateMenuItems(popup, chain);
    UINT id = static_cast<UINT>(::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, screenPoint.x,
                                                 screenPoint.y, 0, owner, nullptr));
    if (id != 0) RouteCommand(chain, id);
    return id;
}

} // namespace fw
