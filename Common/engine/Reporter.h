#pragma once
// How the engine tells the user what happened. The engine never touches a window:
// the program installs a reporter that shows error boxes, posts status-line texts and
// forwards socket activity to the window that restarts the keep-alive timer.
// Tests install a recorder instead and assert on what a user would have seen.
#include <string>

namespace nsFTP {

constexpr int STATUS_PANE_REPLIES = 0;

class IEngineReporter {
public:
    virtual ~IEngineReporter() = default;
    // A modal error box (error icon, OK button) shown on the calling thread.
    virtual void ShowError(const std::wstring& text) = 0;
    // A status-bar text for the given pane; must not block the caller.
    virtual void SetStatusText(int pane, const std::wstring& text) = 0;
    // A send, receive or accept is about to happen; must not block the caller.
    virtual void SocketActivity() = 0;
};

// Process-wide, like the activity window it stands for. Passing nullptr removes it;
// without a reporter every report is dropped.
void SetEngineReporter(IEngineReporter* reporter);
void ReportError(const std::wstring& text);
void ReportStatus(int pane, const std::wstring& text);
void ReportSocketActivity();

// While one lives on a thread, the engine's error boxes on that thread are dropped: for a
// walk that skips what it can't read without a word per directory. Status texts still go.
class QuietErrors {
public:
    QuietErrors() noexcept;
    ~QuietErrors();
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

// While one lives on a thread, the engine's error boxes on that thread are kept in it
// instead of shown: for work that tries several times and tells the user only how the
// last try failed. A QuietErrors on the same thread still drops them.
class CapturedErrors {
public:
    CapturedErrors() noexcept;
    ~CapturedErrors();
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;
    // The last error reported since Clear (or since this was made); empty when none.
    const std::wstring& Last() const noexcept { return last; }
    void Clear() noexcept { last.clear(); }

private:
    friend void ReportError(const std::wstring& text);
    CapturedErrors* outer;
    std::wstring last;
};

} // namespace nsFTP
