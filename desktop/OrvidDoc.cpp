#include "OrvidDoc.h"

#include "OrvidView.h"
#include "framework/FrameWindow.h"
#include "resource.h"
#include "shell/StatusText.h"
#include "sitedialogs/SiteManager.h"

const wchar_t* const DISCONNECTED_TITLE = L"Disconnected";

namespace {

void ClearCountPanes()
{
    SetStatusText(STATUS_PANE_DIRECTORIES, {});
    SetStatusText(STATUS_PANE_FILES, {});
    SetStatusText(STATUS_PANE_BYTES, {});
}

} // namespace

COrvidDoc::~COrvidDoc()
{
    if (!session.IsConnected()) return;
    session.LogOff();
    ClearCountPanes();
}

void COrvidDoc::DeleteContents()
{
    SetTitle(DISCONNECTED_TITLE);
    if (!session.IsConnected()) return;
    session.LogOff();
    ClearCountPanes();
}

bool COrvidDoc::OnCommand(UINT id)
{
    switch (id) {
    case ID_FILE_CONNECT:
        if (WindowMayUseEngine(session)) Connect();
        return true;
    case ID_FILE_DISCONNECT:
        if (WindowMayUseEngine(session)) Disconnect();
        return true;
    default: return false;
    }
}

bool COrvidDoc::OnUpdateCommand(fw::CommandState& state)
{
    switch (state.Id()) {
    case ID_FILE_CONNECT: state.Enable(!session.IsConnected()); return true;
    case ID_FILE_DISCONNECT: state.Enable(session.IsConnected()); return true;
    default: return false;
    }
}

void COrvidDoc::PrepareConnect()
{
    session.LogOff();
    ClearCountPanes();
}

void COrvidDoc::Connect()
{
    PrepareConnect();
    CSiteManager manager(session);
    HWND owner = GetFrame() != nullptr ? GetFrame()->Handle() : nullptr;
    if (manager.DoModal(owner) == IDOK) OnSiteConnected(manager.TitleText());
}

void COrvidDoc::OnSiteConnected(const std::wstring& title)
{
    SetTitle(title);
    COrvidView* view = View();
    if (view == nullptr) {
        session.RefreshRemote();
        return;
    }
    view->Refresh();
    view->SetConnected(true);
    // The list's keys (Enter, Backspace, the function keys) work from the start.
    view->List().SetFocus();
}

void COrvidDoc::Disconnect()
{
    if (!session.IsConnected()) return;
    if (COrvidView* view = View()) view->ClearPane();
    session.LogOff();
    ClearCountPanes();
    DeleteContents();
    if (COrvidView* view = View()) view->SetConnected(false);
}

COrvidView* COrvidDoc::View() const
{
    if (GetFrame() == nullptr) return nullptr;
    return dynamic_cast<COrvidView*>(GetFrame()->GetView());
}
