#include "session/RemoteEntryList.h"

#include <algorithm>
#include <new>

namespace {

const wchar_t* const LINK_ARROW = L" -> ";
constexpr wchar_t LINK_ATTRIBUTE = L'l';
constexpr int UNIT_BITS = 16;
// The first units of a name that a sort key holds, four 16-bit units to a 64-bit word.
constexpr std::size_t UNITS_PER_WORD = 4;
constexpr std::size_t PREFIX_WORDS = 2;

// Seconds between 1601-01-01 (file times) and 1970-01-01 (the listing's clock), and file
// time ticks per second.
constexpr std::int64_t FILE_TIME_EPOCH_OFFSET_SECONDS = 11644473600LL;
constexpr std::int64_t FILE_TIME_TICKS_PER_SECOND = 10000000LL;
constexpr int DWORD_BITS = 32;

wchar_t FoldAsciiUpper(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

int CompareNamesNoCase(std::wstring_view a, std::wstring_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const wchar_t x = FoldAsciiUpper(a[i]);
        const wchar_t y = FoldAsciiUpper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsLinkRecord(const nsFTP::CFTPFileStatus& status)
{
    return !status.attributes.empty() && status.attributes.front() == LINK_ATTRIBUTE;
}

// A link's name is what it lists before the arrow to its target.
std::wstring_view RecordName(const nsFTP::CFTPFileStatus& status)
{
    const std::wstring_view listed = status.name;
    if (!IsLinkRecord(status)) return listed;
    return listed.substr(0, std::min(listed.find(LINK_ARROW), listed.size()));
}

} // namespace

bool RemoteEntryLess(const RemoteEntry& a, const RemoteEntry& b)
{
    const bool aDirectory = a.isDirectory != 0;
    const bool bDirectory = b.isDirectory != 0;
    if (aDirectory != bDirectory) return aDirectory;
    return CompareNamesNoCase(a.name, b.name) < 0;
}

FILETIME ListedTimeToFileTime(std::int64_t listedSeconds)
{
    // The parser already read the listing's calendar time as a local time and holds the
    // matching instant, so only the epoch and the unit change here.
    const std::int64_t seconds = std::max<std::int64_t>(listedSeconds, -FILE_TIME_EPOCH_OFFSET_SECONDS);
    const auto ticks =
        static_cast<std::uint64_t>((seconds + FILE_TIME_EPOCH_OFFSET_SECONDS) * FILE_TIME_TICKS_PER_SECOND);
    FILETIME time = {};
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> DWORD_BITS);
    return time;
}

RemoteEntry MakeRemoteEntry(const nsFTP::CFTPFileStatus& status)
{
    RemoteEntry entry;
    entry.name = RecordName(status);
    entry.isLink = IsLinkRecord(status) ? 1 : 0;
    entry.displayName = status.name;
    entry.directory = status.path;
    entry.attributes = status.attributes;
    entry.owner = status.owner;
    entry.isDirectory = status.isDirectory ? 1 : 0;
    // EPLF and versioned listings may give no size at all: that is unknown, not empty.
    entry.size = status.sizeKnown != 0 ? status.size : REMOTE_SIZE_UNKNOWN;
    entry.time = ListedTimeToFileTime(status.modified);
    entry.timeExact = status.modifiedExact ? 1 : 0;
    return entry;
}

RemoteEntryList::RemoteEntryList(std::initializer_list<RemoteEntry> entries)
{
    for (const RemoteEntry& entry : entries)
        push_back(entry);
}

RemoteEntryList::RemoteEntryList(const std::vector<RemoteEntry>& entries)
{
    for (const RemoteEntry& entry : entries)
        push_back(entry);
}

void RemoteEntryList::clear()
{
    // Swapped out rather than cleared, so that the blocks are given back.
    RemoteEntryList empty;
    std::swap(*this, empty);
}

void RemoteEntryList::Add(const nsFTP::CFTPFileStatus& status)
{
    AddRow(status.sizeKnown != 0 ? status.size : REMOTE_SIZE_UNKNOWN, ListedTimeToFileTime(status.modified),
           status.isDirectory, IsLinkRecord(status), status.name, RecordName(status), status.attributes, status.owner);
}

void RemoteEntryList::push_back(const RemoteEntry& entry)
{
    if (rows.empty()) directory = entry.directory;
    AddRow(entry.size, entry.time, entry.isDirectory != 0, entry.isLink != 0, entry.displayName, entry.name,
           entry.attributes, entry.owner);
}

void RemoteEntryList::AddRow(std::uint64_t size, FILETIME time, bool isDirectory, bool isLink,
                             std::wstring_view display, std::wstring_view name, std::wstring_view attributes,
                             std::wstring_view owner)
{
    Row row = {};
    row.size = size;
    row.time = time;
    const bool prefix = display.substr(0, name.size()) == name && name.size() < SEPARATE_NAME;
    row.displayAt = StoreText(display);
    if (!prefix) StoreText(name);
    row.nameLengthAndFlags = prefix ? static_cast<std::uint32_t>(name.size()) : SEPARATE_NAME;
    if (isDirectory) row.nameLengthAndFlags |= DIRECTORY_FLAG;
    if (isLink) row.nameLengthAndFlags |= LINK_FLAG;
    row.attributesAt = StoreRepeatable(attributes, lastAttributesAt);
    row.ownerAt = StoreRepeatable(owner, lastOwnerAt);
    rows.push_back(row);
}

std::uint32_t RemoteEntryList::StoreRepeatable(std::wstring_view text, std::uint32_t& last)
{
    // Listings group entries of one owner with the same permissions, so equal neighbours
    // are common; comparing with the previous text alone costs nothing to find them.
    if (last == NO_TEXT || TextAt(last) != text) last = StoreText(text);
    return last;
}

std::uint32_t RemoteEntryList::StoreText(std::wstring_view text)
{
    const std::size_t needed = LENGTH_UNITS + text.size();
    std::size_t at = used;
    const std::size_t slotRest = slots.size() * SLOT_UNITS - at;
    if (needed > slotRest) {
        // Starts at the next slot, in a new block of as many slots as the text needs.
        at = slots.size() * SLOT_UNITS;
        const std::size_t slotCount = (needed + SLOT_UNITS - 1) / SLOT_UNITS;
        if (static_cast<std::uint64_t>(slots.size() + slotCount) * SLOT_UNITS > NO_TEXT) throw std::bad_alloc();
        blocks.emplace_back(slotCount * SLOT_UNITS);
        for (std::size_t slot = 0; slot < slotCount; ++slot)
            slots.push_back(
                {static_cast<std::uint32_t>(blocks.size() - 1), static_cast<std::uint32_t>(slot * SLOT_UNITS)});
    }
    const Slot& slot = slots[at / SLOT_UNITS];
    wchar_t* units = blocks[slot.block].data() + slot.start + at % SLOT_UNITS;
    const auto length = static_cast<std::uint32_t>(text.size());
    units[0] = static_cast<wchar_t>(length & 0xFFFF);
    units[1] = static_cast<wchar_t>(length >> UNIT_BITS);
    std::copy(text.begin(), text.end(), units + LENGTH_UNITS);
    used = static_cast<std::uint32_t>(at + needed);
    return static_cast<std::uint32_t>(at);
}

const wchar_t* RemoteEntryList::Units(std::uint32_t at) const
{
    const Slot& slot = slots[at / SLOT_UNITS];
    return blocks[slot.block].data() + slot.start + at % SLOT_UNITS;
}

std::wstring_view RemoteEntryList::TextAt(std::uint32_t at) const
{
    const wchar_t* units = Units(at);
    const std::uint32_t length = static_cast<std::uint16_t>(units[0]) |
                                 (static_cast<std::uint32_t>(static_cast<std::uint16_t>(units[1])) << UNIT_BITS);
    return {units + LENGTH_UNITS, length};
}

std::wstring_view RemoteEntryList::NameOf(const Row& row) const
{
    const std::wstring_view display = TextAt(row.displayAt);
    const std::uint32_t nameLength = row.nameLengthAndFlags & NAME_LENGTH_MASK;
    if (nameLength != SEPARATE_NAME) return display.substr(0, nameLength);
    return TextAt(static_cast<std::uint32_t>(row.displayAt + LENGTH_UNITS + display.size()));
}

std::wstring_view RemoteEntryList::NameAt(std::size_t index) const { return NameOf(rows[index]); }

std::wstring_view RemoteEntryList::DisplayNameAt(std::size_t index) const { return TextAt(rows[index].displayAt); }

void RemoteEntryList::Read(std::size_t index, RemoteEntry& entry) const
{
    const Row& row = rows[index];
    entry.isDirectory = (row.nameLengthAndFlags & DIRECTORY_FLAG) != 0 ? 1 : 0;
    entry.isLink = (row.nameLengthAndFlags & LINK_FLAG) != 0 ? 1 : 0;
    entry.size = row.size;
    entry.time = row.time;
    entry.directory = directory;
    entry.name = NameOf(row);
    entry.displayName = TextAt(row.displayAt);
    entry.attributes = TextAt(row.attributesAt);
    entry.owner = TextAt(row.ownerAt);
}

RemoteEntry RemoteEntryList::operator[](std::size_t index) const
{
    RemoteEntry entry;
    Read(index, entry);
    return entry;
}

void RemoteEntryList::Sort()
{
    // Keys in one contiguous array sort far faster than the rows in their blocks: the kind
    // and the first folded units of the name decide most comparisons without reaching the
    // text store. The rows are then rebuilt in key order.
    struct Key {
        std::uint64_t prefix[PREFIX_WORDS];
        std::uint32_t index;
        bool file;
    };
    std::vector<Key> keys(rows.size());
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const std::wstring_view name = NameOf(rows[index]);
        Key& key = keys[index];
        for (std::size_t word = 0; word < PREFIX_WORDS; ++word) {
            key.prefix[word] = 0;
            for (std::size_t unit = word * UNITS_PER_WORD; unit < (word + 1) * UNITS_PER_WORD; ++unit) {
                const wchar_t folded = unit < name.size() ? FoldAsciiUpper(name[unit]) : 0;
                key.prefix[word] = (key.prefix[word] << UNIT_BITS) | static_cast<std::uint16_t>(folded);
            }
        }
        key.index = static_cast<std::uint32_t>(index);
        key.file = (rows[index].nameLengthAndFlags & DIRECTORY_FLAG) == 0;
    }
    // A name shorter than the prefix is padded with zeros, which orders it before every
    // longer name it begins; equal prefixes fall back to the whole names.
    std::sort(keys.begin(), keys.end(), [this](const Key& a, const Key& b) {
        if (a.file != b.file) return b.file;
        for (std::size_t word = 0; word < PREFIX_WORDS; ++word)
            if (a.prefix[word] != b.prefix[word]) return a.prefix[word] < b.prefix[word];
        return CompareNamesNoCase(NameOf(rows[a.index]), NameOf(rows[b.index])) < 0;
    });
    std::deque<Row> sorted;
    for (const Key& key : keys)
        sorted.push_back(rows[key.index]);
    rows.swap(sorted);
}
