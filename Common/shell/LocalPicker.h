#pragma once
// Choosing local folders and files with the system's own dialogs, for the commands that
// download to and upload from the local disk without a local pane. The dialogs sit behind
// a replaceable interface so that tests can answer them; both belong to the
// user-interface thread.
//
// The folder the user chose last is one setting shared by both pickers:
// HKEY_CURRENT_USER\Software\FTPClient\Settings, value "LastFolder", REG_SZ (UTF-16 text
// with its terminating zero).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

extern const wchar_t* const LAST_FOLDER_VALUE;

class ILocalPicker {
public:
    virtual ~ILocalPicker() = default;
    // The chosen folder's full path; nothing when the user cancelled. An empty initial
    // folder leaves the start to the system.
    virtual std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& initialFolder) = 0;
    // The full paths of the chosen files; empty when the user cancelled.
    virtual std::vector<std::wstring> PickFiles(HWND owner, const std::wstring& initialFolder) = 0;
};

// The system dialogs unless replaced.
ILocalPicker& LocalPicker();
// Not owned; null restores the system dialogs.
void SetLocalPicker(ILocalPicker* picker);

// The stored folder, or empty when none was stored.
std::wstring GetLastFolder();
// A key that cannot be created is ignored.
void SetLastFolder(const std::wstring& folder);
