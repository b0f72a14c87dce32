#include "sites/ProtectedPasswords.h"

#ifdef _WIN32

#include <wincrypt.h>

#include <algorithm>
#include <string_view>

#include "framework/Handles.h"
#include "sites/SiteStoreDetail.h"

namespace {

// Ties the values to this program: another program of the same user that calls
// CryptUnprotectData on them without it gets nothing.
constexpr char PROTECTION_ENTROPY[] = "FTPClient site passwords";

DATA_BLOB EntropyBlob()
{
    DATA_BLOB entropy = {};
    entropy.cbData = sizeof PROTECTION_ENTROPY - 1;
    entropy.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(PROTECTION_ENTROPY));
    return entropy;
}

// The clear form inside the protection: the password's UTF-16 units, a zero unit, then
// the firewall password's units. Neither text can hold a zero (SetText stops there).
std::vector<wchar_t> ClearForm(const SiteRecord& site)
{
    std::vector<wchar_t> units;
    units.reserve(2 * SITE_TEXT_UNITS);
    for (const SiteText* field : {&site.password, &site.firewallPassword}) {
        for (std::size_t index = 0; index < SITE_TEXT_MAX_UNITS && (*field)[index] != u'\0'; ++index)
            units.push_back(static_cast<wchar_t>((*field)[index]));
        units.push_back(L'\0');
    }
    units.pop_back();
    return units;
}

void Wipe(std::vector<wchar_t>& units)
{
    SecureZeroMemory(units.data(), units.size() * sizeof(wchar_t));
    units.clear();
}

// Frees what CryptProtectData and CryptUnprotectData hand back, wiping it first.
class LocalBlob {
public:
    DATA_BLOB blob = {};
    LocalBlob() = default;
    LocalBlob(const LocalBlob&) = delete;
    LocalBlob& operator=(const LocalBlob&) = delete;
    ~LocalBlob()
    {
        if (blob.pbData == nullptr) return;
        SecureZeroMemory(blob.pbData, blob.cbData);
        ::LocalFree(blob.pbData);
    }
};

fw::RegistryKey OpenSettingsKey(const std::wstring& sitesKeyPath)
{
    return fw::RegistryKey::Create(HKEY_CURRENT_USER, SiteStoreSiblingKey(sitesKeyPath, STORE_SETTINGS_KEY_NAME));
}

// The values of the protected-passwords key that no record needs any more: what a switch
// stopped halfway, or an older copy's delete, left behind.
void RemoveOrphanedValues(const std::vector<std::wstring>& kept, const std::wstring& sitesKeyPath)
{
    fw::RegistryKey key = sitesdetail::OpenProtectedKey(sitesKeyPath);
    if (!key.IsOpen()) return;
    std::vector<std::wstring> orphans;
    std::wstring name;
    for (DWORD index = 0; key.EnumValue(index, name); ++index) {
        if (!std::any_of(kept.begin(), kept.end(), [&](const std::wstring& label) { return LabelsEqual(label, name); }))
            orphans.push_back(name);
    }
    for (const std::wstring& orphan : orphans)
        key.DeleteValue(orphan);
}

} // namespace

std::wstring SiteStoreSiblingKey(const std::wstring& sitesKeyPath, const wchar_t* name)
{
    const std::size_t separator = sitesKeyPath.rfind(L'\\');
    if (separator == std::wstring::npos) return name;
    return sitesKeyPath.substr(0, separator + 1) + name;
}

bool PasswordsProtected(const std::wstring& sitesKeyPath)
{
    fw::RegistryKey key =
        fw::RegistryKey::Open(HKEY_CURRENT_USER, SiteStoreSiblingKey(sitesKeyPath, STORE_SETTINGS_KEY_NAME));
    DWORD value = 0;
    return key.IsOpen() && key.ReadDword(PROTECT_PASSWORDS_VALUE, value) && value != 0;
}

std::vector<std::wstring> SetPasswordsProtected(bool on, const std::wstring& sitesKeyPath)
{
    // The setting first: should the moves stop halfway, the sites saved from then on
    // already follow it.
    fw::RegistryKey settings = OpenSettingsKey(sitesKeyPath);
    settings.WriteDword(PROTECT_PASSWORDS_VALUE, on ? 1 : 0);

    SiteList list;
    LoadSites(list, sitesKeyPath);
    std::vector<std::wstring> unmoved;
    std::vector<std::wstring> kept;
    for (const SiteRecord& site : list) {
        if (IsGroup(site)) continue;
        const std::wstring label = GetText(site.label);
        switch (sitesdetail::StoreSiteRecord(site, label, on, sitesKeyPath)) {
        case sitesdetail::StoreOutcome::InRecord: break;
        case sitesdetail::StoreOutcome::Protected: kept.push_back(label); break;
        case sitesdetail::StoreOutcome::NotProtected: unmoved.push_back(label); break;
        case sitesdetail::StoreOutcome::KeptUnreadable:
            // Already where turning on puts it; turning off cannot bring it back.
            kept.push_back(label);
            if (!on) unmoved.push_back(label);
            break;
        }
    }
    RemoveOrphanedValues(kept, sitesKeyPath);
    return unmoved;
}

bool PasswordsUnreadable(const SiteRecord& site)
{
    return HasProtectedPassword(site) && site.password[0] == u'\0' && site.firewallPassword[0] == u'\0';
}

std::optional<std::vector<BYTE>> ProtectSitePasswords(const SiteRecord& site)
{
    std::vector<wchar_t> units = ClearForm(site);
    DATA_BLOB clear = {};
    clear.cbData = static_cast<DWORD>(units.size() * sizeof(wchar_t));
    clear.pbData = reinterpret_cast<BYTE*>(units.data());
    DATA_BLOB entropy = EntropyBlob();
    LocalBlob output;
    const BOOL done =
        ::CryptProtectData(&clear, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output.blob);
    Wipe(units);
    if (!done || output.blob.pbData == nullptr) return std::nullopt;
    return std::vector<BYTE>(output.blob.pbData, output.blob.pbData + output.blob.cbData);
}

bool UnprotectSitePasswords(const std::vector<BYTE>& value, SiteRecord& site)
{
    DATA_BLOB input = {};
    input.cbData = static_cast<DWORD>(value.size());
    input.pbData = const_cast<BYTE*>(value.data());
    DATA_BLOB entropy = EntropyBlob();
    LocalBlob output;
    if (!::CryptUnprotectData(&input, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output.blob))
        return false;
    if (output.blob.pbData == nullptr || output.blob.cbData % sizeof(wchar_t) != 0) return false;
    std::vector<wchar_t> units(output.blob.cbData / sizeof(wchar_t));
    std::copy_n(output.blob.pbData, output.blob.cbData, reinterpret_cast<BYTE*>(units.data()));
    const std::wstring_view all(units.data(), units.size());
    const std::size_t separator = all.find(L'\0');
    const bool ours = separator != std::wstring_view::npos && separator <= SITE_TEXT_MAX_UNITS &&
                      all.size() - separator - 1 <= SITE_TEXT_MAX_UNITS &&
                      all.find(L'\0', separator + 1) == std::wstring_view::npos;
    if (ours) {
        SetText(site.password, all.substr(0, separator));
        SetText(site.firewallPassword, all.substr(separator + 1));
    }
    Wipe(units);
    return ours;
}

#endif
