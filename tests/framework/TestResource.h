// Resources of the framework tests: small templates that exercise the layer without
// the programs' own resources.
#pragma once

#define IDD_EXCHANGE 200
#define IDC_NAME 201
#define IDC_FLAG 202
#define IDC_NUMBER 203
#define IDC_CHOICE 204
#define IDC_COUNT 205

#define IDD_FORM 210
#define IDC_FORM_BUTTON 211

#define IDD_BAR 220
#define IDC_BAR_BUTTON 221
#define IDC_BAR_EDIT 222

#define IDR_FRAME 300
#define ID_CMD_CHECKED 301
#define ID_CMD_RADIO 302
#define ID_CMD_UNHANDLED 303
#define ID_CMD_PLAIN 304
#define ID_CMD_DISABLED 305
#define ID_CMD_RENAMED 306
#define ID_CMD_TOGGLE_BAR 307

#define IDS_PANE_WIDE 310
#define IDS_PANE_NARROW 311
#define IDR_BAD_TOOLBAR 320
