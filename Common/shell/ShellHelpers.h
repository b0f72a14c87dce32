#pragma once
// Small user-interface helpers shared by both programs.
#include <windows.h>

#include <string>

#include "framework/Handles.h"

// A message box (error icon, OK) about the calling thread's last system error:
// "Error code: %d\n<system text>\n<text>", or "Error code: %d\n<text>" when the system has
// no text for the code. Safe on worker threads: the box has no owner.
void ShowLastError(const std::wstring& text);

// A message box captioned with the program's name (the system's default caption before
// the program has one).
int AppMessageBox(HWND owner, const wchar_t* text, UINT type);
// The question before every delete, local or remote, in every window that offers one:
// true when the user chose OK.
bool ConfirmDelete(HWND owner);

// Gives a control of a dialog a bold copy of its font. The copies live until the program ends.
void MakeBoldFont(HWND dialog, int controlId);

// The maker's home page, which the Help menus of both programs open.
extern const wchar_t* const HOME_PAGE_ADDRESS;
void OpenHomePage(HWND owner);

// Asks the shell to open a document or an address with the "open" verb; the result is ignored.
void OpenWithShell(HWND owner, const std::wstring& target);

// The shell's icon for a name as a directory or a normal file, decided by the kind and the
// extension alone, without touching the disk. size: SHGFI_LARGEICON or SHGFI_SMALLICON.
fw::IconHandle ShellIconFor(const std::wstring& name, bool directory, UINT size);
