#include "engine/ListingParser.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <ctime>
#include <limits>
#include <memory>

namespace nsFTP {
namespace {

constexpr std::size_t MIN_LINE_LENGTH = 2;
constexpr std::size_t MONTH_NAME_LENGTH = 3;
constexpr int MONTHS_PER_YEAR = 12;
constexpr int TM_BASE_YEAR = 1900;
constexpr int MAX_DAY = 31;
constexpr int MAX_HOUR = 23;
constexpr int MAX_MINUTE = 59;
constexpr int MAX_SECOND = 59;
constexpr int HOURS_PER_HALF_DAY = 12;
constexpr std::int64_t SECONDS_PER_DAY = 86400;
constexpr std::int64_t SECONDS_PER_HOUR = 3600;
constexpr std::int64_t SECONDS_PER_MINUTE = 60;
constexpr int NOT_A_NUMBER = -1;
constexpr int NO_WEEKDAY = -1;
constexpr std::uint64_t DECIMAL_BASE = 10;

// DOS listings give two-digit years, or years since 1900 from servers that print tm_year.
constexpr int DOS_CENTURY_PIVOT = 50;
constexpr int DOS_PIVOT_CENTURY = 2000;
constexpr int DOS_FULL_YEAR_MIN = 1000;

// Unix time columns: "H:MM" or "HH:MM".
constexpr std::size_t SHORT_TIME_LENGTH = 4;
constexpr std::size_t SHORT_TIME_COLON = 1;
constexpr std::size_t LONG_TIME_LENGTH = 5;
constexpr std::size_t LONG_TIME_COLON = 2;
constexpr std::size_t MIN_YEAR_LENGTH = 4;

// A link-count column of this length starting with 'f' is the word "folder" of servers that
// list folders without an owner column.
constexpr std::size_t FOLDER_WORD_LENGTH = 6;

// Listings whose second character is ' ' or '[' (permissions in brackets) put three extra
// spaces before every name.
constexpr std::size_t PADDED_NAME_INDENT = 3;
constexpr std::size_t PADDED_NAME_MIN_LENGTH = 4;

constexpr std::wstring_view DIRECTORY_SUFFIX = L".DIR";

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The index of the first c at or after from; the line's length when there is none.
// Fields are a few characters long, so a plain loop beats a library search call.
inline std::size_t FindChar(std::wstring_view line, std::size_t from, wchar_t c)
{
    const std::size_t size = line.size();
    while (from < size && line[from] != c)
        ++from;
    return std::min(from, size);
}

// The index of the first character at or after from that is not c.
inline std::size_t SkipChar(std::wstring_view line, std::size_t from, wchar_t c)
{
    while (from < line.size() && line[from] == c)
        ++from;
    return from;
}

DecimalValue ReadDecimal(std::wstring_view text)
{
    constexpr std::uint64_t maxValue = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (!IsDigit(c)) return DecimalValue{value, false};
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (maxValue - digit) / DECIMAL_BASE) return DecimalValue{0, false};
        value = value * DECIMAL_BASE + digit;
    }
    return DecimalValue{value, !text.empty()};
}

// A date or time component; NOT_A_NUMBER unless the text is a decimal that fits an int.
int DateNumber(std::wstring_view text)
{
    const DecimalValue decimal = ReadDecimal(text);
    if (!decimal.complete || decimal.value > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return NOT_A_NUMBER;
    return static_cast<int>(decimal.value);
}

// Days from 1970-01-01 to a proleptic Gregorian date; a day past the month's end counts on
// into the next month, as mktime does.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    constexpr std::int64_t daysPerEra = 146097; // 400 years
    constexpr std::int64_t yearsPerEra = 400;
    constexpr std::int64_t daysBefore1970 = 719468; // from 0000-03-01
    constexpr int marchBasedShift = 9;              // months counted from March
    if (month <= 2) --year;
    const std::int64_t era = (year >= 0 ? year : year - (yearsPerEra - 1)) / yearsPerEra;
    const std::int64_t yearOfEra = year - era * yearsPerEra;
    // (153 * m + 2) / 5 is the number of days before month m of a year that starts in March.
    const std::int64_t dayOfYear = (153 * ((month + marchBasedShift) % MONTHS_PER_YEAR) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * daysPerEra + dayOfEra - daysBefore1970;
}

std::optional<std::int64_t> CallMakeTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - TM_BASE_YEAR;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    fields.tm_wday = NO_WEEKDAY;
#ifdef _WIN32
    // The 64-bit call whatever time_t is; it fails (-1) for anything before 1970.
    const __time64_t result = _mktime64(&fields);
    if (result < 0) return std::nullopt;
#else
    // -1 is also one second before 1970; only a weekday left unset tells failure apart.
    const std::time_t result = std::mktime(&fields);
    if (result == static_cast<std::time_t>(-1) && fields.tm_wday == NO_WEEKDAY) return std::nullopt;
#endif
    return static_cast<std::int64_t>(result);
}

// The UTC offset (local wall clock minus UTC) in force at an instant. Unlike mktime, which
// looks the zone up again on every call (glibc stats the zone file each time when TZ is
// unset), localtime uses the zone loaded by the last tzset.
std::optional<std::int64_t> UtcOffsetAt(std::int64_t instant)
{
    std::tm fields{};
#ifdef _WIN32
    const __time64_t time = instant;
    if (_localtime64_s(&fields, &time) != 0) return std::nullopt;
#else
    const std::time_t time = static_cast<std::time_t>(instant);
    if (localtime_r(&time, &fields) == nullptr) return std::nullopt;
#endif
    const std::int64_t local =
        DaysFromCivil(fields.tm_year + TM_BASE_YEAR, fields.tm_mon + 1, fields.tm_mday) * SECONDS_PER_DAY +
        fields.tm_hour * SECONDS_PER_HOUR + fields.tm_min * SECONDS_PER_MINUTE + fields.tm_sec;
    return local - instant;
}

// The offset of a whole local day that starts at dayStart (local seconds), when its first
// and last second share it; nothing on a day when the clocks change.
std::optional<std::int64_t> SteadyOffsetOfDay(std::int64_t dayStart)
{
    const auto guess = UtcOffsetAt(dayStart);
    if (!guess) return std::nullopt;
    const auto atFirst = UtcOffsetAt(dayStart - *guess);
    const auto atLast = UtcOffsetAt(dayStart + SECONDS_PER_DAY - 1 - *guess);
    if (!atFirst || !atLast || *atFirst != *guess || *atLast != *guess) return std::nullopt;
    return *guess;
}

// Listings repeat days, and on a day whose first and last second share one UTC offset every
// time of it has that offset, so offsets are kept per day; other days go to mktime every
// time. Each listing clock taken reloads the zone and starts a new generation so that a
// changed zone is seen.
struct DayOffset {
    std::int64_t day;
    std::int64_t offset;      // local wall-clock seconds minus UTC seconds
    std::uint32_t generation; // 0: never filled
    bool uniform;             // false: the offset changes that day, or mktime failed
};
// Room for every day of a couple of decades, which is what archive listings span; a
// smaller table kept evicting days and went back to the zone rules for most lines. It is
// allocated on first use so that threads which never parse a listing do not pay for it.
constexpr std::size_t DAY_CACHE_SIZE = 8192;
constexpr std::uint32_t FIRST_GENERATION = 1;
std::atomic<std::uint32_t> zoneGeneration{FIRST_GENERATION};
using DayOffsetTable = std::array<DayOffset, DAY_CACHE_SIZE>;
thread_local std::unique_ptr<DayOffsetTable> dayOffsets;

DayOffset& DayOffsetSlot(std::int64_t dayNumber)
{
    if (!dayOffsets) dayOffsets = std::make_unique<DayOffsetTable>();
    return (*dayOffsets)[static_cast<std::uint64_t>(dayNumber) % DAY_CACHE_SIZE];
}

std::int64_t LocalTimeOrZero(int year, int month, int day, int hour, int minute)
{
    return MakeLocalTime(year, month, day, hour, minute, 0).value_or(0);
}

// An EPLF fact: its first letter says what it is, the rest is its value.
void ApplyEplfFact(CFTPFileStatus& entry, std::wstring_view fact)
{
    if (fact.empty()) return;
    const std::wstring_view value = fact.substr(1);
    switch (fact[0]) {
    case L'/': entry.isDirectory = true; break;
    case L'r': entry.isRetrievable = true; break;
    case L's': {
        const DecimalValue decimal = ReadDecimal(value);
        entry.sizeKnown = 1;
        entry.size = decimal.complete ? decimal.value : 0;
        break;
    }
    case L'm': {
        // The format's times are 32-bit time_t values.
        const DecimalValue decimal = ReadDecimal(value);
        entry.modified = decimal.complete ? static_cast<std::int32_t>(static_cast<std::uint32_t>(decimal.value)) : 0;
        break;
    }
    case L'i':
        entry.hasId = 1;
        entry.id.assign(value);
        break;
    default: break;
    }
}

// MLSD facts (RFC 3659).
constexpr std::size_t MODIFY_DIGITS = 14; // YYYYMMDDHHMMSS, then an optional ".fraction"
constexpr int MIN_MODIFY_YEAR = 1970;
constexpr int MAX_MODIFY_YEAR = 9999;
constexpr int MAX_MODIFY_SECOND = 60; // a leap second
constexpr std::size_t MAX_MODE_DIGITS = 7;
constexpr std::uint64_t OCTAL_BASE = 8;
constexpr std::size_t PERMISSION_TRIPLES = 3;
constexpr unsigned SPECIAL_BITS_SHIFT = 9; // setuid, setgid and sticky sit above rwxrwxrwx
constexpr unsigned TRIPLE_BITS = 3;

bool EqualsNoCase(std::wstring_view text, std::wstring_view lowerCase)
{
    if (text.size() != lowerCase.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (AsciiLower(text[i]) != lowerCase[i]) return false;
    return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view lowerCase)
{
    return text.size() >= lowerCase.size() && EqualsNoCase(text.substr(0, lowerCase.size()), lowerCase);
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, MONTHS_PER_YEAR> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// YYYYMMDDHHMMSS[.fraction] in UTC; nothing unless every part is in range.
std::optional<std::int64_t> ModifyTime(std::wstring_view value)
{
    if (value.size() < MODIFY_DIGITS) return std::nullopt;
    const std::wstring_view fraction = value.substr(MODIFY_DIGITS);
    if (!fraction.empty() && (fraction[0] != L'.' || !ReadDecimal(fraction.substr(1)).complete)) return std::nullopt;
    const auto part = [value](std::size_t start, std::size_t length) {
        return DateNumber(value.substr(start, length));
    };
    const int year = part(0, 4);
    const int month = part(4, 2);
    const int day = part(6, 2);
    const int hour = part(8, 2);
    const int minute = part(10, 2);
    const int second = part(12, 2);
    if (year < MIN_MODIFY_YEAR || year > MAX_MODIFY_YEAR || month < 1 || month > MONTHS_PER_YEAR || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > MAX_HOUR || minute < 0 || minute > MAX_MINUTE ||
        second < 0 || second > MAX_MODIFY_SECOND)
        return std::nullopt;
    return DaysFromCivil(year, month, day) * SECONDS_PER_DAY + hour * SECONDS_PER_HOUR + minute * SECONDS_PER_MINUTE +
           second;
}

// An octal mode's permission bits (with setuid, setgid and sticky) as LIST's attribute
// text shows them after the type letter; nothing for a value that is no octal number.
std::optional<std::wstring> ModeText(std::wstring_view value)
{
    if (value.empty() || value.size() > MAX_MODE_DIGITS) return std::nullopt;
    std::uint64_t mode = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'7') return std::nullopt;
        mode = mode * OCTAL_BASE + static_cast<std::uint64_t>(c - L'0');
    }
    std::wstring text(PERMISSION_TRIPLES * TRIPLE_BITS, L'-');
    static constexpr std::wstring_view letters = L"rwx";
    // For owner, group and others: the special bit that shows in that triple's x column.
    static constexpr std::array<wchar_t, PERMISSION_TRIPLES> specialSet{L's', L's', L't'};
    static constexpr std::array<wchar_t, PERMISSION_TRIPLES> specialOnly{L'S', L'S', L'T'};
    for (std::size_t triple = 0; triple < PERMISSION_TRIPLES; ++triple) {
        const unsigned shift = static_cast<unsigned>(PERMISSION_TRIPLES - 1 - triple) * TRIPLE_BITS;
        const std::uint64_t bits = (mode >> shift) & 7U;
        for (std::size_t bit = 0; bit < TRIPLE_BITS; ++bit)
            if ((bits & (4U >> bit)) != 0) text[triple * TRIPLE_BITS + bit] = letters[bit];
        const bool special = ((mode >> (SPECIAL_BITS_SHIFT + PERMISSION_TRIPLES - 1 - triple)) & 1U) != 0;
        if (special) {
            wchar_t& execute = text[triple * TRIPLE_BITS + 2];
            execute = execute == L'x' ? specialSet[triple] : specialOnly[triple];
        }
    }
    return text;
}

enum class MachineKind { UNSTATED, FILE, DIRECTORY, LINK, OTHER, LISTED_DIRECTORY };

MachineKind KindFromType(std::wstring_view value)
{
    if (EqualsNoCase(value, L"file")) return MachineKind::FILE;
    if (EqualsNoCase(value, L"dir")) return MachineKind::DIRECTORY;
    if (EqualsNoCase(value, L"cdir") || EqualsNoCase(value, L"pdir")) return MachineKind::LISTED_DIRECTORY;
    if (StartsWithNoCase(value, L"os.unix=slink") || EqualsNoCase(value, L"os.unix=symlink")) return MachineKind::LINK;
    return MachineKind::OTHER;
}

} // namespace

ListingClock ListingClock::FromSystemClock()
{
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
    zoneGeneration.fetch_add(1, std::memory_order_relaxed);
    using namespace std::chrono;
    const auto current = time_point_cast<seconds>(system_clock::now());
    const year_month_day date{floor<days>(current)};
    return ListingClock{static_cast<int>(date.year()), current.time_since_epoch().count()};
}

DecimalValue ParseDecimal(std::wstring_view text) { return ReadDecimal(text); }

int MonthFromName(std::wstring_view name)
{
    static constexpr std::wstring_view monthNames = L"janfebmaraprmayjunjulaugsepoctnovdec";
    if (name.size() < MONTH_NAME_LENGTH) return NOT_A_NUMBER;
    const wchar_t first = AsciiLower(name[0]);
    const wchar_t second = AsciiLower(name[1]);
    const wchar_t third = AsciiLower(name[2]);
    for (std::size_t start = 0; start < monthNames.size(); start += MONTH_NAME_LENGTH) {
        if (first == monthNames[start] && second == monthNames[start + 1] && third == monthNames[start + 2])
            return static_cast<int>(start / MONTH_NAME_LENGTH) + 1;
    }
    return NOT_A_NUMBER;
}

std::optional<std::int64_t> MakeLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    if (year < TM_BASE_YEAR || month < 1 || month > MONTHS_PER_YEAR || day < 1 || day > MAX_DAY || hour < 0 ||
        hour > MAX_HOUR || minute < 0 || minute > MAX_MINUTE || second < 0 || second > MAX_SECOND)
        return std::nullopt;

    const std::int64_t dayNumber = DaysFromCivil(year, month, day);
    const std::int64_t dayStart = dayNumber * SECONDS_PER_DAY;
    const std::uint32_t generation = zoneGeneration.load(std::memory_order_relaxed);
    DayOffset& cached = DayOffsetSlot(dayNumber);
    if (cached.generation != generation || cached.day != dayNumber) {
        const auto offset = SteadyOffsetOfDay(dayStart);
        cached.day = dayNumber;
        cached.generation = generation;
        cached.uniform = offset.has_value();
        cached.offset = offset.value_or(0);
    }
    if (!cached.uniform) return CallMakeTime(year, month, day, hour, minute, second);
    return dayStart + hour * SECONDS_PER_HOUR + minute * SECONDS_PER_MINUTE + second - cached.offset;
}

bool ParseListLine(const std::wstring& line, CFTPFileStatus& entry, const ListingClock& clock)
{
    entry.Reset();
    if (line.size() < MIN_LINE_LENGTH) return false;
    const std::wstring_view text(line);
    switch (text[0]) {
    case L'+': return ParseEplfLine(entry, text);
    case L'-':
    case L'b':
    case L'c':
    case L'd':
    case L'l':
    case L'p':
    case L's': return ParseUnixLine(clock, entry, text);
    default: break;
    }
    if (text.find(L';') != std::wstring_view::npos) return ParseVersionedLine(entry, text);
    if (IsDigit(text[0])) return ParseDosLine(entry, text);
    return false;
}

bool ParseMachineListLine(std::wstring_view line, CFTPFileStatus& entry)
{
    entry.Reset();
    const std::size_t space = line.find(L' ');
    if (space == std::wstring_view::npos) return false;
    const std::wstring_view name = line.substr(space + 1);
    if (name.empty() || name.find(L'\0') != std::wstring_view::npos) return false;

    MachineKind kind = MachineKind::UNSTATED;
    std::optional<bool> mayRetrieve;
    std::wstring_view mode;
    std::wstring_view ownerName;
    std::wstring_view ownerId;
    std::wstring_view groupName;
    std::wstring_view groupId;
    const std::wstring_view facts = line.substr(0, space);
    for (std::size_t start = 0; start < facts.size();) {
        const std::size_t end = FindChar(facts, start, L';');
        const std::wstring_view fact = facts.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = fact.find(L'=');
        if (equals == std::wstring_view::npos) continue;
        const std::wstring_view factName = fact.substr(0, equals);
        const std::wstring_view value = fact.substr(equals + 1);
        if (EqualsNoCase(factName, L"type")) {
            kind = KindFromType(value);
        } else if (EqualsNoCase(factName, L"size")) {
            const DecimalValue decimal = ReadDecimal(value);
            entry.sizeKnown = decimal.complete ? 1 : 0;
            entry.size = decimal.complete ? decimal.value : 0;
        } else if (EqualsNoCase(factName, L"modify")) {
            const std::optional<std::int64_t> modified = ModifyTime(value);
            entry.modified = modified.value_or(0);
            entry.modifiedExact = modified.has_value();
        } else if (EqualsNoCase(factName, L"perm")) {
            mayRetrieve = value.find_first_of(L"rR") != std::wstring_view::npos;
        } else if (EqualsNoCase(factName, L"unix.mode")) {
            mode = value;
        } else if (EqualsNoCase(factName, L"unix.owner") || EqualsNoCase(factName, L"unix.ownername")) {
            // Some servers give the number as UNIX.owner beside the name as UNIX.ownername.
            if (ownerName.empty() || EqualsNoCase(factName, L"unix.ownername")) ownerName = value;
        } else if (EqualsNoCase(factName, L"unix.uid")) {
            ownerId = value;
        } else if (EqualsNoCase(factName, L"unix.group") || EqualsNoCase(factName, L"unix.groupname")) {
            if (groupName.empty() || EqualsNoCase(factName, L"unix.groupname")) groupName = value;
        } else if (EqualsNoCase(factName, L"unix.gid")) {
            groupId = value;
        }
    }
    if (kind == MachineKind::LISTED_DIRECTORY) return false;

    // As with LIST's type letter: files may be fetched, links may be either, and perm
    // narrows what a file or link offers.
    entry.isDirectory = kind == MachineKind::DIRECTORY || kind == MachineKind::LINK;
    entry.isRetrievable = (kind == MachineKind::FILE || kind == MachineKind::LINK) && mayRetrieve.value_or(true);
    wchar_t typeLetter = L'?';
    if (kind == MachineKind::FILE) typeLetter = L'-';
    if (kind == MachineKind::DIRECTORY) typeLetter = L'd';
    if (kind == MachineKind::LINK) typeLetter = L'l';
    if (const auto permissions = ModeText(mode)) {
        entry.attributes.assign(1, typeLetter);
        entry.attributes += *permissions;
    } else if (kind == MachineKind::LINK) {
        // Links are told by their attribute text's first letter.
        entry.attributes.assign(1, typeLetter);
    }
    entry.owner.assign(ownerName.empty() ? ownerId : ownerName);
    entry.group.assign(groupName.empty() ? groupId : groupName);
    entry.name.assign(name);
    return true;
}

bool ParseEplfLine(CFTPFileStatus& entry, std::wstring_view line)
{
    std::size_t factStart = 1;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == L'\t') {
            entry.name.assign(line.substr(i + 1));
            return true;
        }
        if (line[i] == L',') {
            ApplyEplfFact(entry, line.substr(factStart, i - factStart));
            factStart = i + 1;
        }
    }
    return false;
}

bool ParseUnixLine(const ListingClock& clock, CFTPFileStatus& entry, std::wstring_view line)
{
    enum class Column { PERMISSIONS, LINK_COUNT, OWNER, SIZE_OR_GROUP, MONTH_OR_SIZE, DAY, TIME_OR_YEAR };

    switch (line.empty() ? L'\0' : line[0]) {
    case L'-': entry.isRetrievable = true; break;
    case L'd': entry.isDirectory = true; break;
    case L'l':
        entry.isDirectory = true;
        entry.isRetrievable = true;
        break;
    default: break;
    }

    Column column = Column::PERMISSIONS;
    std::uint64_t size = SIZE_UNKNOWN;
    int month = NOT_A_NUMBER;
    int day = NOT_A_NUMBER;
    std::size_t position = 0;
    for (;;) {
        position = SkipChar(line, position, L' ');
        if (position == line.size()) return false;
        const std::size_t fieldStart = position;
        position = FindChar(line, position, L' ');
        const std::wstring_view field = line.substr(fieldStart, position - fieldStart);

        switch (column) {
        case Column::PERMISSIONS:
            entry.attributes.assign(field);
            column = Column::LINK_COUNT;
            continue;
        case Column::LINK_COUNT:
            entry.linkCount.assign(field);
            column = field.size() == FOLDER_WORD_LENGTH && field[0] == L'f' ? Column::SIZE_OR_GROUP : Column::OWNER;
            continue;
        case Column::OWNER:
            entry.owner.assign(field);
            column = Column::SIZE_OR_GROUP;
            continue;
        case Column::SIZE_OR_GROUP: {
            const DecimalValue decimal = ReadDecimal(field);
            if (decimal.complete) {
                size = decimal.value;
            } else {
                size = SIZE_UNKNOWN;
                entry.group.assign(field);
            }
            column = Column::MONTH_OR_SIZE;
            continue;
        }
        case Column::MONTH_OR_SIZE:
            month = field.size() == MONTH_NAME_LENGTH ? MonthFromName(field) : NOT_A_NUMBER;
            if (month != NOT_A_NUMBER) {
                column = Column::DAY;
            } else {
                const DecimalValue decimal = ReadDecimal(field);
                size = decimal.complete ? decimal.value : SIZE_UNKNOWN;
            }
            continue;
        case Column::DAY:
            day = DateNumber(field);
            column = Column::TIME_OR_YEAR;
            continue;
        case Column::TIME_OR_YEAR: break;
        }

        int year = clock.currentYear;
        int hour = 0;
        int minute = 0;
        bool yearGiven = false;
        if (field.size() == SHORT_TIME_LENGTH && field[SHORT_TIME_COLON] == L':') {
            hour = DateNumber(field.substr(0, SHORT_TIME_COLON));
            minute = DateNumber(field.substr(SHORT_TIME_COLON + 1));
        } else if (field.size() == LONG_TIME_LENGTH && field[LONG_TIME_COLON] == L':') {
            hour = DateNumber(field.substr(0, LONG_TIME_COLON));
            minute = DateNumber(field.substr(LONG_TIME_COLON + 1));
        } else if (field.size() >= MIN_YEAR_LENGTH) {
            year = DateNumber(field);
            yearGiven = true;
        } else {
            return false;
        }
        std::int64_t modified = LocalTimeOrZero(year, month, day, hour, minute);
        // Servers leave out the year for the last six months; a date that would lie ahead
        // (beyond a day's clock and zone slack) belongs to the year before.
        if (!yearGiven && modified > clock.now + SECONDS_PER_DAY)
            modified = LocalTimeOrZero(year - 1, month, day, hour, minute);
        entry.modified = modified;
        entry.size = size;
        entry.sizeKnown = 1;
        if (position < line.size()) entry.name.assign(line.substr(position + 1));
        break;
    }

    const wchar_t second = line.size() > 1 ? line[1] : L'\0';
    if ((second == L' ' || second == L'[') && entry.name.size() >= PADDED_NAME_MIN_LENGTH &&
        entry.name.find_first_not_of(L' ') >= PADDED_NAME_INDENT)
        entry.name.erase(0, PADDED_NAME_INDENT);
    return true;
}

bool ParseVersionedLine(CFTPFileStatus& entry, std::wstring_view line)
{
    const std::size_t semicolon = FindChar(line, 0, L';');
    std::wstring_view name = line.substr(0, semicolon);
    if (name.size() > DIRECTORY_SUFFIX.size() &&
        name.substr(name.size() - DIRECTORY_SUFFIX.size()) == DIRECTORY_SUFFIX) {
        entry.isDirectory = true;
        name.remove_suffix(DIRECTORY_SUFFIX.size());
    } else {
        entry.isRetrievable = true;
    }
    entry.name.assign(name);

    const std::size_t end = line.size();
    // The version, the spaces, the size column ("used/allocated") and the spaces.
    std::size_t position = FindChar(line, semicolon, L' ');
    position = SkipChar(line, position, L' ');
    if (position == end) return false;
    position = FindChar(line, position, L' ');
    position = SkipChar(line, position, L' ');
    if (position == end) return false;

    // DD-MMM-YYYY HH:MM[:SS]
    const std::size_t dayEnd = FindChar(line, position, L'-');
    if (dayEnd == end) return false;
    const int day = DateNumber(line.substr(position, dayEnd - position));
    position = SkipChar(line, dayEnd, L'-');
    const std::size_t monthEnd = FindChar(line, position, L'-');
    if (monthEnd == end || monthEnd - position != MONTH_NAME_LENGTH) return false;
    const int month = MonthFromName(line.substr(position, MONTH_NAME_LENGTH));
    if (month == NOT_A_NUMBER) return false;
    position = monthEnd + 1;
    const std::size_t yearEnd = FindChar(line, position, L' ');
    if (yearEnd == end) return false;
    const int year = DateNumber(line.substr(position, yearEnd - position));
    position = SkipChar(line, yearEnd, L' ');
    const std::size_t hourEnd = FindChar(line, position, L':');
    if (hourEnd == end) return false;
    const int hour = DateNumber(line.substr(position, hourEnd - position));
    position = hourEnd + 1;
    const std::size_t minuteEnd = std::min(line.find_first_of(L": ", position), end);
    const int minute = DateNumber(line.substr(position, minuteEnd - position));

    entry.modified = LocalTimeOrZero(year, month, day, hour, minute);
    return true;
}

bool ParseDosLine(CFTPFileStatus& entry, std::wstring_view line)
{
    const std::size_t end = line.size();
    // MM-DD-YY  HH:MMAM
    const std::size_t monthEnd = FindChar(line, 0, L'-');
    if (monthEnd == end) return false;
    const int month = DateNumber(line.substr(0, monthEnd));
    std::size_t position = monthEnd + 1;
    const std::size_t dayEnd = FindChar(line, position, L'-');
    if (dayEnd == end) return false;
    const int day = DateNumber(line.substr(position, dayEnd - position));
    position = dayEnd + 1;
    const std::size_t yearEnd = FindChar(line, position, L' ');
    if (yearEnd == end) return false;
    int year = DateNumber(line.substr(position, yearEnd - position));
    if (year != NOT_A_NUMBER) {
        if (year < DOS_CENTURY_PIVOT) year += DOS_PIVOT_CENTURY;
        if (year < DOS_FULL_YEAR_MIN) year += TM_BASE_YEAR;
    }
    position = SkipChar(line, yearEnd, L' ');
    const std::size_t hourEnd = FindChar(line, position, L':');
    if (hourEnd == end) return false;
    int hour = DateNumber(line.substr(position, hourEnd - position));
    position = hourEnd + 1;
    const std::size_t minuteEnd = std::min(line.find_first_of(L"AP", position), end);
    if (minuteEnd == end) return false;
    const int minute = DateNumber(line.substr(position, minuteEnd - position));
    if (hour == HOURS_PER_HALF_DAY) hour = 0;
    // A twelve-hour clock's afternoon; any other number after PM is no time of day at all.
    if (line[minuteEnd] == L'P')
        hour = hour >= 0 && hour < HOURS_PER_HALF_DAY ? hour + HOURS_PER_HALF_DAY : NOT_A_NUMBER;
    position = minuteEnd + 1;
    if (position < end && line[position] == L'M') ++position;
    position = SkipChar(line, position, L' ');
    if (position == end) return false;

    // "<DIR>" or the size.
    if (line[position] == L'<') {
        entry.isDirectory = true;
        position = SkipChar(line, FindChar(line, position, L' '), L' ');
    } else {
        const std::size_t sizeEnd = FindChar(line, position, L' ');
        const DecimalValue decimal = ParseDecimal(line.substr(position, sizeEnd - position));
        entry.size = decimal.complete ? decimal.value : 0;
        entry.sizeKnown = 1;
        entry.isRetrievable = true;
        position = SkipChar(line, sizeEnd, L' ');
    }
    if (position == end) return false;

    entry.name.assign(line.substr(position));
    entry.modified = LocalTimeOrZero(year, month, day, hour, minute);
    return true;
}

} // namespace nsFTP
