#pragma once
// The firewall (proxy) settings of one site (dialog 138): the Mode list of the engine's
// firewall logon types and the firewall's host, port, user name and password.
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "sites/SiteRecord.h"

class CProxyDlg : public fw::Dialog {
public:
    CProxyDlg();

    // The Mode entry's index is the site's firewallType.
    int mode = FIREWALL_TYPE_NONE;
    std::wstring host;
    unsigned port = DEFAULT_FIREWALL_PORT;
    std::wstring user;
    std::wstring password;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    fw::ComboBox modeCombo;
};
