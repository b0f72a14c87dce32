#pragma once
// The remote list of a pane, as both programs show and run it: the session's listing as the
// rows of an owner-data list with the shell's icons, the path list of the current
// directory's ancestors, moving between directories, the file commands on the selected
// rows, Find, and the idle keep-alive. The view owns the window and its controls and binds
// them here once; which entries become rows is the view's choice (the desktop's filter
// bar), every entry by default.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "remotetools/FindDlg.h"
#include "session/ConnectionSession.h"
#include "session/RemoteRows.h"
#include "shell/ListCtrlEx.h"

// The idle keep-alive: restarted by every socket activity, so it fires only after this
// long without traffic.
constexpr UINT_PTR KEEPALIVE_TIMER = 345;
constexpr UINT KEEPALIVE_INTERVAL_MS = 30000;

// The file commands on the remote list's selection.
enum class RemoteCommand { NewDirectory, Rename, Delete, MoveTo, Properties, Chmod };

class RemoteListPane {
public:
    // accept: whether an entry becomes a row; fill: the view's own refill of the pane after
    // a new listing (which calls Fill).
    struct Binding {
        ConnectionSession* session = nullptr;
        HWND view = nullptr;  // receives the keep-alive timer
        HWND owner = nullptr; // of the dialogs
        HWND pathList = nullptr;
        std::function<void()> fill;
    };

    explicit RemoteListPane(CListCtrlEx& list) : list(list) {}
    void Bind(Binding binding);
    // The view shows the pane from now on: the keep-alive runs, and socket activity reaches
    // the view.
    void Start() const;
    // The view's window is going: activity no longer reaches it, the rows and icons go,
    // and the list is let go.
    void Release();

    // Empties the path list and the list and frees the icons.
    void Clear();
    // Rebuilds the path list and the rows from the session's entries that accept takes
    // (all without it). Asks the server nothing; while not connected the list stays empty.
    void Fill(const std::function<bool(const RemoteEntry&)>& accept = {});
    // Lists the current directory again and has the view refill; only while connected and
    // no job or copy of the shell has the engine.
    void Refresh();

    static constexpr std::size_t NO_ROW_ENTRY = static_cast<std::size_t>(-1);
    // The index in the session's entries of the entry a row shows; NO_ROW_ENTRY past the
    // last row.
    std::size_t RowEntry(int row) const;
    std::optional<RemoteEntry> EntryOfRow(int row) const;
    // The entries of the selected rows, in row order.
    std::vector<RemoteEntry> SelectedEntries() const;
    // Where a new directory or an upload goes: the first selected row's directory, or the
    // current directory. Empty while not connected.
    std::wstring TargetDirectory() const;
    // The row of a name, exactly as listed first, then ignoring case; -1 when none.
    int FindRow(const std::wstring& name) const;
    // The first row from start on (going on from the top when wrap is set) whose name is
    // the text, or begins with it when partial, without regard to case; -1 when none.
    int FindRowByText(int start, const std::wstring& text, bool partial, bool wrap) const;

    // Enters the directory and shows it; false when the server refused.
    bool EnterDirectory(const std::wstring& path);
    // The path list's selection changed: enters the chosen directory.
    void OnPathSelected();
    // The Enter Path prompt, from the current directory.
    void EnterPath();
    // Opens the first selected entry: enters a directory, opens a file with its program.
    void OpenSelected();
    // Shows the directory and selects the name's row there (the find tool's Goto).
    bool GoToItem(const std::wstring& directory, const std::wstring& name);
    void Run(RemoteCommand command);
    // The find tool, modal over the owner; the list shows what it deleted no longer.
    void Find(IFindOwner* findOwner);
    // The list asks for a row's texts and icon (owner data).
    void GetDisplayInfo(LVITEMW& item);

    // False while a job or the shell's copy has the connection: nothing is started on the
    // engine meanwhile, and the status bar says why.
    bool EngineAvailable() const;
    bool IsConnected() const;

    void SetKeepAliveInterval(UINT milliseconds);
    UINT KeepAliveInterval() const noexcept { return keepAliveIntervalMs; }
    // Every socket activity restarts the timer.
    void RestartKeepAlive() const;
    // The view's timer: true when it was the keep-alive's, which then ran.
    bool OnTimer(UINT_PTR id) const;

private:
    // The index in the session's entries of the row; none past the last row.
    std::optional<std::size_t> ListedRow(int row) const;

    CListCtrlEx& list;
    Binding binding;
    FileIconLists icons;
    // The entry index of every row, in row order.
    std::vector<std::size_t> rows;
    UINT keepAliveIntervalMs = KEEPALIVE_INTERVAL_MS;
};
