#pragma once
// Plays the user's part for dialogs and message boxes that any thread of this process
// shows, worker threads included (a same-thread timer cannot see those). A thread of its
// own looks at the process's visible, enabled top-level dialogs every few milliseconds:
// a message box has its text recorded and is answered with the chosen button; another
// dialog runs the next action given for its caption, if any, once per window. Actions run
// on the answerer's thread, so they should post to the window rather than send.
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class WindowAnswerer {
public:
    using Action = std::function<void(HWND)>;

    // Starts looking at once; message boxes are answered with IDOK until told otherwise.
    WindowAnswerer();
    ~WindowAnswerer();
    WindowAnswerer(const WindowAnswerer&) = delete;
    WindowAnswerer& operator=(const WindowAnswerer&) = delete;

    // Actions for one caption run in the order given, one per window.
    WindowAnswerer& OnDialog(const std::wstring& caption, Action action);
    void SetMessageBoxAnswer(int button);

    // The texts of the message boxes answered so far, in order.
    std::vector<std::wstring> MessageTexts() const;
    // The captions of the dialogs whose action ran, in order.
    std::vector<std::wstring> DialogsAnswered() const;
    // True once this many message boxes were answered.
    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Run();
    void Look();
    void Handle(HWND window);

    mutable std::mutex mutex_;
    std::vector<std::pair<std::wstring, Action>> actions_;
    std::vector<std::wstring> messages_;
    std::vector<std::wstring> answered_;
    int messageBoxButton_ = IDOK;
    std::set<HWND> handled_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Small reads and answers for actions.
std::wstring ItemText(HWND dialog, int controlId);
std::wstring WindowCaption(HWND window);
bool IsMessageBox(HWND window);
void PostCommand(HWND dialog, int id);

} // namespace testsupport
#endif
