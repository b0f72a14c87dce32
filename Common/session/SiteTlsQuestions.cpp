#include "session/SiteTlsQuestions.h"

#include "session/CertificateDlg.h"
#include "session/PlainFtpDlg.h"
#include "sites/SiteStore.h"

SiteTlsQuestions::SiteTlsQuestions(ConnectionSession& session, const SiteRecord& site) : session(session), site(site) {}

// The site is read here on the logon's thread, and changed only by the calls that run on
// the waiting thread while this one waits for them.
bool SiteTlsQuestions::ContinueWithoutTls(const nsFTP::LogonSettings&)
{
    if (AllowsPlainFtp(site)) return true;
    bool proceed = false;
    session.CallOnWindowThread([&] {
        CPlainFtpDlg question;
        proceed = question.DoModal(GetActiveWindow()) == IDYES;
        if (proceed && question.AlwaysAllow()) {
            SetAllowsPlainFtp(site, true);
            changed = true;
        }
    });
    return proceed;
}

bool SiteTlsQuestions::AcceptCertificate(const nsFTP::LogonSettings&, const nsSocket::TlsSessionInfo& tls)
{
    const std::string trusted = TrustedCertificate(site);
    if (!trusted.empty() && trusted == tls.certificate.sha256) return true;
    bool accepted = false;
    session.CallOnWindowThread([&] {
        CCertificateDlg question(tls, !trusted.empty());
        switch (question.Ask(GetActiveWindow())) {
        case CCertificateDlg::Answer::TrustAlways:
            accepted = true;
            if (SetTrustedCertificate(site, tls.certificate.sha256)) changed = true;
            break;
        case CCertificateDlg::Answer::ThisTimeOnly: accepted = true; break;
        case CCertificateDlg::Answer::Cancel: break;
        }
    });
    return accepted;
}

void KeepSiteAnswers(ConnectionSession& session, const SiteRecord& answered, const std::wstring& keyPath)
{
    const std::wstring label = GetText(answered.label);
    SiteRecord* listed = session.siteList.FindSite(label);
    if (listed == nullptr) return;
    SetAllowsPlainFtp(*listed, AllowsPlainFtp(answered));
    SetTrustedCertificate(*listed, TrustedCertificate(answered));
    SaveSite(session.siteList, label, keyPath);
}
