#include "shell/Format.h"

#include <cstdio>
#include <ctime>

#include "engine/FTPDataTypes.h"

namespace {

constexpr std::uint64_t KILOBYTE = 1024;
constexpr std::uint64_t MEGABYTE = 1024 * 1024;
constexpr int CALENDAR_BASE_YEAR = 1900;
constexpr std::size_t TIME_TEXT_CAPACITY = 128;
constexpr std::size_t SIZE_TEXT_CAPACITY = 64;

std::wstring FormatFraction(double value, const wchar_t* unit)
{
    wchar_t text[SIZE_TEXT_CAPACITY] = {};
    std::swprintf(text, SIZE_TEXT_CAPACITY, L"%.2f %ls", value, unit);
    return text;
}

bool EndsWithSeparator(const std::wstring& directory)
{
    return !directory.empty() && (directory.back() == L'/' || directory.back() == L'\\');
}

std::wstring Join(const std::wstring& directory, const std::wstring& name, wchar_t separator)
{
    if (EndsWithSeparator(directory)) return directory + name;
    return directory + separator + name;
}

} // namespace

std::wstring FormatSize(std::uint64_t size)
{
    if (size == 0 || size == nsFTP::SIZE_UNKNOWN) return {};
    if (size < KILOBYTE) return std::to_wstring(size) + L" B";
    if (size < MEGABYTE) return FormatFraction(static_cast<double>(size) / KILOBYTE, L"Kb");
    return FormatFraction(static_cast<double>(size) / KILOBYTE / KILOBYTE, L"Mb");
}

std::wstring FormatFileTime(const FILETIME& time)
{
    FILETIME local = {};
    SYSTEMTIME broken = {};
    if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &broken)) return {};

    std::tm calendar = {};
    calendar.tm_year = broken.wYear - CALENDAR_BASE_YEAR;
    calendar.tm_mon = broken.wMonth - 1;
    calendar.tm_mday = broken.wDay;
    calendar.tm_hour = broken.wHour;
    calendar.tm_min = broken.wMinute;
    calendar.tm_sec = broken.wSecond;
    calendar.tm_isdst = -1;
    std::time_t value = broken.wYear < CALENDAR_BASE_YEAR ? 0 : std::mktime(&calendar);
    if (value == static_cast<std::time_t>(-1)) return {};

    const std::tm* again = std::localtime(&value);
    if (again == nullptr) return {};
    wchar_t text[TIME_TEXT_CAPACITY] = {};
    if (std::wcsftime(text, TIME_TEXT_CAPACITY, L"%x %X", again) == 0) return {};
    return text;
}

std::wstring JoinRemotePath(const std::wstring& directory, const std::wstring& name)
{
    return Join(directory, name, L'/');
}

std::wstring JoinLocalPath(const std::wstring& directory, const std::wstring& name)
{
    return Join(directory, name, L'\\');
}

bool IsUsableLocalName(std::wstring_view name)
{
    if (name.find_first_of(L"\\/:") != std::wstring_view::npos) return false;
    const std::size_t kept = name.find_last_not_of(L". ");
    if (kept == std::wstring_view::npos) return false; // empty, or only dots and blanks
    // The device is named by the part before the first dot, trailing blanks dropped.
    std::wstring_view base = name.substr(0, name.find(L'.'));
    base = base.substr(0, base.find_last_not_of(L' ') + 1);
    std::wstring upper(base);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (upper == device) return false;
    const bool numbered = upper.size() == 4 && upper[3] >= L'1' && upper[3] <= L'9';
    return !(numbered && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0));
}
