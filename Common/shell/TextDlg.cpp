#include "shell/TextDlg.h"

#include "SharedResource.h"

CTextDlg::CTextDlg(const std::wstring& caption, const std::wstring& text)
    : fw::Dialog(IDD_TEXT_PROMPT), caption(caption), text(text)
{
}

BOOL CTextDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    SetText(caption);
    return TRUE;
}

void CTextDlg::DoDataExchange(fw::DataExchange& exchange) { exchange.Text(IDC_TEXT_EDIT, text); }
