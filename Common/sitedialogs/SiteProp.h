#pragma once
// Site Properties (dialog 136): edits one site's label, host, port, passive mode, encryption,
// character set, listing command, login, password, anonymous logon, timeout, start directory, keep-alive, parent group
// and, through "Proxy...", its firewall settings. The caller sets the members before DoModal and reads them after IDOK;
// the dialog itself checks the label against the site list, and refuses a firewall mode together with a required FTP
// over TLS, which can't protect such a logon.
#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/TextCodec.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "sites/SiteRecord.h"

// A message box of the site dialogs, captioned with the program's name (or, without an
// application object, the owner's caption).
int SiteMessageBox(HWND owner, const wchar_t* text, UINT type);

// A new site's timeout in the dialog, shorter than a bare record's.
constexpr unsigned NEW_SITE_TIMEOUT_SECONDS = 10;

class CSiteProp : public fw::Dialog {
public:
    explicit CSiteProp(const SiteList& siteList);

    // Fills every member from a site (parent group and firewall settings included).
    void LoadFrom(const SiteRecord& site);
    // Writes every member into a site; groupId, the reserved bytes and the TLS fields that
    // the dialog does not show are left alone.
    void StoreTo(SiteRecord& site) const;

    std::wstring label;
    std::wstring host;
    int port = DEFAULT_SITE_PORT;
    bool passive = true;
    SiteEncryption encryption = SiteEncryption::RequireExplicit;
    std::wstring login;
    std::wstring password;
    bool anonymous = false;
    unsigned timeout = NEW_SITE_TIMEOUT_SECONDS;
    std::wstring directory;
    bool keepAlive = true;
    std::int32_t parentGroup = NO_GROUP;
    std::uint32_t codePage = nsFTP::CODE_PAGE_AUTO; // as LogonSettings::codePage
    bool preferMlsd = true;

    // Shown and changed through "Proxy..."; a new site has no firewall.
    std::int32_t firewallType = FIREWALL_TYPE_NONE;
    std::wstring firewallHost;
    std::uint16_t firewallPort = DEFAULT_FIREWALL_PORT;
    std::wstring firewallUser;
    std::wstring firewallPassword;

    // The TLS version and cipher of this site's last connection, "Not encrypted", or empty
    // (see LastConnectionText); shown only, never stored.
    std::wstring connectionText;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    void FillParentGroups();
    void RunProxyDialog();
    void OnEncryptionChanged();

    const SiteList& siteList;
    fw::ComboBox parentCombo;
    fw::ComboBox encryptionCombo;
    // The encryption the list showed before the user's latest choice, for the port switch.
    SiteEncryption shownEncryption = SiteEncryption::RequireExplicit;
    std::wstring openingLabel;
};
