#pragma once
// The site list's registry side: HKEY_CURRENT_USER\Software\FTPClient\Sites, one scrambled
// REG_BINARY value per record, named after the record's label. Every operation opens the
// key with full access, creating it when missing; a key that cannot be opened makes
// loading yield an empty list and saving or deleting do nothing, without a message.
// The key path is a parameter so that tests can work under a key of their own.
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <string_view>

#include "sites/SiteRecord.h"

inline constexpr const wchar_t* SITES_KEY = L"Software\\FTPClient\\Sites";

// Empties the list, then appends every value of the key in enumeration order. A value
// longer than a record, or one that cannot be read, is skipped; a shorter one keeps the
// defaults in its missing tail; the value type is not looked at.
void LoadSites(SiteList& list, const std::wstring& keyPath = SITES_KEY);

// Writes the record that FindSite finds for the label under the value named after the
// label (as a record holds it). Nothing happens when no record has that label.
void SaveSite(const SiteList& list, std::wstring_view label, const std::wstring& keyPath = SITES_KEY);

// Refuses a label already in the list (without regard to case) with the error box "A site
// with this label already exists." owned by owner, and returns -1. Otherwise appends and
// saves the record and returns its position.
int AddSite(SiteList& list, const SiteRecord& record, HWND owner = nullptr, const std::wstring& keyPath = SITES_KEY);

// With alsoFromList, removes the first record with the label from the list, keeping the
// order of the others; in every case deletes the value named after the label. An edit is
// done in place in the list, then RemoveSite(old label, false) and SaveSite(new label).
void RemoveSite(SiteList& list, std::wstring_view label, bool alsoFromList, const std::wstring& keyPath = SITES_KEY);

#endif
