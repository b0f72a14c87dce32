#pragma once
// Downloading to and uploading from the local disk through the system's own dialogs, for
// a program without a local pane. Both pickers start in the folder chosen last (see
// shell/LocalPicker.h), and both commands run the transfer job modally on the calling
// (user-interface) thread.
#include <windows.h>

#include <string>
#include <vector>

#include "session/ConnectionSession.h"

// Both return true when a job ran (the pane should be refreshed for an upload).
// selected: the entries of the selected rows; nothing happens when it is empty, when not
// connected or when the folder picker is cancelled.
bool DownloadToCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected);
// targetDirectory: the pane's TargetDirectory, empty when not connected; nothing happens
// then or when the file dialog is cancelled. A chosen directory is uploaded with its tree.
bool UploadFilesCommand(HWND owner, ConnectionSession& session, const std::wstring& targetDirectory);
