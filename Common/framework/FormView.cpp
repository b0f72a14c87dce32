#include "FormView.h"

#include "FrameWindow.h"

namespace fw {

FormView::FormView(UINT templateId, HINSTANCE module) noexcept : Dialog(templateId, module) {}

bool FormView::Create(FrameWindow& frame)
{
    frame_ = &frame;
    if (!Dialog::Create(frame.Handle())) return false;
    frame.SetView(this);
    Move(frame.GetViewRect());
    Show(SW_SHOWNOACTIVATE);
    return true;
}

Document* FormView::GetDocument() const { return frame_ ? frame_->GetDocument() : nullptr; }

void FormView::InitialUpdate()
{
    if (initialUpdateDone_) return;
    initialUpdateDone_ = true;
    OnInitialUpdate();
}

void FormView::OnSize(UINT type, int width, int height)
{
    (void)type;
    (void)width;
    (void)height;
}

bool FormView::OnCommand(UINT id, UINT code)
{
    if (code == BN_CLICKED && frame_ && frame_->RouteCommand(id)) return true;
    return Dialog::OnCommand(id, code);
}

bool FormView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message == WM_SIZE) {
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        result = 0;
        return true;
    }
    return Dialog::OnMessage(message, wParam, lParam, result);
}

} // namespace fw
