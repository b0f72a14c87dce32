#include "Rows.h"

#include <charconv>
#include <chrono>

#include "engine/TextCodec.h"

namespace ftpcli {
namespace {

template <typename Number> void AppendNumber(std::string& out, Number value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendText(std::string& out, const std::wstring& text) { nsFTP::AppendWideToWire(text, out); }

} // namespace

void AppendRow(std::string& out, bool parsed, const nsFTP::CFTPFileStatus& entry)
{
    out += parsed ? '1' : '0';
    out += '\t';
    AppendText(out, entry.name);
    out += '\t';
    out += entry.isDirectory ? '1' : '0';
    out += '\t';
    out += entry.isRetrievable ? '1' : '0';
    out += '\t';
    AppendNumber(out, entry.sizeKnown);
    out += '\t';
    if (entry.size == nsFTP::SIZE_UNKNOWN)
        out += '-';
    else
        AppendNumber(out, entry.size);
    out += '\t';
    AppendNumber(out, entry.modified);
    out += '\t';
    AppendText(out, entry.attributes);
    out += '\t';
    AppendText(out, entry.owner);
    out += '\t';
    AppendText(out, entry.group);
    out += '\t';
    AppendText(out, entry.linkCount);
    out += '\t';
    AppendNumber(out, entry.hasId);
    out += '\t';
    AppendText(out, entry.id);
    out += '\n';
}

nsFTP::ListingClock ClockForYear(int year)
{
    using namespace std::chrono;
    const sys_days nextYear{std::chrono::year{year + 1} / January / 1};
    return nsFTP::ListingClock{year, nextYear.time_since_epoch().count() * 86400 - 1};
}

} // namespace ftpcli
