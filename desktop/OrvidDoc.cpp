#include "OrvidDoc.h"

#include "OrvidView.h"
#include "shell/StatusText.h"

COrvidDoc::~COrvidDoc() { LogOffIfConnected(); }

// The count panes and the encryption clear with every log-off.
void COrvidDoc::OnLoggedOff()
{
    SetStatusText(STATUS_PANE_DIRECTORIES, {});
    SetStatusText(STATUS_PANE_FILES, {});
    SetStatusText(STATUS_PANE_BYTES, {});
    SetStatusText(STATUS_PANE_SECURITY, {});
}

bool COrvidDoc::ShowListing()
{
    COrvidView* view = FindView<COrvidView>();
    if (view == nullptr) return false;
    view->Refresh();
    view->SetConnected(true);
    // The list's keys (Enter, Backspace, the function keys) work from the start.
    view->List().SetFocus();
    return true;
}

void COrvidDoc::ClearListing()
{
    if (COrvidView* view = FindView<COrvidView>()) view->ClearPane();
}

void COrvidDoc::OnDisconnected()
{
    if (COrvidView* view = FindView<COrvidView>()) view->SetConnected(false);
}
