#pragma once
// The handheld program's one screen (form 101): a mode list at the top right chooses
// between the server's files and the device's own; each mode has its path list and its
// list. The view also holds a clipboard of its own, through which items copied in one
// list are pasted into the other as a download or an upload.
#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "OrletResource.h"
#include "commands/CommandTable.h"
#include "commands/LocalListPane.h"
#include "commands/RemoteListPane.h"
#include "framework/Controls.h"
#include "framework/FormView.h"
#include "remotetools/FindDlg.h"
#include "session/ConnectionSession.h"
#include "session/RemoteRows.h"
#include "shell/ListCtrlEx.h"
#include "transfer/TransferList.h"

class COrletDoc;

// The mode list's entries, in order: two modes, then three commands.
enum ModeEntry { MODE_REMOTE = 0, MODE_LOCAL = 1, MODE_SEPARATOR = 2, MODE_GO = 3, MODE_UP = 4 };
extern const std::array<const wchar_t*, 5> MODE_ENTRIES;

class COrletView : public fw::FormView, public IFindOwner {
public:
    COrletView();

    int Mode() const noexcept { return mode; }
    fw::ComboBox ModeList() const { return fw::ComboBox(Child(IDC_MODE_LIST).Handle()); }
    fw::ComboBox RemotePathList() const { return fw::ComboBox(Child(IDC_REMOTE_PATH).Handle()); }
    fw::ComboBox LocalPathList() const { return fw::ComboBox(Child(IDC_LOCAL_PATH).Handle()); }
    CListCtrlEx& RemoteList() noexcept { return remoteList; }
    CListCtrlEx& LocalList() noexcept { return localList; }
    // The text shown over the local list when its directory could not be listed.
    std::wstring LocalStatus() const { return local.StatusText(); }
    ListSide CopySource() const noexcept { return copySource; }
    // The list that has the keyboard focus.
    ListSide FocusedSide() const;
    CommandContext Context() const;

    // Lists the current local directory into the local list and its path list.
    void ListLocal() { local.List(); }
    // Lists the current remote directory again and shows it; only while connected.
    void RefreshRemote() { remote.Refresh(); }
    // Empties the remote path list and list and frees their icons (Disconnect).
    void ClearRemote() { remote.Clear(); }
    // The entries of the selected remote rows, in row order.
    std::vector<RemoteEntry> SelectedRemoteEntries() const { return remote.SelectedEntries(); }

    // IFindOwner: Goto shows the server's files with the item selected; Copy Selected
    // copies into the view's clipboard. The handheld shell has no drag and drop.
    bool GoToFoundItem(const std::wstring& directory, const std::wstring& name) override;
    void CopyEntries(const std::vector<RemoteEntry>& entries) override;
    void DragEntries(const std::vector<RemoteEntry>& entries) override;

    // The keep-alive timer's interval; restarts a running timer.
    void SetKeepAliveInterval(UINT milliseconds) { remote.SetKeepAliveInterval(milliseconds); }

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
    // The view's commands: each with its rule, handler and place in the context menus.
    static std::span<const CommandEntry<COrletView>> Commands();
    static const CommandEntry<COrletView>* FindCommand(UINT id) { return FindCommandEntry(Commands(), id); }
    void Copy();
    void Paste();
    void NewDirectory() { RunOnFocusedList(RemoteCommand::NewDirectory, &LocalListPane::NewDirectory); }
    void Rename() { RunOnFocusedList(RemoteCommand::Rename, &LocalListPane::Rename); }
    void Delete() { RunOnFocusedList(RemoteCommand::Delete, &LocalListPane::Delete); }
    void MoveTo() { RunOnFocusedList(RemoteCommand::MoveTo, &LocalListPane::MoveTo); }
    void Properties() { RunOnFocusedList(RemoteCommand::Properties, &LocalListPane::Properties); }
    void Chmod() { RunOnFocusedList(RemoteCommand::Chmod, nullptr); }
    void Find();
    template <UINT command> void ShowViewMode();
    void SetTempDirectory();
    void OpenHomePage();

    COrletDoc* Document() const;
    ConnectionSession* Session() const;
    HWND Owner() const;
    CListCtrlEx* FocusedList();

    void LayOut();
    void OnModeChosen();
    // A file command on the focused list; localCommand null: none on the local list.
    void RunOnFocusedList(RemoteCommand command, void (LocalListPane::*localCommand)());

    int mode = MODE_REMOTE;
    CListCtrlEx remoteList;
    CListCtrlEx localList;
    RemoteListPane remote{remoteList};
    LocalListPane local{localList};
    // The list that last had the keyboard focus; the view gives it back.
    CListCtrlEx* lastFocusedList = nullptr;
    std::unique_ptr<TransferList> clipboard;
    ListSide copySource = ListSide::None;
};
