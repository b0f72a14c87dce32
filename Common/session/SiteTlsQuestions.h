#pragma once
// The program's answers to the engine's FTP over TLS questions during a site's logon. The
// engine asks on the logon's worker thread; the dialogs open on the thread that waits for
// it (ConnectionSession::CallOnWindowThread), owned by that thread's active window, so
// they are modal to the main window (or the Site Manager above it) like any other.
//
// What the site remembers is asked no more: a site that allows plain FTP goes on in clear
// text, and the certificate the site trusts always is accepted. A certificate other than
// that one brings the dialog back, saying that it changed.
#include <string>

#include "engine/FTPClient.h"
#include "session/ConnectionSession.h"
#include "sites/SiteRecord.h"

class SiteTlsQuestions : public nsFTP::ITlsQuestions {
public:
    SiteTlsQuestions(ConnectionSession& session, const SiteRecord& site);

    bool ContinueWithoutTls(const nsFTP::LogonSettings& settings) override;
    bool AcceptCertificate(const nsFTP::LogonSettings& settings, const nsSocket::TlsSessionInfo& session) override;

    // The site with what the user chose to keep ("Always allow plain FTP", "Trust always").
    // Read once the logon has ended.
    const SiteRecord& Site() const noexcept { return site; }
    bool SiteChanged() const noexcept { return changed; }

private:
    ConnectionSession& session;
    SiteRecord site;
    bool changed = false;
};

// Puts the answers the site keeps into the session's list and stores it under keyPath.
// A site that is not in the list (one connected without the Site Manager) keeps them only
// for the connection.
void KeepSiteAnswers(ConnectionSession& session, const SiteRecord& answered, const std::wstring& keyPath);
