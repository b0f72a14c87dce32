#include "DialogBarEx.h"

#include "framework/Controls.h"
#include "resource.h"

const wchar_t* const FILTER_KIND_TEXTS[3] = {L"Show Files and Directories", L"Show Only Files",
                                             L"Show Only Directories"};
const wchar_t* const FILTER_ALL_TYPES_TEXT = L"Show All Types";

namespace {

constexpr int HIDE_BUTTON_MARGIN = 2;

} // namespace

CDialogBarEx::CDialogBarEx() : fw::DialogBar(IDD_FILTER_BAR) {}

BOOL CDialogBarEx::OnInitDialog()
{
    BOOL result = fw::DialogBar::OnInitDialog();
    fw::ComboBox kind(Child(IDC_FILTER_KIND).Handle());
    for (const wchar_t* text : FILTER_KIND_TEXTS)
        kind.AddString(text);
    kind.SetCurSel(0);
    fw::ComboBox type(Child(IDC_FILTER_TYPE).Handle());
    type.AddString(FILTER_ALL_TYPES_TEXT);
    type.SetCurSel(0);
    PlaceHideButton();
    return result;
}

bool CDialogBarEx::OnCommand(UINT id, UINT code)
{
    bool filterChanged = (id == IDC_FILTER_TEXT && code == EN_CHANGE) ||
                         ((id == IDC_FILTER_KIND || id == IDC_FILTER_TYPE) && code == CBN_SELCHANGE);
    if (filterChanged) {
        SendCommandToFrame(IDC_FILTER_REFRESH);
        return true;
    }
    return fw::DialogBar::OnCommand(id, code);
}

bool CDialogBarEx::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message == WM_SIZE) PlaceHideButton();
    return fw::DialogBar::OnMessage(message, wParam, lParam, result);
}

void CDialogBarEx::PlaceHideButton()
{
    fw::Window hide = Child(IDC_FILTER_HIDE);
    if (!hide.IsWindow()) return;
    RECT client = GetClientRect();
    RECT rect = hide.GetRectInParent();
    int width = rect.right - rect.left;
    hide.Move(client.right - HIDE_BUTTON_MARGIN - width, rect.top, width, rect.bottom - rect.top);
}
