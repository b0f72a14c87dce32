#include "session/PlainFtpDlg.h"

#include "SharedResource.h"
#include "shell/DialogResources.h"

const wchar_t* const PLAIN_FTP_QUESTION = L"This server does not support FTP over TLS. Your password and files would "
                                          L"be sent in clear text. Continue?";

CPlainFtpDlg::CPlainFtpDlg() : fw::Dialog(SharedDialogs().plainFtp) {}

INT_PTR CPlainFtpDlg::DoModal(HWND owner) { return fw::Dialog::DoModal(owner); }

BOOL CPlainFtpDlg::OnInitDialog()
{
    // The system's icon is shared and never freed; the handheld template has no icon.
    ::SendDlgItemMessageW(Handle(), IDC_TLS_WARNING_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_WARNING)), 0);
    UpdateData(false);
    // No starts with the focus, so that Enter answers it as well.
    ::SetFocus(::GetDlgItem(Handle(), IDNO));
    return FALSE;
}

bool CPlainFtpDlg::OnCommand(UINT id, UINT code)
{
    if (id != IDYES && id != IDNO) return fw::Dialog::OnCommand(id, code);
    // The box counts only with Yes.
    if (id == IDYES) UpdateData(true);
    EndDialog(id);
    return true;
}

void CPlainFtpDlg::OnCancel() { EndDialog(IDNO); }

void CPlainFtpDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_PLAIN_QUESTION, question);
    exchange.Check(IDC_PLAIN_ALWAYS, alwaysAllow);
}
