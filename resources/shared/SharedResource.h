// Resource identifiers of the dialogs both programs share.
#pragma once

// The one-line text prompt.
#define IDD_TEXT_PROMPT 133
#define IDC_TEXT_EDIT 1010

// The icon static of the replace prompt and the properties dialog.
#define IDC_ITEM_ICON 1018
