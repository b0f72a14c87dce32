#include "DialogBar.h"

namespace fw {

DialogBar::DialogBar(UINT templateId, HINSTANCE module) noexcept : Dialog(templateId, module) {}

bool DialogBar::Create(FrameWindow& frame, BarSide side)
{
    frame_ = &frame;
    if (!Dialog::Create(frame.Handle())) return false;
    RECT rect = GetWindowRect();
    frame.AddBar(Handle(), side, rect.bottom - rect.top);
    Show(SW_SHOWNOACTIVATE);
    return true;
}

bool DialogBar::SendCommandToFrame(UINT id) const { return frame_ && frame_->RouteCommand(id); }

bool DialogBar::OnCommand(UINT id, UINT code)
{
    if (code == BN_CLICKED && SendCommandToFrame(id)) return true;
    return Dialog::OnCommand(id, code);
}

} // namespace fw
