#include "shell/TextDlg.h"

#include "SharedResource.h"
#include "shell/DialogResources.h"

CTextDlg::CTextDlg(const std::wstring& caption, const std::wstring& text)
    : fw::Dialog(SharedDialogs().textPrompt), caption(caption), text(text)
{
}

BOOL CTextDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    SetText(caption);
    return TRUE;
}

void CTextDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(static_cast<int>(SharedDialogs().textEdit), text);
}
