#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>

#include "engine/ListingParser.h"

using namespace nsFTP;

namespace {

// Local wall-clock times through the C library directly, so the expectations hold in any
// time zone.
std::int64_t Local(int year, int month, int day, int hour = 0, int minute = 0)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&fields));
}

// Mid-June 2024, noon.
ListingClock FixedClock() { return ListingClock{2024, Local(2024, 6, 15, 12, 0)}; }

enum Kind { FILE_KIND, DIRECTORY_KIND, LINK_KIND, OTHER_KIND };

constexpr std::uint64_t FIVE_GIB = 5368709120ULL;

struct EntryCase {
    const wchar_t* line;
    Kind kind;
    const wchar_t* name;
    std::int32_t sizeKnown;
    std::uint64_t size;
    std::int64_t modified;
};

void ExpectEntries(std::initializer_list<EntryCase> cases)
{
    const ListingClock clock = FixedClock();
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.line);
        CFTPFileStatus entry;
        ASSERT_TRUE(ParseListLine(c.line, entry, clock));
        EXPECT_EQ(entry.isDirectory, c.kind == DIRECTORY_KIND || c.kind == LINK_KIND);
        EXPECT_EQ(entry.isRetrievable, c.kind == FILE_KIND || c.kind == LINK_KIND);
        EXPECT_EQ(entry.name, c.name);
        EXPECT_EQ(entry.sizeKnown, c.sizeKnown);
        EXPECT_EQ(entry.size, c.size);
        EXPECT_EQ(entry.modified, c.modified);
    }
}

} // namespace

TEST(ListingParserTest, RejectsLinesOfNoKnownLayout)
{
    const wchar_t* lines[] = {
        L"",
        L"x",
        L"total 16",
        L"hello world",
        L"drwxr-xr-x 2 user group 4096 Jan 5", // ends before the time column
        L"-rw-r--r-- 1 u g 1 Jan 5 12 x",      // time column too short
        L"-rw-r--r-- 1 u g 1 2 3 4 5 6 7",     // no month
        L"+i1,r,s5",                           // EPLF without a TAB
        L"12-31-99 12:15AM <DIR>",             // DOS without a name
        L"12-31-99 12:15AM 100   ",
        L"12-31-99 12:15",
        L"README.TXT;1", // versioned without columns
        L"README.TXT;1 2/3 27-XYZ-2007 13:45:10",
        L"README.TXT;1 2/3 27-APRIL-2007 13:45:10",
        L"README.TXT;1 2/3 27-APR-2007",
    };
    for (const wchar_t* line : lines) {
        CFTPFileStatus entry;
        entry.name = L"stale";
        EXPECT_FALSE(ParseListLine(line, entry, FixedClock())) << line;
        if (std::wstring(line).size() < 2) {
            EXPECT_EQ(entry.name, L"");
        }
    }
}

TEST(ListingParserTest, UnixLines)
{
    ExpectEntries({
        {L"drwxr-xr-x   2 user group 4096 Jan  5 14:03 www", DIRECTORY_KIND, L"www", 1, 4096, Local(2024, 1, 5, 14, 3)},
        {L"-rw-r--r-- 1 user group 120 Mar 1 2005 read me.txt", FILE_KIND, L"read me.txt", 1, 120, Local(2005, 3, 1)},
        {L"lrwxrwxrwx 1 u g 7 Jan 1 2000 lib -> usr/lib", LINK_KIND, L"lib -> usr/lib", 1, 7, Local(2000, 1, 1)},
        {L"-rw-r--r-- 1 u g 7 jan 1 9:07  two", FILE_KIND, L" two", 1, 7, Local(2024, 1, 1, 9, 7)},
        {L"brw-rw---- 1 root disk 8, 0 Jan 1 2010 sda", OTHER_KIND, L"sda", 1, 0, Local(2010, 1, 1)},
        {L"prw-r--r-- 1 u g 0 Jan 1 2010 fifo", OTHER_KIND, L"fifo", 1, 0, Local(2010, 1, 1)},
        {L"srwxrwxrwx 1 u g 0 Jan 1 2010 sock", OTHER_KIND, L"sock", 1, 0, Local(2010, 1, 1)},
        {L"-rw-r--r-- 1 u g 5368709120 Feb 29 2024 big.iso", FILE_KIND, L"big.iso", 1, FIVE_GIB, Local(2024, 2, 29)},
        {L"-rw-r--r-- 1 u g xyz Jan 1 2000 f", FILE_KIND, L"f", 1, SIZE_UNKNOWN, Local(2000, 1, 1)},
        // Three-space padding goes only after a bracketed or spaced permission column.
        {L"d [RWCEAFMS] admin 512 Apr 13 2001    pub", DIRECTORY_KIND, L"pub", 1, 512, Local(2001, 4, 13)},
        {L"-rw-r--r-- 1 u g 1 Jan 1 2000    pad", FILE_KIND, L"   pad", 1, 1, Local(2000, 1, 1)},
        // Dates that cannot be had keep the entry.
        {L"-rw-r--r-- 1 u g 1 Jan 1 1899 old", FILE_KIND, L"old", 1, 1, 0},
        {L"-rw-r--r-- 1 u g 1 Jan 1 25:00 x", FILE_KIND, L"x", 1, 1, 0},
    });
}

TEST(ListingParserTest, UnixOwnerGroupAndLinkColumns)
{
    struct Case {
        const wchar_t* line;
        const wchar_t* attributes;
        const wchar_t* linkCount;
        const wchar_t* owner;
        const wchar_t* group;
        std::uint64_t size;
    };
    const Case cases[] = {
        {L"drwxr-xr-x 2 user group 4096 Jan 5 14:03 www", L"drwxr-xr-x", L"2", L"user", L"group", 4096},
        {L"-rw-r--r-- 1 user 120 Mar 1 2005 a", L"-rw-r--r--", L"1", L"user", L"", 120},
        {L"drwxr-xr-x folder 0 Jan 5 2001 Stuff", L"drwxr-xr-x", L"folder", L"", L"", 0},
        {L"d [RWCEAFMS] admin 512 Apr 13 2001    pub", L"d", L"[RWCEAFMS]", L"admin", L"", 512},
    };
    for (const Case& c : cases) {
        CFTPFileStatus entry;
        ASSERT_TRUE(ParseListLine(c.line, entry, FixedClock())) << c.line;
        EXPECT_EQ(entry.attributes, c.attributes);
        EXPECT_EQ(entry.linkCount, c.linkCount);
        EXPECT_EQ(entry.owner, c.owner);
        EXPECT_EQ(entry.group, c.group);
        EXPECT_EQ(entry.size, c.size);
    }
}

TEST(ListingParserTest, UnixDatesWithoutYearNeverLieAhead)
{
    // The clock stands at 15 June 2024 noon.
    ExpectEntries({
        {L"-rw-r--r-- 1 u g 1 Dec 31 23:59 x", FILE_KIND, L"x", 1, 1, Local(2023, 12, 31, 23, 59)},
        {L"-rw-r--r-- 1 u g 1 Jun 16 11:00 x", FILE_KIND, L"x", 1, 1, Local(2024, 6, 16, 11, 0)},
        {L"-rw-r--r-- 1 u g 1 Jun 17 12:00 x", FILE_KIND, L"x", 1, 1, Local(2023, 6, 17, 12, 0)},
        {L"-rw-r--r-- 1 u g 1 Dec 31 2030 x", FILE_KIND, L"x", 1, 1, Local(2030, 12, 31)},
    });
}

TEST(ListingParserTest, EplfLines)
{
    ExpectEntries({
        {L"+i12.34,m86400,r,s280,\treadme", FILE_KIND, L"readme", 1, 280, 86400},
        {L"+/,m4294967295,\tsub", DIRECTORY_KIND, L"sub", 0, 0, -1},
        // The fact between the last comma and the TAB is not applied.
        {L"+s12x,r\tname", OTHER_KIND, L"name", 1, 0, 0},
        {L"+r,,q1,\tname,with,commas\tand tab", FILE_KIND, L"name,with,commas\tand tab", 0, 0, 0},
        {L"+s5368709120,r,\tbig", FILE_KIND, L"big", 1, FIVE_GIB, 0},
    });
    CFTPFileStatus entry;
    ASSERT_TRUE(ParseListLine(L"+i12.34,m86400,r,s280,\treadme", entry, FixedClock()));
    EXPECT_EQ(entry.hasId, 1);
    EXPECT_EQ(entry.id, L"12.34");
}

TEST(ListingParserTest, DosLines)
{
    ExpectEntries({
        {L"12-31-99 12:15AM <DIR> old", DIRECTORY_KIND, L"old", 0, 0, Local(1999, 12, 31, 0, 15)},
        {L"04-27-07  09:09PM  1234  my file.txt", FILE_KIND, L"my file.txt", 1, 1234, Local(2007, 4, 27, 21, 9)},
        {L"04-27-107 12:30PM 5368709120 big", FILE_KIND, L"big", 1, FIVE_GIB, Local(2007, 4, 27, 12, 30)},
        {L"01-02-2010 01:00PM abc  x ", FILE_KIND, L"x ", 1, 0, Local(2010, 1, 2, 13, 0)},
        {L"13-01-07 01:00AM 1 bad month", FILE_KIND, L"bad month", 1, 1, 0},
        {L"01-01-07 13:00PM 1 bad hour", FILE_KIND, L"bad hour", 1, 1, 0},
        {L"01-01-07 2147483647:00PM 1 huge hour", FILE_KIND, L"huge hour", 1, 1, 0},
    });
}

TEST(ListingParserTest, VersionedLines)
{
    ExpectEntries({
        {L"README.TXT;1  2/3  27-APR-2007 13:45:10", FILE_KIND, L"README.TXT", 0, 0, Local(2007, 4, 27, 13, 45)},
        {L"SUB.DIR;1  1/3  5-jan-2001 00:01:00  [GROUP,OWNER]  (RWED,RWED,RE,)", DIRECTORY_KIND, L"SUB", 0, 0,
         Local(2001, 1, 5, 0, 1)},
        {L".DIR;1 1/3 5-JAN-2001 7:08", FILE_KIND, L".DIR", 0, 0, Local(2001, 1, 5, 7, 8)},
        {L"Sub.dir;1 1/3 5--JAN-2001 7:08", FILE_KIND, L"Sub.dir", 0, 0, Local(2001, 1, 5, 7, 8)},
        {L"OLD.TXT;1 1/3 5-JAN-1850 7:08", FILE_KIND, L"OLD.TXT", 0, 0, 0},
    });
}

TEST(ListingParserTest, DecimalsAndMonthNames)
{
    struct DecimalCase {
        const wchar_t* text;
        std::uint64_t value;
        bool complete;
    };
    const DecimalCase decimals[] = {
        {L"", 0, false},
        {L"0", 0, true},
        {L"4096", 4096, true},
        {L"12a", 12, false},
        {L" 1", 0, false},
        {L"18446744073709551615", SIZE_UNKNOWN, true},
        {L"18446744073709551616", 0, false},
    };
    for (const DecimalCase& c : decimals) {
        const DecimalValue decimal = ParseDecimal(c.text);
        EXPECT_EQ(decimal.value, c.value) << c.text;
        EXPECT_EQ(decimal.complete, c.complete) << c.text;
    }

    struct MonthCase {
        const wchar_t* text;
        int month;
    };
    const MonthCase months[] = {{L"jan", 1}, {L"FEB", 2}, {L"sept", 9}, {L"dEc", 12}, {L"ja", -1}, {L"xyz", -1}};
    for (const MonthCase& c : months)
        EXPECT_EQ(MonthFromName(c.text), c.month) << c.text;
}

TEST(ListingParserTest, MakeLocalTimeChecksRangesAndRollsDaysOver)
{
    const int invalid[][6] = {
        {1899, 12, 31, 0, 0, 0}, {2000, 0, 1, 0, 0, 0},  {2000, 13, 1, 0, 0, 0}, {2000, 1, 0, 0, 0, 0},
        {2000, 1, 32, 0, 0, 0},  {2000, 1, 1, 24, 0, 0}, {2000, 1, 1, -1, 0, 0}, {2000, 1, 1, 0, 60, 0},
        {2000, 1, 1, 0, 0, 60},  {2000, 1, 1, 0, 0, -1},
    };
    for (const auto& t : invalid)
        EXPECT_FALSE(MakeLocalTime(t[0], t[1], t[2], t[3], t[4], t[5])) << t[0] << '-' << t[1] << '-' << t[2];

    EXPECT_EQ(MakeLocalTime(2020, 7, 4, 10, 20, 30), Local(2020, 7, 4, 10, 20) + 30);
    EXPECT_EQ(MakeLocalTime(2001, 4, 31, 0, 0, 0), MakeLocalTime(2001, 5, 1, 0, 0, 0));
    EXPECT_EQ(*MakeLocalTime(2000, 1, 2, 0, 0, 0) - *MakeLocalTime(2000, 1, 1, 0, 0, 0), 86400);
}

namespace {

// Switches the process's time zone for one test and back.
class ZoneOverride {
public:
    explicit ZoneOverride(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) saved = old;
        Set(zone);
    }
    ~ZoneOverride() { Set(saved ? saved->c_str() : nullptr); }

private:
    static void Set(const char* zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
        // A new listing clock makes the parser look the zone up afresh.
        ListingClock::FromSystemClock();
    }

    std::optional<std::string> saved;
};

} // namespace

// Offsets are remembered per day; days with a daylight-saving change must still come out
// as mktime has them, including half-hour shifts and the hour that is skipped or repeated.
TEST(ListingParserTest, MakeLocalTimeMatchesTheCLibraryAcrossZoneChanges)
{
    const char* zones[] = {"CET-1CEST,M3.5.0,M10.5.0/3", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "UTC0"};
    for (const char* zone : zones) {
        ZoneOverride override(zone);
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day) {
                for (int hour = 0; hour < 24; ++hour) {
                    const auto made = MakeLocalTime(2021, month, day, hour, 30, 0);
                    ASSERT_TRUE(made);
                    ASSERT_EQ(*made, Local(2021, month, day, hour, 30))
                        << zone << " 2021-" << month << '-' << day << ' ' << hour << ":30";
                }
            }
        }
    }
}

// Archive listings span decades; days that share a slot of the offset cache, and days seen
// again after being evicted from it, must still get their own offset.
TEST(ListingParserTest, MakeLocalTimeKeepsDaysApartAcrossDecades)
{
    constexpr int firstYear = 1970;
    constexpr int lastYear = 2029;
    constexpr int passes = 2;
    ZoneOverride override("CET-1CEST,M3.5.0,M10.5.0/3");
    for (int pass = 0; pass < passes; ++pass) {
        for (int year = firstYear; year <= lastYear; ++year) {
            for (int month = 1; month <= 12; ++month) {
                for (int day = 1; day <= 28; ++day) {
                    const auto made = MakeLocalTime(year, month, day, 12, 0, 0);
                    ASSERT_TRUE(made);
                    ASSERT_EQ(*made, Local(year, month, day, 12, 0)) << year << '-' << month << '-' << day;
                }
            }
        }
    }
}

TEST(ListingParserTest, SystemClockAgreesWithTheCLibrary)
{
    // time() may read a coarser clock than the one the engine uses (glibc reads the kernel's
    // tick-granular clock), so the two can stand a tick apart across a second's edge; a second
    // of slack still tells UTC seconds from local time or milliseconds.
    const std::time_t before = std::time(nullptr);
    const ListingClock clock = ListingClock::FromSystemClock();
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(clock.now, static_cast<std::int64_t>(before) - 1);
    EXPECT_LE(clock.now, static_cast<std::int64_t>(after) + 1);
    const std::time_t now = static_cast<std::time_t>(clock.now);
    EXPECT_EQ(clock.currentYear, std::gmtime(&now)->tm_year + 1900);
}
