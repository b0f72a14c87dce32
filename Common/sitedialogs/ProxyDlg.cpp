#include "sitedialogs/ProxyDlg.h"

#include <limits>

#include "SharedResource.h"
#include "engine/FTPDataTypes.h"
#include "shell/DialogResources.h"

namespace {
constexpr unsigned HIGHEST_PORT = std::numeric_limits<std::uint16_t>::max();
} // namespace

CProxyDlg::CProxyDlg() : fw::Dialog(SharedDialogs().proxy) {}

BOOL CProxyDlg::OnInitDialog()
{
    modeCombo = fw::ComboBox(Child(IDC_PROXY_MODE));
    // The entries must exist before the exchange selects the member's index.
    for (const wchar_t* label : nsFTP::FirewallModeLabels)
        modeCombo.AddString(label);
    for (int id : {IDC_PROXY_HOST, IDC_PROXY_USER, IDC_PROXY_PASSWORD})
        fw::Edit(Child(id)).LimitText(static_cast<int>(SITE_TEXT_MAX_UNITS));
    return fw::Dialog::OnInitDialog();
}

void CProxyDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.ComboSelection(IDC_PROXY_MODE, mode);
    exchange.Text(IDC_PROXY_HOST, host);
    exchange.UInt(IDC_PROXY_PORT, port);
    if (exchange.IsSaving() && !exchange.Failed() && port > HIGHEST_PORT)
        exchange.Fail(IDC_PROXY_PORT, L"Please enter a port number from 0 to 65535.");
    exchange.Text(IDC_PROXY_USER, user);
    exchange.Text(IDC_PROXY_PASSWORD, password);
    // A stored type outside the list shows no entry; OK with nothing chosen means no proxy.
    if (exchange.IsSaving() && mode < 0) mode = FIREWALL_TYPE_NONE;
}
