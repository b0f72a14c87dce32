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

// Whether a name a server listed can be one part of a local path and stay there: not
// empty, no separator or drive mark, not "." or ".." once Windows has dropped trailing
// dots and blanks, and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension), which Windows opens as the device whatever the directory.
bool IsUsableLocalName(std::wstring_view name);
