#include "session/Win32Reporter.h"

#include "shell/StatusText.h"

void CWin32Reporter::ShowError(const std::wstring& text)
{
    if (silent.load()) return;
    // The active window of the calling thread: a worker thread has none, so its boxes
    // stand alone instead of blocking a window of another thread.
    MessageBoxW(GetActiveWindow(), text.c_str(), Caption().c_str(), MB_ICONERROR | MB_OK);
}

void CWin32Reporter::SetStatusText(int pane, const std::wstring& text) { ::SetStatusText(pane, text); }

void CWin32Reporter::SocketActivity()
{
    HWND window = activityWindow.load();
    if (window != nullptr) PostMessageW(window, WM_SOCKET_ACTIVITY, 0, 0);
}

void CWin32Reporter::SetCaption(const std::wstring& text)
{
    std::lock_guard<std::mutex> guard(captionLock);
    caption = text;
}

std::wstring CWin32Reporter::Caption() const
{
    std::lock_guard<std::mutex> guard(captionLock);
    return caption;
}

CWin32Reporter& Win32Reporter()
{
    static CWin32Reporter reporter;
    return reporter;
}

void InstallWin32Reporter() { nsFTP::SetEngineReporter(&Win32Reporter()); }
