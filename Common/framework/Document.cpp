#include "Document.h"

#include "FrameWindow.h"

namespace fw {

void Document::SetTitle(const std::wstring& title)
{
    title_ = title;
    if (frame_) frame_->UpdateCaption();
}

bool Document::OnNewDocument()
{
    DeleteContents();
    return true;
}

} // namespace fw
