#pragma once
// Turns the lines of a LIST reply into directory entries. Four layouts are understood:
//   EPLF       +i8388621.48594,m825718503,r,s280,<TAB>djb.html
//   Unix       drwxr-xr-x   2 user group 4096 Jan  5 14:03 www
//   versioned  README.TXT;1  2/3  27-APR-2007 13:45:10  [GROUP,OWNER]  (RWED,RWED,RE,)
//   DOS        04-27-07  09:09PM  <DIR>  name
// Dates without a zone are taken as the client machine's local time.
// MLSD and MLST entries (RFC 3659) have a parser of their own: their facts need no guessing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/FTPDataTypes.h"

namespace nsFTP {

// What a Unix line without a year is dated against; taken once per listing so that every
// line of it agrees.
struct ListingClock {
    int currentYear;  // calendar year in UTC
    std::int64_t now; // seconds since 1970 UTC

    static ListingClock FromSystemClock();
};

struct DecimalValue {
    std::uint64_t value; // the leading digits' value; 0 on overflow
    bool complete;       // at least one digit, nothing but digits, and no overflow
};

// An unsigned decimal read of exactly the given characters.
DecimalValue ParseDecimal(std::wstring_view text);

// 1-12 for the English month abbreviations in any case (only the first three characters
// count), -1 otherwise.
int MonthFromName(std::wstring_view name);

// Seconds since 1970 UTC for a local calendar time; daylight saving is decided by the
// calendar. Nothing for year < 1900, month outside 1-12, day outside 1-31, hour outside
// 0-23, minute or second outside 0-59, or a time the platform cannot represent (the
// Windows runtime refuses dates before 1970). A day past the month's end rolls over.
std::optional<std::int64_t> MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

// Fills entry from one listing line; false when the line is of no known layout. Entries of
// a known layout whose date cannot be read are kept with modified 0.
bool ParseListLine(const std::wstring& line, CFTPFileStatus& entry, const ListingClock& clock);

// Fills entry from one MLSD line (or an MLST entry without its leading space):
// "fact=value;fact=value; name", the name being everything after the first space. Facts
// used: type, size, modify (UTC), perm, UNIX.mode, UNIX.owner/ownername/uid and
// UNIX.group/groupname/gid; fact names and the type's value in any case, other facts and
// facts without '=' ignored. False, and the line dropped, when there is no space, the name
// is empty or holds a NUL (the rest of it would be lost on the way to a local path), or the
// type is cdir or pdir (the directory itself and its parent). A size that is no decimal or
// overflows leaves the size unknown; a modify that is no valid time from 1970 to 9999 leaves
// modified 0. Names holding '/' or naming "." or ".." are kept, as LIST keeps them: the
// walks and transfers screen every listed name before it becomes a path.
bool ParseMachineListLine(std::wstring_view line, CFTPFileStatus& entry);

// The layouts one by one; each expects a cleared entry.
bool ParseEplfLine(CFTPFileStatus& entry, std::wstring_view line);
bool ParseUnixLine(const ListingClock& clock, CFTPFileStatus& entry, std::wstring_view line);
bool ParseVersionedLine(CFTPFileStatus& entry, std::wstring_view line);
bool ParseDosLine(CFTPFileStatus& entry, std::wstring_view line);

} // namespace nsFTP
