#include "sites/SiteStore.h"

#ifdef _WIN32

#include <span>
#include <vector>

#include "framework/App.h"
#include "framework/Handles.h"
#include "sites/ProtectedPasswords.h"
#include "sites/SiteStoreDetail.h"

namespace {

const wchar_t* const DUPLICATE_LABEL_MESSAGE = L"A site with this label already exists.";
const wchar_t* const NOT_PROTECTED_MESSAGE =
    L"The password could not be protected for this Windows user, so it is saved scrambled in the site's record.";

fw::RegistryKey OpenSitesKey(const std::wstring& keyPath)
{
    return fw::RegistryKey::Create(HKEY_CURRENT_USER, keyPath, KEY_ALL_ACCESS);
}

void ShowStoreError(HWND owner, const wchar_t* text)
{
    fw::App* app = fw::GetApp();
    std::wstring caption = app ? app->GetAppName() : std::wstring();
    ::MessageBoxW(owner, text, caption.empty() ? nullptr : caption.c_str(), MB_ICONERROR | MB_OK);
}

bool WriteRecord(fw::RegistryKey& key, const std::wstring& name, const SiteRecord& record)
{
    SiteRecordBytes stored = EncodeSiteRecord(record);
    return key.WriteBinary(name, stored.data(), static_cast<DWORD>(stored.size()));
}

// Only opens: a store that never protected anything gets no key for it.
void DeleteProtectedValue(const std::wstring& keyPath, const std::wstring& name)
{
    fw::RegistryKey key = fw::RegistryKey::Open(
        HKEY_CURRENT_USER, SiteStoreSiblingKey(keyPath, PROTECTED_PASSWORDS_KEY_NAME), KEY_ALL_ACCESS);
    if (key.IsOpen()) key.DeleteValue(name);
}

void FillProtectedPasswords(SiteRecord& record, const std::wstring& name, const std::wstring& keyPath)
{
    if (!HasProtectedPassword(record)) return;
    const bool recordHasPassword = record.password[0] != u'\0' || record.firewallPassword[0] != u'\0';
    if (!recordHasPassword) {
        fw::RegistryKey key =
            fw::RegistryKey::Open(HKEY_CURRENT_USER, SiteStoreSiblingKey(keyPath, PROTECTED_PASSWORDS_KEY_NAME));
        std::vector<BYTE> value;
        if (!key.ReadBinary(name, value) || !UnprotectSitePasswords(value, record)) return;
    }
    SetHasProtectedPassword(record, false);
}

} // namespace

namespace sitesdetail {

fw::RegistryKey OpenProtectedKey(const std::wstring& sitesKeyPath)
{
    return fw::RegistryKey::Create(HKEY_CURRENT_USER, SiteStoreSiblingKey(sitesKeyPath, PROTECTED_PASSWORDS_KEY_NAME),
                                   KEY_ALL_ACCESS);
}

StoreOutcome StoreSiteRecord(const SiteRecord& site, const std::wstring& label, bool protect,
                             const std::wstring& sitesKeyPath)
{
    const std::wstring name = FitSiteText(label);
    fw::RegistryKey records = OpenSitesKey(sitesKeyPath);
    if (!records.IsOpen()) return StoreOutcome::InRecord;
    if (PasswordsUnreadable(site)) {
        WriteRecord(records, name, site);
        return StoreOutcome::KeptUnreadable;
    }
    SiteRecord stored = site;
    const bool hasPasswords = site.password[0] != u'\0' || site.firewallPassword[0] != u'\0';
    if (protect && hasPasswords) {
        // The protected value first: until the blank record replaces the old one, the old
        // record still holds readable passwords.
        std::optional<std::vector<BYTE>> value = ProtectSitePasswords(site);
        fw::RegistryKey protectedKey = OpenProtectedKey(sitesKeyPath);
        if (value && protectedKey.WriteBinary(name, value->data(), static_cast<DWORD>(value->size()))) {
            SetText(stored.password, L"");
            SetText(stored.firewallPassword, L"");
            SetHasProtectedPassword(stored, true);
            WriteRecord(records, name, stored);
            return StoreOutcome::Protected;
        }
    }
    // The record with its passwords first, then the protected value goes.
    if (HasProtectedPassword(stored)) SetHasProtectedPassword(stored, false);
    WriteRecord(records, name, stored);
    DeleteProtectedValue(sitesKeyPath, name);
    return protect && hasPasswords ? StoreOutcome::NotProtected : StoreOutcome::InRecord;
}

} // namespace sitesdetail

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
        if (auto record = DecodeSiteRecord(std::span(stored).first(length))) {
            FillProtectedPasswords(*record, name, keyPath);
            list.Append(*record);
        }
    }
}

void SaveSite(const SiteList& list, std::wstring_view label, const std::wstring& keyPath, HWND owner)
{
    const SiteRecord* record = list.FindSite(label);
    if (record == nullptr) return;
    if (sitesdetail::StoreSiteRecord(*record, std::wstring(label), PasswordsProtected(keyPath), keyPath) ==
        sitesdetail::StoreOutcome::NotProtected)
        ShowStoreError(owner, NOT_PROTECTED_MESSAGE);
}

int AddSite(SiteList& list, const SiteRecord& record, HWND owner, const std::wstring& keyPath)
{
    std::wstring label = GetText(record.label);
    if (list.FindSite(label) != nullptr) {
        ShowStoreError(owner, DUPLICATE_LABEL_MESSAGE);
        return -1;
    }
    std::size_t position = list.Append(record);
    SaveSite(list, label, keyPath, owner);
    return static_cast<int>(position);
}

void RemoveSite(SiteList& list, std::wstring_view label, bool alsoFromList, const std::wstring& keyPath)
{
    if (alsoFromList) list.RemoveFirst(label);
    const std::wstring name = FitSiteText(label);
    fw::RegistryKey key = OpenSitesKey(keyPath);
    if (key.IsOpen()) key.DeleteValue(name);
    DeleteProtectedValue(keyPath, name);
}

void ReplaceSite(SiteList& list, std::wstring_view oldLabel, std::wstring_view newLabel, HWND owner,
                 const std::wstring& keyPath)
{
    SiteRecord* record = list.FindSite(newLabel);
    if (record == nullptr) return;
    const std::wstring oldName = FitSiteText(oldLabel);
    const std::wstring newName = FitSiteText(newLabel);
    const bool unreadable = PasswordsUnreadable(*record);
    fw::RegistryKey records = OpenSitesKey(keyPath);
    if (LabelsEqual(oldName, newName)) {
        // The same value name: it goes first so that it takes the new label's case; the
        // protected value is found without regard to case and stays.
        if (records.IsOpen()) records.DeleteValue(oldName);
        SaveSite(list, newLabel, keyPath, owner);
    } else {
        std::vector<BYTE> moving;
        if (unreadable) {
            fw::RegistryKey protectedKey = sitesdetail::OpenProtectedKey(keyPath);
            if (protectedKey.ReadBinary(oldName, moving))
                protectedKey.WriteBinary(newName, moving.data(), static_cast<DWORD>(moving.size()));
        }
        SaveSite(list, newLabel, keyPath, owner);
        if (records.IsOpen()) records.DeleteValue(oldName);
        DeleteProtectedValue(keyPath, oldName);
    }
    // Stored from passwords it knew, the record no longer waits for an unreadable value.
    if (!unreadable && HasProtectedPassword(*record)) SetHasProtectedPassword(*record, false);
}

#endif
