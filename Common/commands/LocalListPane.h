#pragma once
// The local list of a pane, as the handheld program shows and runs it: a browser's entries
// as the rows of an owner-data list with their own icons, the path list of the current
// directory's ancestors, moving between directories, and the file commands on the selected
// rows. The view owns the window and its controls and binds them here once, as it does
// for RemoteListPane.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "session/ConnectionSession.h"
#include "session/RemoteRows.h"
#include "shell/ListCtrlEx.h"
#include "shell/LocalBrowser.h"

struct TransferList;

class LocalListPane {
public:
    struct Binding {
        ConnectionSession* session = nullptr; // owns the delete and move jobs
        LocalBrowser* browser = nullptr;
        HWND owner = nullptr; // of the dialogs
        HWND pathList = nullptr;
        // The text over the list when its directory could not be listed.
        HWND status = nullptr;
        // Whether the pane is the one on screen: the status text shows only then.
        std::function<bool()> shown;
    };

    explicit LocalListPane(CListCtrlEx& list) : list(list) {}
    void Bind(Binding binding);
    LocalBrowser* Browser() const noexcept { return binding.browser; }

    // Lists the browser's current directory into the list and the path list.
    void List();
    // The view's window is going: the list is let go and the icons freed.
    void Release();
    std::wstring StatusText() const;

    // The positions in the browser's entries of the selected rows.
    std::vector<int> SelectedEntries() const;
    // Adds the entries at these positions to a transfer list, each with its full path.
    void AddEntries(TransferList* items, const std::vector<int>& entries) const;
    // Where a new directory or a paste goes: the first selected row's directory, or the
    // current directory.
    std::wstring TargetDirectory() const;

    // The path list's selection changed: lists the chosen directory.
    void OnPathSelected();
    // The Enter Path prompt, from the current directory.
    void EnterPath();
    // Opens the first selected entry: lists a directory, opens a file with its program.
    void OpenSelected();
    // The list asks for a row's texts and icon (owner data).
    void GetDisplayInfo(LVITEMW& item);

    // The file commands on the selection; each lists the directory again after a change.
    void NewDirectory();
    void Rename();
    void Delete();
    void MoveTo();
    void Properties();

private:
    std::wstring EntryPath(int entry) const;
    void ShowStatus(const std::wstring& text) const;
    // A job on the entries, modal over the owner; the list follows what it did.
    void RunJob(const std::vector<int>& entries, const std::wstring& target, UINT jobType);

    CListCtrlEx& list;
    Binding binding;
    FileIconLists icons;
    // Each entry's icon index once asked; NO_ICON_YET before.
    std::vector<int> iconIndexes;
};
