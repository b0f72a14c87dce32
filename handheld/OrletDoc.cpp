#include "OrletDoc.h"

#include "OrletView.h"
#include "Platform.h"
#include "sitedialogs/SiteManager.h"

void COrletDoc::PrepareConnect()
{
    if (!Session().IsConnected()) return;
    Session().LogOff();
    ClearListing();
}

void COrletDoc::PrepareSiteManager(CSiteManager& manager)
{
    manager.SetConnectionRequest(
        [] { RequestInternetConnection(MakeInternetConnectionInfo(), CONNECTION_REQUEST_TIMEOUT_MS); });
}

bool COrletDoc::ShowListing()
{
    COrletView* view = FindView<COrletView>();
    if (view != nullptr) view->RefreshRemote();
    return view != nullptr;
}

void COrletDoc::ClearListing()
{
    if (COrletView* view = FindView<COrletView>()) view->ClearRemote();
}
