#pragma once
// The single document: its title names the frame's caption.
#include "Command.h"

#include <string>

namespace fw {

class FrameWindow;

class Document : public CommandTarget {
public:
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() override = default;

    const std::wstring& GetTitle() const noexcept { return title_; }
    // Also sets the frame's caption to "<title> - <application name>".
    void SetTitle(const std::wstring& title);

    // Resets the document to empty: DeleteContents, then true. The app calls it once
    // when it creates the document.
    virtual bool OnNewDocument();
    // Frees what the document holds; called on every reset.
    virtual void DeleteContents() {}

    FrameWindow* GetFrame() const noexcept { return frame_; }
    void SetFrame(FrameWindow* frame) noexcept { frame_ = frame; }

private:
    std::wstring title_;
    FrameWindow* frame_ = nullptr;
};

} // namespace fw
