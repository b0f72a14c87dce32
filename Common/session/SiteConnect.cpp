// How a site record becomes a live connection: the logon info, the logon, the home
// directory and the start directory.
#include <cwctype>

#include "framework/Wait.h"
#include "session/ConnectionSession.h"
#include "session/SiteTlsQuestions.h"
#include "shell/Format.h"
#include "shell/StatusText.h"

const wchar_t* const ANONYMOUS_USER = L"anonymous";
const wchar_t* const ANONYMOUS_PASSWORD = L"guest@example.com";
const wchar_t* const CONNECTING_FORMAT = L"Connecting to %s. Esc to stop.";
const wchar_t* const NOT_ENCRYPTED_TEXT = L"Not encrypted";
const wchar_t* const DATA_NOT_ENCRYPTED_SUFFIX = L"; files not encrypted";

namespace {

constexpr std::uint32_t PORT_BITS = 0xFFFF;
constexpr int REPLY_SUCCESS = 0;
const wchar_t* const WHITE_SPACE = L" \t\r\n\v\f";

std::wstring Trim(const std::wstring& text)
{
    const std::size_t first = text.find_first_not_of(WHITE_SPACE);
    if (first == std::wstring::npos) return {};
    const std::size_t last = text.find_last_not_of(WHITE_SPACE);
    return text.substr(first, last - first + 1);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    }
    return true;
}

void ClearConnectionPanes()
{
    SetStatusText(STATUS_PANE_DIRECTORIES, {});
    SetStatusText(STATUS_PANE_FILES, {});
    SetStatusText(STATUS_PANE_BYTES, {});
    SetStatusText(STATUS_PANE_SECURITY, {});
}

} // namespace

nsFTP::LogonSettings MakeLogonSettings(const SiteRecord& site)
{
    nsFTP::LogonSettings settings;
    settings.host = GetText(site.host);
    settings.port = static_cast<std::uint16_t>(static_cast<std::uint32_t>(site.port) & PORT_BITS);
    if (site.anonymous != 0) {
        settings.user = ANONYMOUS_USER;
        settings.password = ANONYMOUS_PASSWORD;
    } else {
        settings.user = GetText(site.user);
        settings.password = GetText(site.password);
    }
    settings.account.clear();
    switch (GetSiteEncryption(site)) {
    case SiteEncryption::IfAvailable: settings.tls = nsFTP::TlsMode::EXPLICIT_IF_AVAILABLE; break;
    case SiteEncryption::RequireExplicit: settings.tls = nsFTP::TlsMode::REQUIRE_EXPLICIT; break;
    case SiteEncryption::RequireImplicit: settings.tls = nsFTP::TlsMode::REQUIRE_IMPLICIT; break;
    case SiteEncryption::PlainOnly: settings.tls = nsFTP::TlsMode::PLAIN_ONLY; break;
    }
    settings.codePage = GetSiteCodePage(site);
    settings.preferMlsd = PrefersMlsd(site);
    if (site.firewallType != FIREWALL_TYPE_NONE) {
        settings.firewallHost = GetText(site.firewallHost);
        settings.firewallUser = GetText(site.firewallUser);
        settings.firewallPassword = GetText(site.firewallPassword);
        settings.firewallPort = site.firewallPort;
        // An unknown type reaches the engine as it is, which refuses the logon.
        settings.firewallMode = static_cast<nsFTP::FirewallMode>(site.firewallType);
    } else {
        settings.firewallMode = nsFTP::FIREWALL_NONE;
    }
    return settings;
}

std::wstring ConnectionSecurityText(const nsSocket::TlsSessionInfo* tls, bool dataProtected)
{
    if (tls == nullptr) return NOT_ENCRYPTED_TEXT;
    std::wstring text = tls->version + L", " + tls->cipher;
    if (!dataProtected) text += DATA_NOT_ENCRYPTED_SUFFIX;
    return text;
}

bool OpenSite(ConnectionSession& session, const SiteRecord& site, const std::wstring& sitesKey)
{
    fw::WaitCursor wait;
    ClearConnectionPanes();
    session.logonSettings = MakeLogonSettings(site);
    SiteTlsQuestions questions(session, site);
    session.Engine().SetTlsQuestions(session.unattendedAnswers ? session.unattendedAnswers : &questions);
    // A server that never answers holds the logon up to the site's timeout; Esc ends it
    // sooner.
    bool loggedOn = false;
    std::wstring connecting = CONNECTING_FORMAT;
    connecting.replace(connecting.find(L"%s"), 2, session.logonSettings.host);
    session.RunWhileWindowAnswers(
        [&] { loggedOn = session.Engine().LogOn(session.logonSettings, static_cast<int>(SiteTimeoutSeconds(site))); },
        [&] { return connecting; }, true);
    session.Engine().SetTlsQuestions(nullptr);
    // What the user chose to keep stays kept, even when the logon failed later on.
    if (questions.SiteChanged()) KeepSiteAnswers(session, questions.Site(), sitesKey);
    if (!loggedOn) return false;

    session.currentSite = questions.Site();
    session.homeDirectory = session.CurrentDirectory();
    session.lastSecurity = ConnectionSecurityText(session.Engine().TlsSession(), session.Engine().DataProtected());
    SetStatusText(STATUS_PANE_SECURITY, session.lastSecurity);
    return true;
}

std::wstring StartDirectoryTarget(const std::wstring& homeDirectory, const std::wstring& startDirectory)
{
    std::wstring text = Trim(startDirectory);
    if (text.empty()) return {};
    for (wchar_t& unit : text) {
        if (unit == L'\\') unit = L'/';
    }
    if (!homeDirectory.empty() && StartsWithNoCase(text, homeDirectory)) text.erase(0, homeDirectory.size());
    if (!text.empty() && text.front() == L'/') text.erase(0, 1);
    text = Trim(text);
    if (text.empty()) return {};
    // Without a home directory the start directory is taken from the root.
    return JoinRemotePath(homeDirectory.empty() ? std::wstring(L"/") : homeDirectory, text);
}

void GoToStartDirectory(ConnectionSession& session, const std::wstring& startDirectory)
{
    if (!session.IsConnected()) return;
    const std::wstring target = StartDirectoryTarget(session.homeDirectory, startDirectory);
    if (target.empty()) return;
    if (session.ChangeDirectory(target)) return;
    if (!session.homeDirectory.empty()) session.ChangeDirectory(session.homeDirectory);
}
