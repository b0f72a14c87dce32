#include "OrletDoc.h"

#include "OrletView.h"
#include "Platform.h"
#include "framework/FrameWindow.h"
#include "sitedialogs/SiteManager.h"

const wchar_t* const DISCONNECTED_TITLE = L"Disconnected";

COrletDoc::~COrletDoc() { session.LogOff(); }

void COrletDoc::DeleteContents()
{
    SetTitle(DISCONNECTED_TITLE);
    if (session.IsConnected()) session.LogOff();
}

void COrletDoc::Connect()
{
    if (session.IsConnected()) {
        session.LogOff();
        if (COrletView* view = View()) view->ClearRemote();
    }
    CSiteManager manager(session);
    manager.SetConnectionRequest(
        [] { RequestInternetConnection(MakeInternetConnectionInfo(), CONNECTION_REQUEST_TIMEOUT_MS); });
    HWND owner = GetFrame() != nullptr ? GetFrame()->Handle() : nullptr;
    if (manager.DoModal(owner) == IDOK) OnSiteConnected(manager.TitleText());
}

void COrletDoc::OnSiteConnected(const std::wstring& title)
{
    SetTitle(title);
    if (COrletView* view = View()) {
        view->RefreshRemote();
    } else {
        session.RefreshRemote();
    }
}

void COrletDoc::Disconnect()
{
    if (!session.IsConnected()) return;
    if (COrletView* view = View()) view->ClearRemote();
    session.LogOff();
    DeleteContents();
}

COrletView* COrletDoc::View() const
{
    if (GetFrame() == nullptr) return nullptr;
    return dynamic_cast<COrletView*>(GetFrame()->GetView());
}
