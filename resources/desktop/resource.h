// Resource and command identifiers of the desktop program. The values are fixed: menus,
// toolbar, accelerators, string table and code all refer to them.
#pragma once

#include "ProgramResource.h"

// Dialog templates.
#define IDD_ORVID_FORM 101
#define IDD_FILTER_BAR 103

// Toolbar images: twelve 32 x 32 images side by side, 24-bit.
#define IDB_TOOLBAR 139

// Commands.
#define ID_FILE_NEW_DIRECTORY 32776
#define ID_FILE_DELETE 32777
#define ID_FILE_RENAME 32778
#define ID_FILE_PROPERTIES 32779
#define ID_TOOLS_CHMOD 32781
#define ID_VIEW_ICONS 32787
#define ID_VIEW_FILTER 32800
#define ID_HELP_HOME_PAGE 32803
#define ID_TOOLS_SET_TEMP_DIRECTORY 32806
#define ID_FILE_MOVE_TO 32808
#define ID_HELP_OVERVIEW 32809
#define ID_HELP_MANUAL 32810
#define ID_FILE_DOWNLOAD_TO 32811
#define ID_FILE_UPLOAD_FILES 32812
#define ID_EDIT_COPY 57634
#define ID_EDIT_FIND 57636
#define ID_EDIT_PASTE 57637
#define ID_VIEW_TOOLBAR 59392
#define ID_VIEW_STATUS_BAR 59393
#define ID_VIEW_LIST 59410
#define ID_VIEW_DETAILS 59411

// The texts of the commands in the lists' context menus.
#define IDS_MENU_COPY 33001
#define IDS_MENU_PASTE 33002
#define IDS_MENU_DOWNLOAD_TO 33003
#define IDS_MENU_UPLOAD_FILES 33004
#define IDS_MENU_NEW_DIRECTORY 33005
#define IDS_MENU_RENAME 33006
#define IDS_MENU_DELETE 33007
#define IDS_MENU_MOVE_TO 33008
#define IDS_MENU_CHMOD 33009
#define IDS_MENU_PROPERTIES 33010
#define IDS_MENU_VIEW 33011
#define IDS_MENU_ICONS 33012
#define IDS_MENU_LIST 33013
#define IDS_MENU_DETAILS 33014

// Status bar indicators (their strings set the pane widths) and the idle message.
#define ID_INDICATOR_DIRECTORIES 59142
#define ID_INDICATOR_FILES 59143
#define ID_INDICATOR_BYTES 59144
#define ID_INDICATOR_SECURITY 33110
#define IDS_READY 57345

// Bar identifiers: the toolbar and status bar use the command ids that toggle them.
#define IDW_TOOLBAR ID_VIEW_TOOLBAR
#define IDW_STATUS_BAR ID_VIEW_STATUS_BAR
#define IDW_FILTER_BAR IDD_FILTER_BAR

// Controls of the view's form (101).
#define IDC_FOLDER_COMBO 1000
#define IDC_UP 1001
#define IDC_REMOTE_LIST 1002
#define IDC_GO 1003
#define IDC_FOLDER_LABEL 1030

// Controls of the filter bar (103).
#define IDC_FILTER_TEXT 1010
#define IDC_FILTER_KIND 1042
#define IDC_FILTER_TYPE 1043
#define IDC_FILTER_HIDE 1044
#define IDC_FILTER_REFRESH 1049

// Controls of the About box (100).
#define IDC_ABOUT_ICON 1101
#define IDC_ABOUT_TITLE 1102
#define IDC_ABOUT_MAKER 1103
