#pragma once
// The Help menu's documents: two files expected beside the program, and the maker's
// home page. Whatever stands under those names is opened by the shell; when nothing
// does, the shell reports it in its own way.
#include <windows.h>

#include <string>

#include "shell/ShellHelpers.h"

extern const wchar_t* const OVERVIEW_DOCUMENT_FORMAT; // "%s%s\Overview-FTP-Client.pdf"
extern const wchar_t* const MANUAL_DOCUMENT_FORMAT;   // "%s%s\FTP-Client-Manual.chm"

// The document's path from a module path and one of the formats above, whose two "%s"
// fields take the module's drive and directory.
std::wstring HelpDocumentPath(const std::wstring& modulePath, const wchar_t* format);

// Opens the document of ID_HELP_OVERVIEW or ID_HELP_MANUAL with the "open" verb.
void OpenHelpDocument(HWND owner, UINT command);
