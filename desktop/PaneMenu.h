#pragma once
// The remote pane's context menu: Copy (and Paste while the clipboard holds files), the
// transfers through the system's dialogs, the file commands, CHMOD for a server's list,
// Properties and the View pop-up. Every item is greyed while not connected, and otherwise
// enabled as the view's update handlers say.
#include "framework/Handles.h"
#include "shell/ListCtrlEx.h"

fw::MenuHandle BuildPaneContextMenu(const CListCtrlEx& list);
