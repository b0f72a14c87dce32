#pragma once
// The About box (dialog 100): the program icon, its name and version, and its maker.
#include "framework/Dialog.h"

class CAboutDlg : public fw::Dialog {
public:
    CAboutDlg();
};
