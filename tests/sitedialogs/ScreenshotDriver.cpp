// Opens one site dialog filled with sample sites, so that a screenshot shows what a user
// sees. Not part of the program.
//   sitedialogs_screenshot_driver manager|properties|properties-connected|proxy
// properties-connected shows the line a live connection to the site adds, with a sample
// TLS version and cipher.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "SharedResource.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "sitedialogs/ProxyDlg.h"
#include "sitedialogs/SampleSites.h"
#include "sitedialogs/SiteManager.h"
#include "sitedialogs/SiteProp.h"
#include "sites/SiteStore.h"

namespace {

const std::wstring SAMPLE_KEY = L"Software\\FTPClient\\SiteDialogSamples";
const std::wstring SAMPLE_CONNECTION = L"TLS 1.2, TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384";
constexpr UINT ARRANGE_DELAY_MS = 200;

// Expands every group and selects the first site of the first group once the Site Manager
// is on screen.
void CALLBACK ArrangeTree(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND manager = FindWindowW(nullptr, L"Site Manager");
    if (!manager) return;
    KillTimer(nullptr, timer);
    ArrangeSampleTree(manager);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::wstring which = commandLine ? commandLine : L"";
    ConnectionSession session;
    StoreSampleSites(session.siteList, SAMPLE_KEY);

    if (which == L"properties" || which == L"properties-connected") {
        CSiteProp properties(session.siteList);
        properties.LoadFrom(*session.siteList.FindSite(L"Build server"));
        if (which == L"properties-connected") properties.connectionText = SAMPLE_CONNECTION;
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
