#pragma once
// The find tool's search, without a window: name matching and the walk of a remote tree.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "session/ConnectionSession.h"
#include "transfer/TransferList.h"

// Directories more than this many levels below the start are not listed, as in every walk.
constexpr std::uint32_t MAX_FIND_DEPTH = MAX_TREE_DEPTH;

struct FindOptions {
    std::wstring text; // trimmed, never empty
    bool matchCase = false;
    bool wholeWord = false;
    bool searchSubdirectories = true;
};

// Whether the name holds the find text: a plain substring, lower-cased on both sides unless
// matchCase; with wholeWord only an occurrence bounded on each side by the name's end, a
// punctuation or a white-space character counts.
bool FindTextMatches(const std::wstring& text, const std::wstring& name, bool matchCase, bool wholeWord);
// The typed text without white space at either end; empty when nothing is left or the text
// holds a line break, which no name can.
std::wstring PrepareFindText(const std::wstring& typed);

enum class FindEnd { Finished, Stopped, Disconnected, OutOfMemory };

struct FindOutcome {
    FindEnd end = FindEnd::Finished;
    std::uint64_t entriesVisited = 0;
    std::uint32_t loopsCut = 0;  // links into a directory the search had already listed
    std::uint32_t depthsCut = 0; // directories MAX_FIND_DEPTH levels down, not listed
};

// Walks the entries depth-first (a directory's contents right after it) and hands every
// match to found. Each directory is listed once, a link to a directory known by the path the
// server names inside it; a listing that fails is skipped. stopEvent is polled without
// waiting before each entry; status gets the path of each entry visited. Runs on the
// caller's thread and uses the session's engine throughout.
FindOutcome SearchRemote(ConnectionSession& session, const std::wstring& directory, const RemoteEntryList& entries,
                         const FindOptions& options, HANDLE stopEvent,
                         const std::function<void(const RemoteEntry&)>& found,
                         const std::function<void(const std::wstring&)>& status);
