#pragma once
// The remote pane's form (dialog 101): the folder row and the list of the current remote
// directory, shown through the filter bar's rules. The controls follow the window's size
// instead of scrolling.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "MyDataSource.h"
#include "MyDropTarget.h"
#include "commands/CommandTable.h"
#include "framework/Controls.h"
#include "framework/FormView.h"
#include "remotetools/FindDlg.h"
#include "resource.h"
#include "session/ConnectionSession.h"
#include "session/RemoteRows.h"
#include "shell/ListCtrlEx.h"

struct ListColumn {
    const wchar_t* header;
    int width;
    int format;
};

constexpr int LIST_COLUMN_COUNT = 5;
extern const std::array<ListColumn, LIST_COLUMN_COUNT> LIST_COLUMNS;

// The idle keep-alive: restarted by every socket activity, so it fires only after this
// long without traffic.
constexpr UINT_PTR KEEPALIVE_TIMER = 345;
constexpr UINT KEEPALIVE_INTERVAL_MS = 30000;

class COrvidView : public fw::FormView, public IFindOwner {
public:
    COrvidView();

    CListCtrlEx& List() noexcept { return list; }
    const CListCtrlEx& List() const noexcept { return list; }
    fw::ComboBox FolderCombo() const { return fw::ComboBox(Child(IDC_FOLDER_COMBO).Handle()); }
    // The list's view-mode bits: LVS_ICON, LVS_REPORT or LVS_LIST.
    DWORD GetViewMode() const;
    void SetViewMode(DWORD mode);
    // A column's width in pixels in any view mode (the header keeps it).
    int ColumnWidth(int column) const;

    // Rebuilds the folder combo, the rows and the status counts from the session's
    // entries, through the filter bar's rules. Asks the server nothing. While not
    // connected the pane stays empty.
    void FillPane();
    // The index in the session's entries of the entry a row shows; NO_ROW_ENTRY past the
    // last row.
    static constexpr std::size_t NO_ROW_ENTRY = static_cast<std::size_t>(-1);
    std::size_t RowEntry(int row) const;
    // Lists the current directory again and fills the pane; only while connected.
    void Refresh();
    // Empties the folder combo and the list and frees the icons (Disconnect).
    void ClearPane();
    // Whether the filter bar's rules let the entry become a row. While all types are
    // shown, its extension is collected in the type combo.
    bool MatchesFilter(const RemoteEntry& entry) const;
    // Where a new directory or an upload goes: the first selected row's directory, or
    // the current directory. Empty while not connected.
    std::wstring TargetDirectory();
    // The entries of the selected rows, in row order.
    std::vector<RemoteEntry> SelectedEntries() const;
    // Shows the directory and selects the row of the name in it (the find tool's Goto).
    // False when the directory could not be entered or the name has no row.
    bool GoToFoundItem(const std::wstring& directory, const std::wstring& name) override;
    // The find tool's Copy Selected and drags: the pane's own Copy and drag of these entries.
    void CopyEntries(const std::vector<RemoteEntry>& entries) override;
    void DragEntries(const std::vector<RemoteEntry>& entries) override;

    // Connect and Disconnect: the list's context menu follows, and the list takes drops
    // from the shell only while connected.
    void SetConnected(bool connected);
    // What the shell sees of the pane's Copy and drags.
    CMyDataSource& DataSource() const { return *dataSource.Get(); }
    fw::OleDropTarget& DropTarget() const { return *dropTarget.Get(); }

    // The keep-alive timer's interval; restarts a running timer.
    void SetKeepAliveInterval(UINT milliseconds);
    UINT KeepAliveInterval() const noexcept { return keepAliveIntervalMs; }

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(fw::CommandState& state) override;

protected:
    void OnInitialUpdate() override;
    void OnSize(UINT type, int width, int height) override;
    void OnTimer(UINT_PTR id) override;
    bool OnCommand(UINT id, UINT code) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void LayOut();
    void RestartKeepAlive();
    ConnectionSession* Session() const;
    bool IsConnected() const;
    HWND Owner() const;
    void FreeImageLists();
    void FillFolderCombo(ConnectionSession& session);
    // Enters the directory and shows it; false when the server refused.
    bool EnterDirectory(const std::wstring& path);
    void OnFolderSelected();
    void GoUp();
    void EnterPath();
    void OpenSelectedEntry();
    void OnListKey(WORD key);
    // Runs a file command on the selection and shows the directory again when the
    // command may have changed it.
    void RunFileCommand(UINT id);
    // The view's commands: each with its rule and handler.
    static const CommandEntry<COrvidView>* FindCommand(UINT id);
    CommandContext Context() const;
    void NewDirectory() { RunFileCommand(ID_FILE_NEW_DIRECTORY); }
    void Rename() { RunFileCommand(ID_FILE_RENAME); }
    void Delete() { RunFileCommand(ID_FILE_DELETE); }
    void MoveTo() { RunFileCommand(ID_FILE_MOVE_TO); }
    void Properties() { RunFileCommand(ID_FILE_PROPERTIES); }
    void Chmod() { RunFileCommand(ID_TOOLS_CHMOD); }
    void ShowIcons() { SetViewMode(LVS_ICON); }
    void ShowList() { SetViewMode(LVS_LIST); }
    void ShowDetails() { SetViewMode(LVS_REPORT); }
    void SetTempDirectory();
    void OpenOverview();
    void OpenManual();
    void OpenHomePage();
    int FindRow(const std::wstring& name) const;
    // The first row from start on (going on from the top when wrap is set) whose name is
    // the text, or begins with it when partial, without regard to case; -1 when none.
    int FindRowByText(int start, const std::wstring& text, bool partial, bool wrap) const;
    // The list holds no rows of its own (owner data): it asks for what it shows.
    void GetDisplayInfo(LVITEMW& item);
    const RemoteEntry* EntryOfRow(int row) const;
    // False, with a word in the status bar, while the shell's copy or a job has the
    // connection: the window starts nothing on the engine meanwhile.
    bool EngineAvailable();
    void Copy();
    void Paste();
    void BeginDrag();
    // Edit > Find: the find tool, modal over the frame.
    void Find();
    void Upload(std::unique_ptr<TransferList> items);
    void DownloadTo();
    void UploadFiles();

    CListCtrlEx list;
    FileIconLists icons;
    // The entry index of every row, in row order: one pass of the filter builds it.
    std::vector<std::size_t> rows;
    fw::ComPtr<CMyDataSource> dataSource;
    fw::ComPtr<CMyDropTarget> dropTarget;
    UINT keepAliveIntervalMs = KEEPALIVE_INTERVAL_MS;
};
