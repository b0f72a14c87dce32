#pragma once
// Plays the user's part while a modal dialog runs on this thread: a thread timer fires
// inside whatever modal loop is running, finds the window that takes input (the innermost
// dialog or message box) and runs the next step once that window is the one the step waits
// for. (Wine's menu loop does not run thread timers, so a script cannot answer a pop-up
// menu.) Message box texts are recorded in order. A step that waits too long, or a window
// left open after the last step, is recorded as a failure and every window still open is
// cancelled, so a broken dialog fails the test instead of hanging it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sitetests {

struct Step {
    std::wstring caption; // the dialog's caption; empty: any message box
    std::function<void(HWND)> action;
};

class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // Runs action on the dialog with this caption.
    DialogScript& On(const std::wstring& caption, std::function<void(HWND)> action);
    // Records the text of the next message box and answers it with the button.
    DialogScript& AnswerMessage(int button);

    // Steps not played yet, and what went wrong.
    bool Finished() const { return next_ >= steps_.size(); }
    const std::vector<std::wstring>& Messages() const { return messages_; }
    const std::vector<std::wstring>& Failures() const { return failures_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Play();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    DWORD waitingSince_ = 0;
    UINT_PTR timer_ = 0;
    bool abandoned_ = false;
    std::vector<std::wstring> messages_;
    std::vector<std::wstring> failures_;
};

// Small actions on a dialog's controls.
void Click(HWND dialog, int controlId);
void SetText(HWND dialog, int controlId, const std::wstring& text);
std::wstring Text(HWND dialog, int controlId);
bool Checked(HWND dialog, int controlId);
void SetChecked(HWND dialog, int controlId, bool checked);
// Selects a drop-down list's entry and tells the dialog, as a user's choice does.
void Choose(HWND dialog, int controlId, int index);
// The text of a message box.
std::wstring MessageText(HWND box);

// The tree of the Site Manager, one entry per item in display order: "label" for a top-level
// item, "  label" for a child.
std::vector<std::wstring> TreeLines(HWND manager);
// Selects the item with this text (top-level or child); false when there is none.
bool SelectTreeItem(HWND manager, const std::wstring& text);
// The item data of the item with this text; -1 when there is none.
LPARAM TreeItemData(HWND manager, const std::wstring& text);

} // namespace sitetests
