#pragma once
// The view: a child modeless dialog (its template must have WS_CHILD) that fills the
// frame's view area.
#include "Command.h"
#include "Dialog.h"

namespace fw {

class Document;
class FrameWindow;

class FormView : public Dialog, public CommandTarget {
public:
    explicit FormView(UINT templateId, HINSTANCE module = nullptr) noexcept;

    // Creates the form inside the frame and makes it the frame's view.
    bool Create(FrameWindow& frame);
    FrameWindow* GetFrame() const noexcept { return frame_; }
    Document* GetDocument() const;

    // Calls OnInitialUpdate the first time only.
    void InitialUpdate();

protected:
    // Once, after the frame has laid the view out, before the frame is shown.
    virtual void OnInitialUpdate() {}
    virtual void OnSize(UINT type, int width, int height);

    // A button click inside the form travels the frame's command chain; other control
    // notifications stay with the form. Derived forms override and fall back to this.
    bool OnCommand(UINT id, UINT code) override;
    // Enter and Esc inside a child form must not end it.
    void OnOK() override {}
    void OnCancel() override {}
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    using CommandTarget::OnCommand;

private:
    FrameWindow* frame_ = nullptr;
    bool initialUpdateDone_ = false;
};

} // namespace fw
