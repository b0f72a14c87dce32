#pragma once
// Asks whether a logon may go on in clear text, for a site that uses FTP over TLS "if
// available" and a server that has none. Asked before the password is sent; No is the
// default, and the box "Always allow plain FTP for this site" starts unchecked.
#include <windows.h>

#include <string>

#include "framework/Dialog.h"

extern const wchar_t* const PLAIN_FTP_QUESTION;

class CPlainFtpDlg : public fw::Dialog {
public:
    CPlainFtpDlg();

    // IDYES or IDNO; Esc and the close box answer No.
    INT_PTR DoModal(HWND owner);
    // After Yes: the user wants the site never to ask again.
    bool AlwaysAllow() const noexcept { return alwaysAllow; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void OnCancel() override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    std::wstring question = PLAIN_FTP_QUESTION;
    bool alwaysAllow = false;
};
