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
#include "commands/RemoteListPane.h"
#include "framework/Controls.h"
#include "framework/FormView.h"
#include "remotetools/FindDlg.h"
#include "resource.h"
#include "session/ConnectionSession.h"
#include "session/RemoteRows.h"
#include "shell/FileListColumns.h"
#include "shell/ListCtrlEx.h"

constexpr int LIST_COLUMN_COUNT = REMOTE_LIST_COLUMNS;

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
    static constexpr std::size_t NO_ROW_ENTRY = RemoteListPane::NO_ROW_ENTRY;
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
    // What the shell sees of the pane's latest Copy or drag; null before the first.
    CMyDataSource* DataSource() const { return dataSource.Get(); }
    fw::OleDropTarget& DropTarget() const { return *dropTarget.Get(); }

    // The keep-alive timer's interval; restarts a running timer.
    void SetKeepAliveInterval(UINT milliseconds);
    UINT KeepAliveInterval() const noexcept { return pane.KeepAliveInterval(); }

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
    ConnectionSession* Session() const;
    bool IsConnected() const;
    HWND Owner() const;
    void GoUp();
    void OnListKey(WORD key);
    // The view's commands: each with its rule, handler and place in the context menu.
    static std::span<const CommandEntry<COrvidView>> Commands();
    static const CommandEntry<COrvidView>* FindCommand(UINT id) { return FindCommandEntry(Commands(), id); }
    CommandContext Context() const;
    void NewDirectory() { pane.Run(RemoteCommand::NewDirectory); }
    void Rename() { pane.Run(RemoteCommand::Rename); }
    void Delete() { pane.Run(RemoteCommand::Delete); }
    void MoveTo() { pane.Run(RemoteCommand::MoveTo); }
    void Properties() { pane.Run(RemoteCommand::Properties); }
    void Chmod() { pane.Run(RemoteCommand::Chmod); }
    void EnterPath() { pane.EnterPath(); }
    template <UINT command> void ShowViewMode();
    void SetTempDirectory();
    void OpenOverview();
    void OpenManual();
    void OpenHomePage();
    // False, with a word in the status bar, while the shell's copy or a job has the
    // connection: the window starts nothing on the engine meanwhile.
    bool EngineAvailable();
    void Copy();
    void Paste();
    void BeginDrag();
    // A new data object for the entries, or null while the window can't offer them.
    fw::ComPtr<CMyDataSource> NewOffer(const std::vector<RemoteEntry>& entries);
    // Edit > Find: the find tool, modal over the frame.
    void Find();
    void Upload(std::unique_ptr<TransferList> items);
    void DownloadTo();
    void UploadFiles();

    CListCtrlEx list;
    RemoteListPane pane{list};
    std::shared_ptr<OfferLink> offerLink = std::make_shared<OfferLink>();
    fw::ComPtr<CMyDataSource> dataSource;
    fw::ComPtr<CMyDataSource> clipboardSource; // the latest Copy's
    fw::ComPtr<CMyDropTarget> dropTarget;
};
