// Feeds arbitrary server text through the listing parser, one line per LF, and checks what
// every layout promises about a parsed entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/ListingParser.h"
#include "engine/TextCodec.h"

namespace {

// A fixed clock keeps runs reproducible: 15 June 2024 12:00 UTC.
constexpr nsFTP::ListingClock FUZZ_CLOCK{2024, 1718452800};

void Check(bool condition)
{
    if (!condition) std::abort();
}

void ParseOne(const std::wstring& line)
{
    nsFTP::CFTPFileStatus entry;
    if (!nsFTP::ParseListLine(line, entry, FUZZ_CLOCK)) return;
    // Every layout takes the name from the line itself; versioned directories lose ".DIR".
    Check(line.find(entry.name) != std::wstring::npos);
    if (entry.sizeKnown == 0) Check(entry.size == 0);
    Check(entry.sizeKnown == 0 || entry.sizeKnown == 1);
    if (line[0] != L'+') Check(entry.hasId == 0 && entry.id.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = nsFTP::WireToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    ParseOne(text);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        ParseOne(text.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
