#include "session/CertificateDlg.h"

#include <cctype>

#include "SharedResource.h"
#include "shell/DialogResources.h"

const wchar_t* const CERTIFICATE_UNTRUSTED_TEXT =
    L"The server's certificate is not trusted. Before you trust it, compare its fingerprint with the one the "
    L"server's administrator gives you.";
const wchar_t* const CERTIFICATE_CHANGED_TEXT =
    L"The server's certificate has changed since you trusted it for this site. Unless the server was given a new "
    L"certificate, someone may be intercepting the connection.";

namespace {

constexpr std::size_t PAIRS_PER_LINE = 8;
const wchar_t* const UTC_SUFFIX = L" UTC";

std::wstring TimeText(const std::wstring& utc) { return utc.empty() ? utc : utc + UTC_SUFFIX; }

} // namespace

std::wstring FingerprintText(const std::string& sha256Hex)
{
    std::wstring text;
    for (std::size_t at = 0; at + 1 < sha256Hex.size(); at += 2) {
        const std::size_t pair = at / 2;
        if (pair != 0) text += pair % PAIRS_PER_LINE == 0 ? L":\r\n" : L":";
        for (std::size_t digit = at; digit < at + 2; ++digit)
            text += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(sha256Hex[digit])));
    }
    return text;
}

CCertificateDlg::CCertificateDlg(const nsSocket::TlsSessionInfo& session, bool changed)
    : fw::Dialog(SharedDialogs().certificate), message(changed ? CERTIFICATE_CHANGED_TEXT : CERTIFICATE_UNTRUSTED_TEXT),
      reason(session.trustDetail), subject(session.certificate.subject), issuer(session.certificate.issuer),
      validFrom(TimeText(session.certificate.validFrom)), validTo(TimeText(session.certificate.validTo)),
      fingerprint(FingerprintText(session.certificate.sha256))
{
}

CCertificateDlg::Answer CCertificateDlg::Ask(HWND owner)
{
    switch (DoModal(owner)) {
    case IDC_CERT_TRUST_ALWAYS: return Answer::TrustAlways;
    case IDC_CERT_THIS_TIME: return Answer::ThisTimeOnly;
    default: return Answer::Cancel;
    }
}

BOOL CCertificateDlg::OnInitDialog()
{
    // The system's icon is shared and never freed; the handheld template has no icon.
    ::SendDlgItemMessageW(Handle(), IDC_TLS_WARNING_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_WARNING)), 0);
    // The fingerprint lines up with the texts above it.
    ::SendDlgItemMessageW(Handle(), IDC_CERT_FINGERPRINT, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    UpdateData(false);
    // Cancel starts with the focus, so that Enter answers it as well.
    ::SetFocus(::GetDlgItem(Handle(), IDCANCEL));
    return FALSE;
}

bool CCertificateDlg::OnCommand(UINT id, UINT code)
{
    if (id != IDC_CERT_TRUST_ALWAYS && id != IDC_CERT_THIS_TIME) return fw::Dialog::OnCommand(id, code);
    EndDialog(id);
    return true;
}

void CCertificateDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_CERT_MESSAGE, message);
    exchange.Text(IDC_CERT_REASON, reason);
    exchange.Text(IDC_CERT_SUBJECT, subject);
    exchange.Text(IDC_CERT_ISSUER, issuer);
    exchange.Text(IDC_CERT_VALID_FROM, validFrom);
    exchange.Text(IDC_CERT_VALID_TO, validTo);
    exchange.Text(IDC_CERT_FINGERPRINT, fingerprint);
}
