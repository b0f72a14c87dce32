#pragma once
// The remote entries of one listed directory, held compactly: a listing of millions of
// entries has to fit a 32-bit process beside everything else. Each entry keeps its
// numbers in a 32-byte row; its texts sit in a shared text store, the directory once for
// the whole listing, and an attribute or owner text equal to the previous entry's is kept
// once. Rows and texts grow in blocks, never as one contiguous allocation. Callers see
// each entry as a RemoteEntry value, or read its name and kind without building one.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FTPDataTypes.h"

// The listing's size when it had none (all bits set), as the engine reports it.
constexpr std::uint64_t REMOTE_SIZE_UNKNOWN = nsFTP::SIZE_UNKNOWN;

// One listed remote entry.
struct RemoteEntry {
    std::uint32_t isDirectory = 0; // links are marked so too, so that opening one changes into it
    std::uint32_t isLink = 0;      // the attribute text begins with "l"
    std::uint64_t size = 0;        // REMOTE_SIZE_UNKNOWN when the listing had none
    FILETIME time = {};            // UTC
    std::uint32_t timeExact = 0;   // the listing gave the instant (MLSD), not a calendar time
    std::wstring directory;        // where the entry was listed
    std::wstring name;             // for a link, the text before " -> "
    std::wstring displayName;      // as listed, link target included
    std::wstring attributes;
    std::wstring owner;
};

// Directories first, then names compared without regard to case (A-Z folded to a-z).
bool RemoteEntryLess(const RemoteEntry& a, const RemoteEntry& b);
// The entry for one listed record; the listing's calendar time is taken as local time.
RemoteEntry MakeRemoteEntry(const nsFTP::CFTPFileStatus& status);
// The listing's seconds since 1970, read as a local calendar time, as a UTC file time.
FILETIME ListedTimeToFileTime(std::int64_t listedSeconds);

class RemoteEntryList {
public:
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = RemoteEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = RemoteEntry;

        const_iterator(const RemoteEntryList* listing, std::size_t index) : listing(listing), index(index) {}
        RemoteEntry operator*() const { return (*listing)[index]; }
        const_iterator& operator++()
        {
            ++index;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index == other.index; }

    private:
        const RemoteEntryList* listing;
        std::size_t index;
    };
    using iterator = const_iterator;
    using value_type = RemoteEntry;
    using size_type = std::size_t;

    RemoteEntryList() = default;
    // A listing of the directory, empty.
    explicit RemoteEntryList(std::wstring directory) : directory(std::move(directory)) {}
    // The entries, in their order; they are taken as listed in the first one's directory.
    RemoteEntryList(std::initializer_list<RemoteEntry> entries);
    RemoteEntryList(const std::vector<RemoteEntry>& entries);

    std::size_t size() const noexcept { return rows.size(); }
    bool empty() const noexcept { return rows.empty(); }
    void clear();
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, rows.size()}; }

    RemoteEntry operator[](std::size_t index) const;
    // Fills the entry with the index's values; reusing one entry this way allocates only
    // when a text outgrows what it held.
    void Read(std::size_t index, RemoteEntry& entry) const;
    std::wstring_view NameAt(std::size_t index) const;
    std::wstring_view DisplayNameAt(std::size_t index) const;
    bool IsDirectoryAt(std::size_t index) const { return (rows[index].nameLengthAndFlags & DIRECTORY_FLAG) != 0; }
    const std::wstring& Directory() const noexcept { return directory; }

    // Adds the record as an entry of this listing's directory (its own path is not kept).
    void Add(const nsFTP::CFTPFileStatus& status);
    // Adds the entry; the first one added to an empty listing sets its directory.
    void push_back(const RemoteEntry& entry);
    // Orders the entries by RemoteEntryLess.
    void Sort();

private:
    static constexpr std::uint32_t NO_TEXT = 0xFFFFFFFF;
    static constexpr std::uint32_t DIRECTORY_FLAG = 1u << 31;
    static constexpr std::uint32_t LINK_FLAG = 1u << 30;
    static constexpr std::uint32_t NAME_LENGTH_MASK = LINK_FLAG - 1;
    // A name that is no prefix of the display text is held after it, with this length.
    static constexpr std::uint32_t SEPARATE_NAME = NAME_LENGTH_MASK;
    // The text store is addressed in units of wchar_t, in slots of this many units.
    static constexpr std::size_t SLOT_UNITS = 64 * 1024;
    // A text is held as its length in two units, then its units.
    static constexpr std::size_t LENGTH_UNITS = 2;

    struct Row {
        std::uint64_t size;
        FILETIME time;
        std::uint32_t displayAt;
        std::uint32_t attributesAt;
        std::uint32_t ownerAt;
        std::uint32_t nameLengthAndFlags;
    };
    // Where a slot's units begin: a block holds one slot, or several for a text longer
    // than one slot, so that every text is contiguous.
    struct Slot {
        std::uint32_t block;
        std::uint32_t start;
    };

    void AddRow(std::uint64_t size, FILETIME time, bool isDirectory, bool isLink, std::wstring_view display,
                std::wstring_view name, std::wstring_view attributes, std::wstring_view owner);
    std::uint32_t StoreText(std::wstring_view text);
    std::uint32_t StoreRepeatable(std::wstring_view text, std::uint32_t& last);
    std::wstring_view TextAt(std::uint32_t at) const;
    const wchar_t* Units(std::uint32_t at) const;
    std::wstring_view NameOf(const Row& row) const;

    std::wstring directory;
    std::deque<Row> rows;
    std::vector<std::vector<wchar_t>> blocks;
    std::vector<Slot> slots;
    std::uint32_t used = 0; // units of the store taken, every slot before the last one full
    std::uint32_t lastAttributesAt = NO_TEXT;
    std::uint32_t lastOwnerAt = NO_TEXT;
};
