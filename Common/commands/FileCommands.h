#pragma once
// The commands that change or inspect the remote directory shown in a pane: New Directory,
// Rename, Delete, Move To, Properties, CHMOD, opening a remote file with its local
// application, and setting the local temporary directory. Both programs' panes call them
// on the user-interface thread with the entries of the selected rows.
//
// Each command that may change the server returns true when the pane should be refreshed.
// selected: the entries of the selected rows, in row order (copies).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "session/ConnectionSession.h"

// target = the pane's TargetDirectory; empty when not connected -> nothing
bool NewDirectoryCommand(HWND owner, ConnectionSession& session, const std::wstring& targetDirectory);
bool RenameCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected);
bool DeleteCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected);
bool MoveToCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected);
void PropertiesCommand(HWND owner, const std::vector<RemoteEntry>& selected);
bool ChmodCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected);
// Downloads the file into the program's own folder for the server and the entry's directory
// below the temporary directory, then has the shell open it. A type that can run programs
// is opened (and downloaded) only after the user said Yes.
// The copy gets the mark of a file from the Internet (MarkAsFromInternet) before it opens.
void OpenRemoteFileCommand(HWND owner, ConnectionSession& session, const RemoteEntry& entry);
// "ftp://host[:port]/path" for a remote file, percent-encoded, the port only when it is not
// 21; never the user or the password.
std::wstring RemoteFileUrl(const nsFTP::LogonSettings& server, const std::wstring& remotePath);
// Writes the Internet zone and the source address into the file's "Zone.Identifier" stream,
// as browsers do for what they download. False, with nothing written, where the volume has
// no named streams (Wine's file systems, FAT).
bool MarkAsFromInternet(const std::wstring& file, const std::wstring& sourceUrl);
void SetTempDirectoryCommand(HWND owner);

// The size text of the properties dialog: "<FormatSize> (<count> bytes)", so a zero-byte
// file's text begins with a space; empty for a size the listing did not give.
std::wstring PropertiesSizeText(std::uint64_t size);
