// Opens one site dialog filled with sample sites, so that a screenshot shows what a user
// sees. Not part of the program.
//   sitedialogs_screenshot_driver manager|properties|proxy
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "SharedResource.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "sites/ProxyDlg.h"
#include "sites/SiteManager.h"
#include "sites/SiteProp.h"
#include "sites/SiteStore.h"

namespace {

const std::wstring SAMPLE_KEY = L"Software\\FTPClient\\SiteDialogSamples";
constexpr UINT ARRANGE_DELAY_MS = 200;

SiteRecord Sample(const std::wstring& label, const std::wstring& host, std::int32_t parent)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, label);
    SetText(site.host, host);
    SetText(site.user, L"maria");
    SetText(site.password, L"secret");
    SetText(site.directory, L"/pub/releases");
    site.parentId = parent;
    return site;
}

void StoreSamples(SiteList& list)
{
    fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SAMPLE_KEY);
    SiteRecord work = DefaultSiteRecord();
    SetText(work.label, L"Work");
    work.groupId = 0;
    SiteRecord mirrors = DefaultSiteRecord();
    SetText(mirrors.label, L"Mirrors");
    mirrors.groupId = 1;
    for (const SiteRecord& record :
         {work, mirrors, Sample(L"Build server", L"build.example.com", 0), Sample(L"archive", L"ftp.example.org", 1),
          Sample(L"Intranet", L"10.0.0.12", 0), Sample(L"Home NAS", L"nas.local", NO_GROUP),
          Sample(L"university mirror", L"mirror.example.edu", 1),
          Sample(L"Camera uploads", L"192.168.1.40", NO_GROUP)}) {
        AddSite(list, record, nullptr, SAMPLE_KEY);
    }
}

// Expands every group and selects the first site of the first group once the Site Manager
// is on screen.
void CALLBACK ArrangeTree(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND manager = FindWindowW(nullptr, L"Site Manager");
    if (!manager) return;
    KillTimer(nullptr, timer);
    HWND tree = GetDlgItem(manager, IDC_SITE_TREE);
    SetFocus(tree);
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        TreeView_Expand(tree, item, TVE_EXPAND);
    if (HTREEITEM first = TreeView_GetRoot(tree)) {
        if (HTREEITEM child = TreeView_GetChild(tree, first)) TreeView_SelectItem(tree, child);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::wstring which = commandLine ? commandLine : L"";
    ConnectionSession session;
    StoreSamples(session.siteList);

    if (which == L"properties") {
        CSiteProp properties(session.siteList);
        properties.LoadFrom(*session.siteList.FindSite(L"Build server"));
        properties.DoModal();
    } else if (which == L"proxy") {
        CProxyDlg proxy;
        proxy.mode = 7;
        proxy.host = L"gateway.example.com";
        proxy.port = 2121;
        proxy.user = L"maria";
        proxy.password = L"firewall-secret";
        proxy.DoModal();
    } else {
        SetTimer(nullptr, 0, ARRANGE_DELAY_MS, ArrangeTree);
        CSiteManager manager(session, SAMPLE_KEY);
        manager.DoModal();
    }
    fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SAMPLE_KEY);
    return 0;
}
