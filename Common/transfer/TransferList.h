#pragma once
// The files and directories one multi-item operation works on. The caller adds the items
// the user chose (plain name, full path on their own side); the list can then add the
// contents of every directory item, breadth-first, from the local file system or from the
// server. Items are only ever appended.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ConnectionSession;
struct RemoteEntry;

// The longest name and path an item takes, terminator included: the shell's descriptors
// hold names of this many characters, and no file system takes longer paths.
constexpr std::size_t TRANSFER_NAME_CHARS = 260;
constexpr std::size_t TRANSFER_PATH_CHARS = 4096;
// Tree walks list directories down to this many levels below the caller's items.
constexpr std::uint32_t MAX_TREE_DEPTH = 64;
// The most items, left-out entries included, that one job or one offer to the shell
// holds; a larger selection or tree is refused whole, before anything is done with it.
constexpr std::uint64_t MAX_TRANSFER_ITEMS = 200000;
extern const wchar_t* const TRANSFER_TOO_LARGE_TEXT;

struct TransferItem {
    std::uint32_t isDirectory;
    std::uint64_t size; // 0 when sizeUnknown
    FILETIME lastWrite; // UTC
    // Relative name: the plain name for a top-level item; below it the names from the
    // top-level directory down, joined by "/" on both sides.
    std::wstring name;
    // Full path on the item's own side: "\" separated for local items, "/" for remote ones.
    std::wstring path;
    std::uint32_t fileIndex; // fileCount when the item was added
    std::uint32_t itemIndex; // itemCount when the item was added
    std::uint32_t expanded;  // set once a directory's children were added
    // A symbolic link (remote: listed with "l"; local: a reparse point such as a junction).
    // A remote link counts as a directory only once the walk could change into it.
    std::uint32_t isLink;
    // The listing gave no size (or the item is a link to a file, whose listed size is the
    // link's own): the size counts as 0 in totals and progress, and a download of the item
    // is not checked against a byte count.
    std::uint32_t sizeUnknown;
    std::uint32_t depth; // levels below the caller's item, 0 for the caller's own
    // A link to a directory the walk had already visited: neither listed again nor made
    // on the other side.
    std::uint32_t isLoop;
    // Set by a download's replace prompt: the user agreed to replace what the destination
    // holds under this name.
    std::uint32_t replace;
    // Set by the replace prompt's Resume: a download goes on from its partial file, an
    // upload from the size the server's copy has.
    std::uint32_t resume;
    // lastWrite is the server's exact instant (MLSD), good enough to give the local copy.
    std::uint32_t timeExact;
    TransferItem* next;
};

enum class LeftOutReason {
    Name,  // does not fit an item, or is not allowed as a name on the receiving side
    Loop,  // a link back to a directory the walk already holds
    Depth, // a directory MAX_TREE_DEPTH levels down, whose contents were not listed
};

// An entry that the list left out, or a directory whose contents it left out.
struct LeftOutEntry {
    std::wstring name;
    std::wstring path;
    LeftOutReason reason = LeftOutReason::Name;
};

struct TransferList {
    TransferList() = default;
    TransferList(const TransferList&) = delete;
    TransferList& operator=(const TransferList&) = delete;
    ~TransferList();

    // Lists remote directories for ExpandRemote; null for a list of local items.
    ConnectionSession* owner = nullptr;
    TransferItem* head = nullptr;
    TransferItem* tail = nullptr;
    std::uint64_t totalBytes = 0; // sizes of every item added, directories included
    std::uint64_t fileCount = 0;
    std::uint64_t itemCount = 0;
    TransferItem* cursor = nullptr;
    TransferItem* nextCursor = nullptr;
    // What AddItem refused, in the order it was offered; the job reports these once.
    std::vector<LeftOutEntry> leftOut;
    // Cleared for a delete: listing a link lists what it points to, and deleting those
    // contents would destroy data outside the chosen tree. A link is then removed itself.
    bool followLinks = true;
    // When set and signalled, the expansion stops before the next directory (a cancelled job).
    HANDLE stopEvent = nullptr;
    // Set for a download: a listed name that IsUsableLocalName refuses is left out of the
    // remote expansion, and nothing below it is listed.
    bool localNames = false;
    // Set once AddItem refused an item past MAX_TRANSFER_ITEMS; the expansion stops there,
    // and the list is incomplete.
    bool tooLarge = false;
};

// Returns the new item, or null when the name (>= 260 chars) or path (>= 4096) does not
// fit, recorded as left out, or when the list is full, which sets tooLarge. REMOTE_SIZE_UNKNOWN marks the item's size
// unknown and adds nothing to the totals.
TransferItem* AddItem(std::uint64_t size, TransferList* list, bool isDirectory, const std::wstring& name,
                      const std::wstring& path, DWORD lastWriteLow, DWORD lastWriteHigh);
// Adds one local file or directory that the user chose, with its attributes as the file
// system gave them. A reparse point (a junction, a directory or file link) is marked as a
// link, so that a delete removes the link itself and never lists what it points to.
TransferItem* AddLocalItem(TransferList* list, const std::wstring& name, const std::wstring& path, DWORD attributes,
                           std::uint64_t size, const FILETIME& lastWrite);
// Adds the local files and directories the user chose in the shell (a drop, a paste, the
// open dialog), each with its own name, size, time and kind. A path that cannot be found
// is skipped, and so is one without a name of its own (a drive's root).
void AddLocalPaths(TransferList* list, const std::vector<std::wstring>& paths);
// Remote entries as a list of the session's, each with its full remote path and its link
// mark; the session lists their directories when the list is expanded. localNames sets the
// list's flag and also leaves out (recorded) the entries themselves whose names
// IsUsableLocalName refuses: for an offer to the shell, which joins the names as given.
std::unique_ptr<TransferList> MakeTransferList(ConnectionSession& session, const std::vector<RemoteEntry>& entries,
                                               bool localNames = false);
// Frees every item and resets the counters and the record of what was left out.
void ClearList(TransferList* list);
// The list's own iteration (one at a time per list); filesOnly skips directory items.
TransferItem* FirstItem(TransferList* list, bool filesOnly);
TransferItem* NextItem(TransferList* list, bool filesOnly);
// Adds the contents of every directory item, from the local file system or through the
// owner's listing: the caller's items first, then the children of the first directory,
// then those of the second, grandchildren after all children. "." and ".." are skipped.
// Links are expanded only while followLinks is set; a remote link that can't be entered
// becomes a file of unknown size. Each directory is listed once, however many links lead
// to it (remote: a link is known by the path PWD names after changing into it, and the
// items below it take that path; a directory by its listed path; local: by volume and
// file ID), and none MAX_TREE_DEPTH levels down is listed; both are recorded in leftOut.
void ExpandLocal(TransferList* list);
void ExpandRemote(TransferList* list);
