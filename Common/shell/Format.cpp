#include "shell/Format.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "engine/FTPDataTypes.h"

namespace {

constexpr std::uint64_t KILOBYTE = 1024;
constexpr std::uint64_t MEGABYTE = 1024 * 1024;
constexpr int CALENDAR_BASE_YEAR = 1900;
constexpr std::size_t TIME_TEXT_CAPACITY = 128;
constexpr std::size_t SIZE_TEXT_CAPACITY = 64;

// Besides these, Windows refuses every character below the blank in a name.
constexpr wchar_t REFUSED_NAME_CHARACTERS[] = L"\\/:<>\"|?*";
constexpr wchar_t FIRST_NAME_CHARACTER = L' ';
// Embeddings and overrides (LRE, RLE, PDF, LRO, RLO), then isolates (LRI, RLI, FSI, PDI).
constexpr wchar_t BIDI_EMBEDDINGS_FIRST = 0x202A;
constexpr wchar_t BIDI_EMBEDDINGS_LAST = 0x202E;
constexpr wchar_t BIDI_ISOLATES_FIRST = 0x2066;
constexpr wchar_t BIDI_ISOLATES_LAST = 0x2069;
// COM and LPT followed by one digit; Windows also takes superscript one to three for it.
constexpr std::size_t PORT_NAME_CHARS = 4;
constexpr wchar_t SUPERSCRIPT_ONE = 0x00B9;
constexpr wchar_t SUPERSCRIPT_TWO = 0x00B2;
constexpr wchar_t SUPERSCRIPT_THREE = 0x00B3;

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

bool IsBidirectionalControl(wchar_t unit)
{
    return (unit >= BIDI_EMBEDDINGS_FIRST && unit <= BIDI_EMBEDDINGS_LAST) ||
           (unit >= BIDI_ISOLATES_FIRST && unit <= BIDI_ISOLATES_LAST);
}

bool IsPortDigit(wchar_t unit)
{
    return (unit >= L'0' && unit <= L'9') || unit == SUPERSCRIPT_ONE || unit == SUPERSCRIPT_TWO ||
           unit == SUPERSCRIPT_THREE;
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
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (const wchar_t unit : name) {
        if (unit < FIRST_NAME_CHARACTER || IsBidirectionalControl(unit)) return false;
    }
    if (name.find_first_of(REFUSED_NAME_CHARACTERS) != std::wstring_view::npos) return false;
    // The device is named by the part before the first dot, trailing blanks dropped.
    std::wstring_view base = name.substr(0, name.find(L'.'));
    base = base.substr(0, base.find_last_not_of(L' ') + 1);
    std::wstring upper(base);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (upper == device) return false;
    const std::wstring_view port(upper);
    const bool numbered = port.size() == PORT_NAME_CHARS && IsPortDigit(port.back());
    return !(numbered && (port.starts_with(L"COM") || port.starts_with(L"LPT")));
}

bool IsUsableLocalRelativeName(std::wstring_view name)
{
    for (;;) {
        const std::size_t slash = name.find(L'/');
        if (!IsUsableLocalName(name.substr(0, slash))) return false;
        if (slash == std::wstring_view::npos) return true;
        name.remove_prefix(slash + 1);
    }
}

std::wstring WithLocalSeparators(std::wstring name)
{
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return name;
}
