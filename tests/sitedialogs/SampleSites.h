#pragma once
// Sample sites for the screenshots of the site dialogs, in either program.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "framework/Handles.h"
#include "shell/DialogResources.h"
#include "sites/SiteRecord.h"
#include "sites/SiteStore.h"

inline SiteRecord SampleSite(const std::wstring& label, const std::wstring& host, std::int32_t parent)
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

// Replaces whatever the key held with two groups and their sites, and two sites of no group.
inline void StoreSampleSites(SiteList& list, const std::wstring& key)
{
    fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, key);
    SiteRecord work = DefaultSiteRecord();
    SetText(work.label, L"Work");
    work.groupId = 0;
    SiteRecord mirrors = DefaultSiteRecord();
    SetText(mirrors.label, L"Mirrors");
    mirrors.groupId = 1;
    for (const SiteRecord& record :
         {work, mirrors, SampleSite(L"Build server", L"build.example.com", 0),
          SampleSite(L"archive", L"ftp.example.org", 1), SampleSite(L"Intranet", L"10.0.0.12", 0),
          SampleSite(L"Home NAS", L"nas.local", NO_GROUP), SampleSite(L"university mirror", L"mirror.example.edu", 1),
          SampleSite(L"Camera uploads", L"192.168.1.40", NO_GROUP)}) {
        AddSite(list, record, nullptr, key);
    }
}

// Expands every group of the Site Manager's tree and selects the first site of the first.
inline void ArrangeSampleTree(HWND manager)
{
    HWND tree = GetDlgItem(manager, static_cast<int>(SharedDialogs().siteTree));
    SetFocus(tree);
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        TreeView_Expand(tree, item, TVE_EXPAND);
    if (HTREEITEM first = TreeView_GetRoot(tree)) {
        if (HTREEITEM child = TreeView_GetChild(tree, first)) TreeView_SelectItem(tree, child);
    }
}
