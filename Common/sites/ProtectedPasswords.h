#pragma once
// "Protect saved passwords (for this Windows user only)": with the setting on, a site's
// password and firewall password leave its record (which is only scrambled) for a value
// protected with CryptProtectData for the current Windows user, one per site label, in the
// key ProtectedPasswords beside the sites key. The record's password fields are then blank
// and its protected-password flag set. The setting is the REG_DWORD ProtectPasswords in the
// key Settings beside the sites key (Software\FTPClient\Settings for the programs' store).
//
// Both passwords go into the one value because the firewall password is as much a secret
// as the site's: leaving it scrambled would keep a password in the record while the
// setting says none is there.
//
// Every move is done record by record, each in an order that keeps one readable copy of
// the passwords at every moment, so a switch that stops halfway loses nothing: each record's
// flag says where its passwords are, and switching again finishes the move.
#ifdef _WIN32
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "sites/SiteRecord.h"
#include "sites/SiteStore.h"

inline constexpr const wchar_t* PROTECTED_PASSWORDS_KEY_NAME = L"ProtectedPasswords";
inline constexpr const wchar_t* STORE_SETTINGS_KEY_NAME = L"Settings";
inline constexpr const wchar_t* PROTECT_PASSWORDS_VALUE = L"ProtectPasswords";

// The key named name that shares the sites key's parent.
std::wstring SiteStoreSiblingKey(const std::wstring& sitesKeyPath, const wchar_t* name);

// The setting; off when it was never stored.
bool PasswordsProtected(const std::wstring& sitesKeyPath = SITES_KEY);

// Stores the setting, then moves the password of every saved site accordingly. Returns the
// labels of the sites whose passwords stayed where they were: turning on, those that could
// not be protected (their records keep them scrambled, as before); turning off, those whose
// protected value cannot be read here (another Windows user or machine), which stay
// protected and are asked for at connect.
std::vector<std::wstring> SetPasswordsProtected(bool on, const std::wstring& sitesKeyPath = SITES_KEY);

// A loaded site whose protected value could not be read: its flag is still set and its
// password fields are blank, so Connect has to ask for them.
bool PasswordsUnreadable(const SiteRecord& site);

// The record's two passwords protected for the current user; nothing when the system
// refuses. The result never contains the passwords in clear.
std::optional<std::vector<BYTE>> ProtectSitePasswords(const SiteRecord& site);
// Fills the record's two passwords from a protected value; false (the record untouched)
// when the value cannot be unprotected by this user on this machine or is not ours.
bool UnprotectSitePasswords(const std::vector<BYTE>& value, SiteRecord& site);

#endif
