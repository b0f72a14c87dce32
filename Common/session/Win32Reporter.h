#pragma once
// The engine's reporter for the programs: error boxes with MessageBoxW, status texts
// posted to the status bar, and socket activity posted to the window that runs the
// idle keep-alive timer.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "engine/Reporter.h"

// Posted to the activity window before every send, receive and accept.
constexpr UINT WM_SOCKET_ACTIVITY = WM_USER + 0x159;

class CWin32Reporter : public nsFTP::IEngineReporter {
public:
    void ShowError(const std::wstring& text) override;
    void SetStatusText(int pane, const std::wstring& text) override;
    void SocketActivity() override;

    // The error boxes' caption: the program's name.
    void SetCaption(const std::wstring& caption);
    std::wstring Caption() const;
    // While silent, errors are not shown. The program is silent once its main window has
    // gone: nobody would read a box then, and it would keep the process alive after the
    // program looked closed.
    void SetSilent(bool quiet) noexcept { silent.store(quiet); }
    // The window that receives WM_SOCKET_ACTIVITY; nullptr for none.
    void SetActivityWindow(HWND window) noexcept { activityWindow.store(window); }
    HWND ActivityWindow() const noexcept { return activityWindow.load(); }

private:
    mutable std::mutex captionLock; // the engine reports from worker threads too
    std::wstring caption = L"Vantrel FTP Client";
    std::atomic<HWND> activityWindow{nullptr};
    std::atomic<bool> silent{false};
};

// The one reporter of the program; InstallWin32Reporter makes it the engine's.
CWin32Reporter& Win32Reporter();
void InstallWin32Reporter();
