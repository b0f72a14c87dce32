// Resource and command identifiers of the handheld program. The values are fixed: menus,
// toolbar, string table and code all refer to them. Some commands carry other numbers
// than the desktop program's, so this header has a name of its own.
#pragma once

#include "ProgramResource.h"

// Dialog templates.
#define IDD_ORLET_FORM 101

// Toolbar images: ten 16 x 16 images side by side, 24-bit.
#define IDB_TOOLBAR 141

// Commands.
#define ID_FILE_NEW_DIRECTORY 32773
#define ID_FILE_RENAME 32774
#define ID_FILE_DELETE 32775
#define ID_FILE_PROPERTIES 32776
#define ID_TOOLS_CHMOD 32777
#define ID_VIEW_ICONS 32779
#define ID_HELP_HOME_PAGE 32785
#define ID_TOOLS_SET_TEMP_DIRECTORY 32786
#define ID_FILE_MOVE_TO 32788
#define ID_EDIT_COPY 57634
#define ID_EDIT_FIND 57636
#define ID_EDIT_PASTE 57637
#define ID_VIEW_LIST 59410
#define ID_VIEW_DETAILS 59411

// The texts of the commands in the lists' context menus.
#define IDS_MENU_COPY 33001
#define IDS_MENU_PASTE 33002
#define IDS_MENU_NEW_DIRECTORY 33003
#define IDS_MENU_RENAME 33004
#define IDS_MENU_DELETE 33005
#define IDS_MENU_MOVE_TO 33006
#define IDS_MENU_CHMOD 33007
#define IDS_MENU_PROPERTIES 33008
#define IDS_MENU_VIEW 33009
#define IDS_MENU_ICONS 33010
#define IDS_MENU_LIST 33011
#define IDS_MENU_DETAILS 33012

// The menu bar's "Menu" button, which opens menu IDR_MAINFRAME; not a command.
#define IDW_MENU_BAR 59420
#define ID_MENU_BAR_MENU 59421

// Controls of the view's form (101).
#define IDC_REMOTE_PATH 1000
#define IDC_LOCAL_PATH 1001
#define IDC_REMOTE_LIST 1002
#define IDC_LOCAL_LIST 1004
// Over the local list when its directory could not be listed.
#define IDC_LOCAL_STATUS 1005
#define IDC_MODE_LIST 1040

// Controls of the About box (100).
#define IDC_ABOUT_ICON 1101
#define IDC_ABOUT_TITLE 1102
#define IDC_ABOUT_MAKER 1103
