// The handheld program's own templates of the dialogs both programs share, and the
// controls whose numbers differ from the desktop's; every other control keeps the number
// of SharedResource.h.
#pragma once

#define IDD_HANDHELD_TRANSFER_PROGRESS 129
#define IDC_HANDHELD_TRANSFER_COUNT 1008
#define IDD_HANDHELD_ASK_REPLACE 130
#define IDD_HANDHELD_TEXT_PROMPT 131
#define IDC_HANDHELD_TEXT_EDIT 1011
#define IDD_HANDHELD_PROPERTIES 132
#define IDD_HANDHELD_SITE_MANAGER 133
#define IDC_HANDHELD_SITE_TREE 1022
#define IDD_HANDHELD_SITE_PROPERTIES 134
#define IDC_HANDHELD_SITE_PARENT 1023
#define IDD_HANDHELD_FILE_ATTRIBUTES 135
#define IDD_HANDHELD_PROXY 136
#define IDD_HANDHELD_FIND 139
#define IDD_HANDHELD_PLAIN_FTP 162
#define IDD_HANDHELD_CERTIFICATE 163
