#include "remotetools/FindWalk.h"

#include <cwctype>
#include <unordered_set>

#include "shell/Format.h"
#include "transfer/RemoteListing.h"

namespace {

constexpr int REPLY_SUCCESS = 0;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool IsWordBoundary(wchar_t c) { return std::iswpunct(c) || std::iswspace(c); }

class Walk {
public:
    Walk(ConnectionSession& session, const FindOptions& options, HANDLE stopEvent,
         const std::function<void(const RemoteEntry&)>& found, const std::function<void(const std::wstring&)>& status)
        : session(session), listing(session), options(options), stopEvent(stopEvent), found(found), status(status)
    {
    }

    // False once the walk must end (a stop, a closed connection).
    bool Visit(const RemoteEntry& entry, std::uint32_t depth)
    {
        if (WaitForSingleObject(stopEvent, 0) != WAIT_TIMEOUT) {
            outcome.end = FindEnd::Stopped;
            return false;
        }
        ++outcome.entriesVisited;
        const std::wstring shown = JoinRemotePath(entry.directory, entry.displayName);
        status(shown);
        if (FindTextMatches(options.text, entry.displayName, options.matchCase, options.wholeWord)) found(entry);
        if (entry.isDirectory == 0 || !options.searchSubdirectories) return true;
        return Descend(JoinRemotePath(entry.directory, entry.name), entry.isLink != 0, depth + 1);
    }

    bool Descend(const std::wstring& path, bool link, std::uint32_t depth)
    {
        if (!session.IsConnected()) return Disconnected();
        if (depth > MAX_FIND_DEPTH) {
            ++outcome.depthsCut;
            return true;
        }
        std::vector<nsFTP::FileStatusPtr> records;
        bool listed = false;
        if (link) {
            // A link is a directory only if the server lets us in, and it is known by where
            // it led, so that a loop of links is listed once.
            std::wstring resolved;
            if (!listing.Enter(path, resolved)) return session.IsConnected() || Disconnected();
            if (!visited.insert(resolved).second) {
                ++outcome.loopsCut;
                return true;
            }
            listed = listing.ListEntered(records);
        } else {
            if (!visited.insert(path).second) {
                ++outcome.loopsCut;
                return true;
            }
            listed = listing.List(path, records);
        }
        if (!session.IsConnected()) return Disconnected();
        // A directory the server refuses to list is skipped; a closed connection was caught
        // just above.
        if (!listed) return true;
        for (const nsFTP::FileStatusPtr& record : records) {
            const std::wstring& listedName = record->name;
            if (listedName == L"." || listedName == L"..") continue;
            RemoteEntry child = MakeRemoteEntry(*record);
            child.directory = path;
            if (!Visit(child, depth)) return false;
        }
        return true;
    }

    bool Disconnected()
    {
        outcome.end = FindEnd::Disconnected;
        return false;
    }

    void Start(const std::wstring& directory) { visited.insert(directory); }

    FindOutcome outcome;

private:
    ConnectionSession& session;
    RemoteListing listing;
    const FindOptions& options;
    HANDLE stopEvent;
    const std::function<void(const RemoteEntry&)>& found;
    const std::function<void(const std::wstring&)>& status;
    std::unordered_set<std::wstring> visited;
};

} // namespace

bool FindTextMatches(const std::wstring& text, const std::wstring& name, bool matchCase, bool wholeWord)
{
    if (text.empty()) return false;
    const std::wstring needle = matchCase ? text : Lower(text);
    const std::wstring haystack = matchCase ? name : Lower(name);
    // An occurrence that is no whole word is passed over as a whole, not one character on.
    for (std::size_t at = haystack.find(needle); at != std::wstring::npos;
         at = haystack.find(needle, at + needle.size())) {
        if (!wholeWord) return true;
        const std::size_t after = at + needle.size();
        const bool startsWord = at == 0 || IsWordBoundary(haystack[at - 1]);
        const bool endsWord = after == haystack.size() || IsWordBoundary(haystack[after]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

std::wstring PrepareFindText(const std::wstring& typed)
{
    if (typed.find_first_of(L"\r\n") != std::wstring::npos) return {};
    std::size_t first = 0;
    std::size_t last = typed.size();
    while (first < last && std::iswspace(typed[first]))
        ++first;
    while (last > first && std::iswspace(typed[last - 1]))
        --last;
    return typed.substr(first, last - first);
}

FindOutcome SearchRemote(ConnectionSession& session, const std::wstring& directory, const RemoteEntryList& entries,
                         const FindOptions& options, HANDLE stopEvent,
                         const std::function<void(const RemoteEntry&)>& found,
                         const std::function<void(const std::wstring&)>& status)
{
    Walk walk(session, options, stopEvent, found, status);
    walk.Start(directory);
    for (RemoteEntry entry : entries) {
        // The pane's entries were listed in the current directory.
        if (entry.directory.empty()) entry.directory = directory;
        if (!walk.Visit(entry, 0)) break;
    }
    return walk.outcome;
}
