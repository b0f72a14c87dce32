// Resource and command identifiers that both programs give the same number and that their
// shared shell (the application and document bases) names: the main window's resources,
// the About box, and the commands those bases handle. Each program's resource header
// includes this one.
#pragma once

// Menu, icon, toolbar and document string of the main window.
#define IDR_MAINFRAME 128

#define IDD_ABOUTBOX 100

#define ID_FILE_CONNECT 32771
#define ID_FILE_DISCONNECT 32772
// Tools > Protect saved passwords, a setting of the site store both programs share.
#define ID_TOOLS_PROTECT_PASSWORDS 32910
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
