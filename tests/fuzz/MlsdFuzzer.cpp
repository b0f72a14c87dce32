// Feeds arbitrary server text through the MLSD entry parser, one line per LF, and checks
// what it promises about every entry it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/ListingParser.h"
#include "engine/TextCodec.h"

namespace {

// The last second of 9999 (plus a leap second): the latest modify time that is kept.
constexpr std::int64_t LATEST_MODIFIED = 253402300800;
constexpr std::size_t ATTRIBUTE_TEXT_LENGTH = 10;

void Check(bool condition)
{
    if (!condition) std::abort();
}

void ParseOne(std::wstring_view line)
{
    nsFTP::CFTPFileStatus entry;
    if (!nsFTP::ParseMachineListLine(line, entry)) {
        Check(entry.name.empty());
        return;
    }
    // The name is the whole rest of the line after the first space, and never empty.
    const std::size_t space = line.find(L' ');
    Check(space != std::wstring_view::npos && line.substr(space + 1) == entry.name);
    Check(!entry.name.empty() && entry.name.find(L'\0') == std::wstring::npos);
    Check(entry.sizeKnown == 1 || (entry.sizeKnown == 0 && entry.size == 0));
    Check(entry.modified >= 0 && entry.modified <= LATEST_MODIFIED);
    Check(entry.attributes.empty() || entry.attributes == L"l" || entry.attributes.size() == ATTRIBUTE_TEXT_LENGTH);
    // Only links are both.
    if (entry.isDirectory && entry.isRetrievable) Check(entry.attributes.starts_with(L'l'));
    Check(entry.hasId == 0 && entry.linkCount.empty());
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
        ParseOne(std::wstring_view(text).substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
