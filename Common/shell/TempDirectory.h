#pragma once
// The one program-wide setting: the local directory that remote files are opened from.
// HKEY_CURRENT_USER\Software\FTPClient\Settings, value "Tep" (REG_BINARY, UTF-16 text).
#include <string>

extern const wchar_t* const SETTINGS_KEY;
extern const wchar_t* const TEMP_DIRECTORY_VALUE;

// The stored text as it is, or the system temporary directory (with its trailing
// backslash) when the value is missing, unreadable or empty.
std::wstring GetTempDirectory();

// Stores the characters and the first byte of a terminating zero (2 x length + 1 bytes),
// the layout other readers of this value expect. A key that cannot be created is ignored.
void SetTempDirectoryValue(const std::wstring& directory);
