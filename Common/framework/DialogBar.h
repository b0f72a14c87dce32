#pragma once
// A bar made from a dialog template (WS_CHILD): its height is the template's. Button
// clicks inside it are routed as commands through the frame's chain.
#include "Dialog.h"
#include "FrameWindow.h"

namespace fw {

class DialogBar : public Dialog {
public:
    explicit DialogBar(UINT templateId, HINSTANCE module = nullptr) noexcept;

    // Creates the bar and adds it to the frame on the given side.
    bool Create(FrameWindow& frame, BarSide side);
    FrameWindow* GetFrame() const noexcept { return frame_; }
    // Routes a command through the frame's chain as if a button with that id was clicked.
    bool SendCommandToFrame(UINT id) const;

protected:
    // Button clicks go to the frame; override for other notifications and fall back.
    bool OnCommand(UINT id, UINT code) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    FrameWindow* frame_ = nullptr;
};

} // namespace fw
