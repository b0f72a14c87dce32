#pragma once
// The site list's registry side: HKEY_CURRENT_USER\Software\FTPClient\Sites, one scrambled
// REG_BINARY value per record, named after the record's label. Every operation opens the
// key with full access, creating it when missing; a key that cannot be opened makes
// loading yield an empty list and saving or deleting do nothing, without a message.
// The key path is a parameter so that tests can work under a key of their own.
//
// With "Protect saved passwords" on (sites/ProtectedPasswords.h) a saved site's passwords
// go into a protected value beside the record instead. In memory a loaded record holds its
// passwords in clear either way, and its protected-password flag is set only when the
// protected value could not be read here: its passwords are then blank and unknown.
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <string_view>

#include "sites/SiteRecord.h"

inline constexpr const wchar_t* SITES_KEY = L"Software\\FTPClient\\Sites";

// Empties the list, then appends every value of the key in enumeration order. A value
// longer than a record, or one that cannot be read, is skipped; a shorter one keeps the
// defaults in its missing tail; the value type is not looked at. A record flagged as
// protected gets its passwords from its protected value; a password an older copy typed
// into such a record since wins over the protected value.
void LoadSites(SiteList& list, const std::wstring& keyPath = SITES_KEY);

// Writes the record that FindSite finds for the label under the value named after the
// label (as a record holds it). Nothing happens when no record has that label. The
// passwords follow the setting; when they cannot be protected, the record keeps them and
// the error box says so, owned by owner. A record whose protected value could not be read
// is written as it is, its protected value left in place.
void SaveSite(const SiteList& list, std::wstring_view label, const std::wstring& keyPath = SITES_KEY,
              HWND owner = nullptr);

// Refuses a label already in the list (without regard to case) with the error box "A site
// with this label already exists." owned by owner, and returns -1. Otherwise appends and
// saves the record and returns its position.
int AddSite(SiteList& list, const SiteRecord& record, HWND owner = nullptr, const std::wstring& keyPath = SITES_KEY);

// With alsoFromList, removes the first record with the label from the list, keeping the
// order of the others; in every case deletes the value named after the label and its
// protected value.
void RemoveSite(SiteList& list, std::wstring_view label, bool alsoFromList, const std::wstring& keyPath = SITES_KEY);

// An edit is done in place in the list (the record now has newLabel), then stored here in
// place of the value named oldLabel, the protected value moving with it, even one that
// cannot be read here. Under a new label the new value is written before the old goes.
void ReplaceSite(SiteList& list, std::wstring_view oldLabel, std::wstring_view newLabel, HWND owner = nullptr,
                 const std::wstring& keyPath = SITES_KEY);

#endif
