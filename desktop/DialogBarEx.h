#pragma once
// The filter bar (dialog 103): the filter text, the kind and type lists, and the Hide
// button. Every change of a filter control asks the view to filter again (command 1049).
#include "framework/DialogBar.h"

extern const wchar_t* const FILTER_KIND_TEXTS[3];
extern const wchar_t* const FILTER_ALL_TYPES_TEXT;

class CDialogBarEx : public fw::DialogBar {
public:
    CDialogBarEx();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void PlaceHideButton();
};
