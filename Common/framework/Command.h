#pragma once
// Command routing. A command (menu item, accelerator, toolbar button, button of a bar
// or form) travels along a chain of targets: frame, active view, document, app. The
// first target whose OnCommand returns true has handled it.
//
// Enabling, check and radio marks come from update handlers asked along the same
// chain: the first OnUpdateCommand that returns true decides. If no update handler
// answers, the item is enabled only if some target in the chain says HandlesCommand;
// otherwise it is greyed, so a command that nobody implements cannot be chosen.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace fw {

class CommandState {
public:
    explicit CommandState(UINT id) noexcept : id_(id) {}

    UINT Id() const noexcept { return id_; }
    void Enable(bool enable) { enabled_ = enable; }
    void SetCheck(bool check) { checked_ = check; }
    // A radio mark (a dot instead of a tick) when set, no mark when cleared.
    void SetRadio(bool on) { radio_ = on; }
    void SetText(const std::wstring& text) { text_ = text; }

    // What the handlers decided; unset parts stay as they are on the item.
    const std::optional<bool>& Enabled() const noexcept { return enabled_; }
    const std::optional<bool>& Checked() const noexcept { return checked_; }
    const std::optional<bool>& Radio() const noexcept { return radio_; }
    const std::optional<std::wstring>& Text() const noexcept { return text_; }

private:
    UINT id_;
    std::optional<bool> enabled_;
    std::optional<bool> checked_;
    std::optional<bool> radio_;
    std::optional<std::wstring> text_;
};

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Runs the command; true when this target handled it.
    virtual bool OnCommand(UINT id)
    {
        (void)id;
        return false;
    }
    // Sets the state of the command's items; true when this target decided it.
    virtual bool OnUpdateCommand(CommandState& state)
    {
        (void)state;
        return false;
    }
    // True for commands this target runs but has no update handler for: they stay
    // enabled.
    virtual bool HandlesCommand(UINT id) const
    {
        (void)id;
        return false;
    }
};

// In routing order; null entries are skipped.
using CommandChain = std::vector<CommandTarget*>;

bool RouteCommand(const CommandChain& chain, UINT id);
// Fills state by the rules above; Enabled() is always set afterwards.
void RouteUpdate(const CommandChain& chain, CommandState& state);

// Applies the update states to every command item of the menu (not to sub-menus'
// items; each pop-up is updated when it opens): grey/enabled, tick, radio dot
// (MFT_RADIOCHECK) and text.
void UpdateMenuItems(HMENU menu, const CommandChain& chain);
// Applies the update states to every button of a toolbar (TB_ENABLEBUTTON,
// TB_CHECKBUTTON).
void UpdateToolBarButtons(HWND toolbar, const CommandChain& chain);
// Updates a context menu's items, shows it at a screen point and routes the chosen
// command along the chain. Returns the chosen id, 0 when dismissed.
UINT TrackContextMenu(HMENU popup, POINT screenPoint, HWND owner, const CommandChain& chain);

} // namespace fw
