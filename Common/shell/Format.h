#pragma once
// Texts for sizes, times and paths that the panes and dialogs of both programs show.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// "N B" below 1024, "x.xx Kb" below 1048576, "x.xx Mb" from there on. Zero and
// nsFTP::SIZE_UNKNOWN (a listing without a usable size) show empty.
std::wstring FormatSize(std::uint64_t size);

// The locale's date and time ("%x %X") of a UTC file time; empty if it cannot be converted.
std::wstring FormatFileTime(const FILETIME& time);

// Joins with "/" (remote) or "\" (local) unless the directory already ends with either.
// The directory must not be empty.
std::wstring JoinRemotePath(const std::wstring& directory, const std::wstring& name);
std::wstring JoinLocalPath(const std::wstring& directory, const std::wstring& name);

// Whether a name a server listed can be one part of a local path and stay there, as the
// name the server gave: not empty; no separator, drive mark, wildcard or other character
// Windows refuses in a name (<>:"|?*, controls below 0x20); no trailing dot or blank, which
// Windows drops (so "a." would be "a", and ". ." or ".." would climb); no bidirectional
// control character, which would make the name read as another one (a ".exe" shown as
// ".txt"); and not a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9,
// the digit also as a superscript 1-3, in any case and with any extension), which Windows
// opens as the device whatever the directory.
bool IsUsableLocalName(std::wstring_view name);
// Whether every part of a relative name joined by "/" (a transfer item's name) passes
// IsUsableLocalName, so that the whole of it stays below the directory it is joined to.
bool IsUsableLocalRelativeName(std::wstring_view name);
// A relative name joined by "/" with "\" instead.
std::wstring WithLocalSeparators(std::wstring name);
