#pragma once
// Local trees, the record of what a job's dialog showed, and running a job, for the
// transfer tests.
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/Text.h"
#include "transfer/TransferList.h"

class ConnectionSession;

namespace transfertests {

namespace fs = std::filesystem;

using testsupport::Wide;

// A fresh directory under the temporary directory, removed with everything in it.
class LocalDirectory {
public:
    LocalDirectory();
    ~LocalDirectory();
    LocalDirectory(const LocalDirectory&) = delete;
    LocalDirectory& operator=(const LocalDirectory&) = delete;
    const fs::path& Path() const { return path; }

private:
    fs::path path;
};

// Writes size pseudo-random bytes (a function of seed), creating missing parents.
void WriteBytes(const fs::path& path, std::size_t size, unsigned seed);
std::string ReadBytes(const fs::path& path);
// Every entry below root by its "/" joined relative name: "dir" for a directory, else the
// size and a hash of the content.
std::map<std::wstring, std::string> Snapshot(const fs::path& root);
// The names in one directory as the file system spells them, sorted.
std::vector<std::wstring> ExactNames(const fs::path& directory);

// What the progress dialog of a job showed, seen from hooks on this thread: every name the
// worker posted, and the texts, bar and title when the dialog closed.
class ProgressRecorder {
public:
    ProgressRecorder();
    ~ProgressRecorder();
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    // Runs once, on this thread, when the first position of the job reaches the dialog.
    std::function<void(HWND dialog)> onFirstPosition;
    // Runs on this thread for every name the worker posts (a file it has begun to move).
    std::function<void(HWND dialog, const std::wstring& name)> onName;

    std::vector<std::wstring> names;
    std::wstring title;
    std::wstring finalName;
    std::wstring finalCount;
    int finalPosition = -1;
    int finalRangeHigh = -1;
    bool closed = false;

private:
    static LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OnCallWindow(int code, WPARAM wParam, LPARAM lParam);

    HHOOK getMessageHook = nullptr;
    HHOOK callWindowHook = nullptr;
    bool positionSeen = false;
};

// Runs the job modally on this thread; DoModal's result.
INT_PTR RunJob(ConnectionSession* session, std::unique_ptr<TransferList> list, const std::wstring& target, UINT kind);

// A list of top-level items given as full paths on their side; names are the last parts.
std::unique_ptr<TransferList> LocalList(const std::vector<fs::path>& paths);
std::unique_ptr<TransferList> RemoteList(ConnectionSession* owner,
                                         const std::vector<std::pair<std::wstring, bool>>& pathsAndDirectoryFlags,
                                         const std::vector<std::uint64_t>& sizes = {});

} // namespace transfertests
