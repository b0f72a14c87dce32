#include "sitedialogs/SiteProp.h"

#include <iterator>

#include "SharedResource.h"
#include "engine/FTPClient.h"
#include "framework/App.h"
#include "shell/DialogResources.h"
#include "sitedialogs/ProxyDlg.h"

namespace {

constexpr std::wstring_view URL_PREFIX = L"ftp://";

struct EncryptionChoice {
    SiteEncryption value;
    const wchar_t* label;
};
// The Encryption list's entries in the order shown: the default first, plain FTP last.
constexpr EncryptionChoice ENCRYPTION_CHOICES[] = {
    {SiteEncryption::RequireExplicit, L"Require explicit FTP over TLS"},
    {SiteEncryption::IfAvailable, L"Use explicit FTP over TLS if available"},
    {SiteEncryption::RequireImplicit, L"Require implicit FTP over TLS"},
    {SiteEncryption::PlainOnly, L"Only use plain FTP (insecure)"},
};

struct CharsetChoice {
    std::uint32_t codePage;
    const wchar_t* label;
};
constexpr CharsetChoice CHARSET_CHOICES[] = {
    {nsFTP::CODE_PAGE_AUTO, L"Auto"},
    {nsFTP::CODE_PAGE_UTF8, L"UTF-8"},
    {nsFTP::CODE_PAGE_WESTERN, L"Western (Windows-1252)"},
    {nsFTP::CODE_PAGE_CYRILLIC, L"Cyrillic (Windows-1251)"},
    {nsFTP::CODE_PAGE_CENTRAL_EUROPEAN, L"Central European (Windows-1250)"},
    {nsFTP::CODE_PAGE_JAPANESE, L"Japanese (Shift-JIS)"},
    {nsFTP::CODE_PAGE_CHINESE_SIMPLIFIED, L"Chinese Simplified (GBK)"},
};

constexpr const wchar_t* CONNECTION_PREFIX = L"Last connection: ";

int ChoiceIndex(SiteEncryption encryption)
{
    for (std::size_t index = 0; index < std::size(ENCRYPTION_CHOICES); ++index) {
        if (ENCRYPTION_CHOICES[index].value == encryption) return static_cast<int>(index);
    }
    return -1;
}

int CharsetIndex(std::uint32_t codePage)
{
    for (std::size_t index = 0; index < std::size(CHARSET_CHOICES); ++index) {
        if (CHARSET_CHOICES[index].codePage == codePage) return static_cast<int>(index);
    }
    return 0;
}

bool RequiresTls(SiteEncryption encryption)
{
    return encryption == SiteEncryption::RequireExplicit || encryption == SiteEncryption::RequireImplicit;
}

std::wstring TimeoutRangeMessage()
{
    return L"Please enter a timeout between " + std::to_wstring(MIN_SITE_TIMEOUT_SECONDS) + L" and " +
           std::to_wstring(MAX_SITE_TIMEOUT_SECONDS) + L" seconds.";
}

bool StartsWithUrlPrefix(const std::wstring& host)
{
    return host.size() >= URL_PREFIX.size() &&
           LabelsEqual(std::wstring_view(host).substr(0, URL_PREFIX.size()), URL_PREFIX);
}

} // namespace

int SiteMessageBox(HWND owner, const wchar_t* text, UINT type)
{
    fw::App* app = fw::GetApp();
    std::wstring caption = app ? app->GetAppName() : std::wstring();
    if (caption.empty()) caption = fw::Window(owner).GetText();
    return ::MessageBoxW(owner, text, caption.c_str(), type);
}

CSiteProp::CSiteProp(const SiteList& siteList) : fw::Dialog(SharedDialogs().siteProperties), siteList(siteList) {}

void CSiteProp::LoadFrom(const SiteRecord& site)
{
    label = ::GetText(site.label);
    host = ::GetText(site.host);
    port = site.port;
    passive = site.passive != 0;
    encryption = GetSiteEncryption(site);
    login = ::GetText(site.user);
    password = ::GetText(site.password);
    anonymous = site.anonymous != 0;
    timeout = site.timeout;
    directory = ::GetText(site.directory);
    keepAlive = site.keepAlive != 0;
    parentGroup = site.parentId;
    codePage = GetSiteCodePage(site);
    preferMlsd = PrefersMlsd(site);
    firewallType = site.firewallType;
    firewallHost = ::GetText(site.firewallHost);
    firewallPort = site.firewallPort;
    firewallUser = ::GetText(site.firewallUser);
    firewallPassword = ::GetText(site.firewallPassword);
}

void CSiteProp::StoreTo(SiteRecord& site) const
{
    ::SetText(site.label, label);
    ::SetText(site.host, host);
    site.port = port;
    site.passive = passive ? 1 : 0;
    SetSiteEncryption(site, encryption);
    ::SetText(site.user, login);
    ::SetText(site.password, password);
    site.anonymous = anonymous ? 1 : 0;
    site.timeout = timeout;
    ::SetText(site.directory, directory);
    site.keepAlive = keepAlive ? 1 : 0;
    site.parentId = parentGroup;
    SetSiteCodePage(site, codePage);
    SetPrefersMlsd(site, preferMlsd);
    site.firewallType = firewallType;
    ::SetText(site.firewallHost, firewallHost);
    site.firewallPort = firewallPort;
    ::SetText(site.firewallUser, firewallUser);
    ::SetText(site.firewallPassword, firewallPassword);
}

BOOL CSiteProp::OnInitDialog()
{
    for (int id : {IDC_SITE_LABEL, IDC_SITE_HOST, IDC_SITE_LOGIN, IDC_SITE_PASSWORD, IDC_SITE_DIRECTORY})
        fw::Edit(Child(id)).LimitText(static_cast<int>(SITE_TEXT_MAX_UNITS));
    // The entries must exist before the exchange selects the member's one.
    encryptionCombo = fw::ComboBox(Child(IDC_SITE_ENCRYPTION));
    for (const EncryptionChoice& choice : ENCRYPTION_CHOICES)
        encryptionCombo.AddString(choice.label);
    shownEncryption = encryption;
    const fw::ComboBox charsetCombo(Child(IDC_SITE_CHARSET));
    for (const CharsetChoice& choice : CHARSET_CHOICES)
        charsetCombo.AddString(choice.label);
    Child(IDC_SITE_CONNECTION).SetText(connectionText.empty() ? std::wstring() : CONNECTION_PREFIX + connectionText);
    fw::Dialog::OnInitDialog();
    parentCombo = fw::ComboBox(Child(static_cast<int>(SharedDialogs().siteParent)));
    FillParentGroups();
    openingLabel = label;
    return TRUE;
}

void CSiteProp::FillParentGroups()
{
    parentCombo.ResetContent();
    int index = parentCombo.AddString(L"No Parent Group");
    parentCombo.SetItemData(index, NO_GROUP);
    parentCombo.SetCurSel(index);
    for (const SiteRecord& record : siteList) {
        if (!IsGroup(record)) continue;
        index = parentCombo.AddString(::GetText(record.label));
        parentCombo.SetItemData(index, record.groupId);
        if (record.groupId == parentGroup) parentCombo.SetCurSel(index);
    }
}

bool CSiteProp::OnCommand(UINT id, UINT code)
{
    if (id == IDC_SITE_PROXY && code == BN_CLICKED) {
        RunProxyDialog();
        return true;
    }
    if (id == IDC_SITE_ENCRYPTION && code == CBN_SELCHANGE) {
        OnEncryptionChanged();
        return true;
    }
    return fw::Dialog::OnCommand(id, code);
}

// Implicit FTP over TLS has a port of its own. The port follows the choice only between the
// two standard ports, and only into and out of implicit, so that a port the user typed, or
// an older site's plain server on 990, stays as it is.
void CSiteProp::OnEncryptionChanged()
{
    const int choice = encryptionCombo.GetCurSel();
    if (choice < 0) return;
    const SiteEncryption chosen = ENCRYPTION_CHOICES[choice].value;
    const bool toImplicit = chosen == SiteEncryption::RequireImplicit;
    const bool fromImplicit = shownEncryption == SiteEncryption::RequireImplicit;
    shownEncryption = chosen;
    const fw::Window portEdit = Child(IDC_SITE_PORT);
    const std::wstring portText = portEdit.GetText();
    if (toImplicit && !fromImplicit && portText == std::to_wstring(DEFAULT_SITE_PORT))
        portEdit.SetText(std::to_wstring(IMPLICIT_TLS_PORT));
    else if (fromImplicit && !toImplicit && portText == std::to_wstring(IMPLICIT_TLS_PORT))
        portEdit.SetText(std::to_wstring(DEFAULT_SITE_PORT));
}

void CSiteProp::RunProxyDialog()
{
    CProxyDlg proxy;
    proxy.mode = firewallType;
    proxy.host = firewallHost;
    proxy.port = firewallPort;
    proxy.user = firewallUser;
    proxy.password = firewallPassword;
    if (proxy.DoModal(Handle()) != IDOK) return;
    firewallType = proxy.mode;
    firewallHost = proxy.host;
    firewallPort = static_cast<std::uint16_t>(proxy.port);
    firewallUser = proxy.user;
    firewallPassword = proxy.password;
}

void CSiteProp::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_SITE_LABEL, label);
    exchange.Text(IDC_SITE_HOST, host);
    exchange.Int(IDC_SITE_PORT, port);
    exchange.Check(IDC_SITE_PASSIVE, passive);
    int choice = ChoiceIndex(encryption);
    exchange.ComboSelection(IDC_SITE_ENCRYPTION, choice);
    if (exchange.IsSaving() && choice >= 0) encryption = ENCRYPTION_CHOICES[choice].value;
    exchange.Text(IDC_SITE_LOGIN, login);
    exchange.Text(IDC_SITE_PASSWORD, password);
    exchange.Check(IDC_SITE_ANONYMOUS, anonymous);
    exchange.UInt(IDC_SITE_TIMEOUT, timeout);
    if (exchange.IsSaving() && !exchange.Failed() &&
        (timeout < MIN_SITE_TIMEOUT_SECONDS || timeout > MAX_SITE_TIMEOUT_SECONDS))
        exchange.Fail(IDC_SITE_TIMEOUT, TimeoutRangeMessage());
    exchange.Text(IDC_SITE_DIRECTORY, directory);
    exchange.Check(IDC_SITE_KEEP_ALIVE, keepAlive);
    int charset = CharsetIndex(codePage);
    exchange.ComboSelection(IDC_SITE_CHARSET, charset);
    if (exchange.IsSaving() && charset >= 0) codePage = CHARSET_CHOICES[charset].codePage;
    exchange.Check(IDC_SITE_MLSD, preferMlsd);
}

void CSiteProp::OnOK()
{
    if (!UpdateData(true)) return;
    if (label.empty()) {
        SiteMessageBox(Handle(), L"The site label cannot be empty.", MB_ICONERROR | MB_OK);
        return;
    }
    // Only the case of the site's own label may change; any other taken label is refused.
    if (!LabelsEqual(label, openingLabel) && siteList.FindSite(label) != nullptr) {
        SiteMessageBox(Handle(), L"A site or group with this label already exists.", MB_ICONERROR | MB_OK);
        return;
    }
    if (firewallType != FIREWALL_TYPE_NONE && RequiresTls(encryption)) {
        SiteMessageBox(Handle(), nsFTP::TLS_THROUGH_FIREWALL_TEXT, MB_ICONERROR | MB_OK);
        encryptionCombo.SetFocus();
        return;
    }
    if (StartsWithUrlPrefix(host)) {
        host.erase(0, URL_PREFIX.size());
        UpdateData(false);
    }
    int selection = parentCombo.GetCurSel();
    if (selection >= 0) parentGroup = static_cast<std::int32_t>(parentCombo.GetItemData(selection));
    EndDialog(IDOK);
}
