#pragma once
// Shows a server certificate that no trusted root vouches for (or one other than the
// certificate the site trusts always) and asks what to do: trust it always for the site,
// this time only, or cancel the logon (the default).
#include <windows.h>

#include <string>

#include "engine/TlsEngine.h"
#include "framework/Dialog.h"

extern const wchar_t* const CERTIFICATE_UNTRUSTED_TEXT;
extern const wchar_t* const CERTIFICATE_CHANGED_TEXT;

// The SHA-256 as colon-separated upper-case hex pairs, eight pairs to a line (lines joined
// with CR LF), the way certificate fingerprints are read out and compared.
std::wstring FingerprintText(const std::string& sha256Hex);

class CCertificateDlg : public fw::Dialog {
public:
    enum class Answer { TrustAlways, ThisTimeOnly, Cancel };

    // changed: the site trusts another certificate always.
    CCertificateDlg(const nsSocket::TlsSessionInfo& session, bool changed);

    // Esc and the close box cancel.
    Answer Ask(HWND owner);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    std::wstring message;
    std::wstring reason;
    std::wstring subject;
    std::wstring issuer;
    std::wstring validFrom;
    std::wstring validTo;
    std::wstring fingerprint;
};
