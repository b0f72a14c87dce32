#pragma once
// The tab-separated rows that `parse` and `ls` print, one per listing entry:
//   parsed name isDirectory isRetrievable sizeKnown size modified attributes owner group
//   linkCount hasId id
// Names and texts are UTF-8 bytes; booleans 0/1; size "-" when unknown; modified in
// seconds since 1970 UTC.
#include <string>

#include "engine/FTPDataTypes.h"
#include "engine/ListingParser.h"

namespace ftpcli {

void AppendRow(std::string& out, bool parsed, const nsFTP::CFTPFileStatus& entry);

// The clock for `parse --year Y`: the last second of year Y (UTC), so that a Unix line
// without a year is dated in Y whatever its month.
nsFTP::ListingClock ClockForYear(int year);

} // namespace ftpcli
