#include "sites/SiteStore.h"

#ifdef _WIN32

#include <span>

#include "framework/App.h"
#include "framework/Handles.h"

namespace {

const wchar_t* const DUPLICATE_LABEL_MESSAGE = L"A site with this label already exists.";

fw::RegistryKey OpenSitesKey(const std::wstring& keyPath)
{
    return fw::RegistryKey::Create(HKEY_CURRENT_USER, keyPath, KEY_ALL_ACCESS);
}

} // namespace

void LoadSites(SiteList& list, const std::wstring& keyPath)
{
    list.Clear();
    fw::RegistryKey key = OpenSitesKey(keyPath);
    if (!key.IsOpen()) return;
    std::wstring name;
    for (DWORD index = 0; key.EnumValue(index, name); ++index) {
        // Read by name into a buffer of exactly one record: a longer value fails the read
        // and is skipped, a shorter one reports how many bytes it gave.
        SiteRecordBytes stored{};
        DWORD length = 0;
        if (!key.ReadBinary(name, stored.data(), static_cast<DWORD>(stored.size()), &length)) continue;
        if (auto record = DecodeSiteRecord(std::span(stored).first(length))) list.Append(*record);
    }
}

void SaveSite(const SiteList& list, std::wstring_view label, const std::wstring& keyPath)
{
    const SiteRecord* record = list.FindSite(label);
    if (record == nullptr) return;
    fw::RegistryKey key = OpenSitesKey(keyPath);
    if (!key.IsOpen()) return;
    SiteRecordBytes stored = EncodeSiteRecord(*record);
    key.WriteBinary(FitSiteText(label), stored.data(), static_cast<DWORD>(stored.size()));
}

int AddSite(SiteList& list, const SiteRecord& record, HWND owner, const std::wstring& keyPath)
{
    std::wstring label = GetText(record.label);
    if (list.FindSite(label) != nullptr) {
        fw::App* app = fw::GetApp();
        std::wstring caption = app ? app->GetAppName() : std::wstring();
        ::MessageBoxW(owner, DUPLICATE_LABEL_MESSAGE, caption.empty() ? nullptr : caption.c_str(),
                      MB_ICONERROR | MB_OK);
        return -1;
    }
    std::size_t position = list.Append(record);
    SaveSite(list, label, keyPath);
    return static_cast<int>(position);
}

void RemoveSite(SiteList& list, std::wstring_view label, bool alsoFromList, const std::wstring& keyPath)
{
    if (alsoFromList) list.RemoveFirst(label);
    fw::RegistryKey key = OpenSitesKey(keyPath);
    if (key.IsOpen()) key.DeleteValue(FitSiteText(label));
}

#endif
