#pragma once
// The find tool (dialog 139, "Find"): searches the server by name from the remote pane's
// current directory, optionally through every subdirectory, on a worker thread while the
// dialog stays responsive. The worker never calls into the dialog: it appends its matches
// to a buffer and posts one message while none is waiting, and does the same with the path
// it is looking at, so a search of tens of thousands of entries costs the dialog a handful
// of messages. The results list is an owner-data list view drawn from the results.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "remotetools/FindWalk.h"
#include "session/ConnectionSession.h"

// What the dialog needs of the remote pane that opened it.
class IFindOwner {
public:
    // Shows the directory in the pane and selects the name there; false when it could not.
    virtual bool GoToFoundItem(const std::wstring& directory, const std::wstring& name) = 0;
    // Offers the entries to the clipboard, or drags them out, as the pane's own Copy and drag do.
    virtual void CopyEntries(const std::vector<RemoteEntry>& entries) = 0;
    virtual void DragEntries(const std::vector<RemoteEntry>& entries) = 0;

protected:
    ~IFindOwner() = default;
};

// Posted by the worker to the dialog; wParam says what is waiting.
constexpr UINT WM_FIND_PROGRESS = WM_USER + 102;
constexpr WPARAM FIND_PROGRESS_FOUND = 0;  // matches wait in the buffer
constexpr WPARAM FIND_PROGRESS_STATUS = 1; // a newer path to show
constexpr WPARAM FIND_PROGRESS_DONE = 2;   // the walk has ended by itself

// Timer 1 ends the dialog and timer 2 returns to idle, each once the worker has ended.
constexpr UINT_PTR FIND_CLOSE_TIMER = 1;
constexpr UINT_PTR FIND_STOP_TIMER = 2;
constexpr UINT FIND_TIMER_MS = 100;

enum class FindState { Idle = 0, Searching = 1, Stopping = 2, Finished = 3 };

// The status line's texts at the end of a search that did not see everything.
extern const wchar_t* const FIND_DISCONNECTED_TEXT;
extern const wchar_t* const FIND_LOOPS_TEXT;
extern const wchar_t* const FIND_DEPTH_TEXT;
// The status line's text when Find or Delete Selected needs the connection and it is gone.
extern const wchar_t* const FIND_NOT_CONNECTED_TEXT;

class CFindDlg : public fw::Dialog {
public:
    CFindDlg(IFindOwner* ownerView, ConnectionSession& connection);
    ~CFindDlg() override;

    // Set once Delete Selected has run: the pane shows old entries until refreshed.
    bool deleted = false;
    std::vector<RemoteEntry> results;
    std::wstring findText;
    bool searchSubdirectories = true;
    bool matchCase = false;
    bool wholeWord = false;
    // The item Goto went to, for the pane to select again after a refresh.
    std::wstring gotoDirectory;
    std::wstring gotoName;

    FindState State() const noexcept { return state; }
    // The last walk's own figures (entries visited, what was cut), once it ended.
    const FindOutcome& LastOutcome() const noexcept { return outcome; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(fw::DataExchange& exchange) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnFinalMessage() override;

private:
    fw::ListView Results() const;

    void FindOrStop();
    void StartSearch();
    bool WorkerEnded() const;
    void StopWorker();
    // Forgets the ended worker and brings the buttons back; status is the line's new text.
    void ReturnToIdle(FindState next, const std::wstring& status);
    void EnableResultButtons(bool enable);
    bool Busy() const noexcept { return state == FindState::Searching || state == FindState::Stopping; }
    void TakeFound();
    void ShowStatus();
    void GetDisplayInfo(NMLVDISPINFOW& info);
    int IconFor(const RemoteEntry& entry);
    std::vector<int> SelectedRows() const;
    std::vector<RemoteEntry> SelectedResults() const;
    void ShowContextMenu();
    void Goto();
    void CopySelected();
    void DragSelected();
    void DeleteSelected();
    std::wstring EndText() const;

    static DWORD WINAPI WorkerMain(LPVOID self);
    void RunSearch();

    IFindOwner* ownerView;
    ConnectionSession& connection;
    FindState state = FindState::Idle;
    fw::ImageList images;
    std::map<std::wstring, int> iconIndexes; // by kind and extension
    std::vector<int> resultIcons;            // row i's image
    fw::KernelHandle worker;
    DWORD workerId = 0;
    fw::KernelHandle stopEvent;
    HWND window = nullptr;
    bool closing = false;

    // Shared with the worker: set before it starts, read by the dialog only after it ended.
    FindOptions options;
    std::wstring startDirectory;
    RemoteEntryList startEntries;
    FindOutcome outcome;

    // The worker's buffers, under bufferLock.
    std::mutex bufferLock;
    std::vector<RemoteEntry> pendingFound;
    std::wstring pendingStatus;
    std::atomic<bool> foundPosted{false};
    std::atomic<bool> statusPosted{false};
};
