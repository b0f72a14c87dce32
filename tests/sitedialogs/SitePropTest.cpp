// Site Properties and the firewall dialog, run modally with the user's part played from a
// timer: defaults, the OK checks with their exact messages in order, the host prefix, the
// parent-group list, the firewall settings, the length limits of the text boxes, and the
// encryption: its list, the port that follows implicit TLS, and the refusal of a firewall
// mode under a required TLS; the character set and the MLSD choice.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SharedResource.h"
#include "engine/FTPClient.h"
#include "sitedialogs/ProxyDlg.h"
#include "sitedialogs/SiteProp.h"

using namespace sitetests;

namespace {

const std::wstring SITE_PROPERTIES = L"Site Properties";
const std::wstring PROXY_SETTINGS = L"FTP Proxy Server Settings";
// The Encryption list's entries in their order, and the setting each one stands for.
const std::vector<std::wstring> ENCRYPTION_ENTRIES = {
    L"Require explicit FTP over TLS", L"Use explicit FTP over TLS if available", L"Require implicit FTP over TLS",
    L"Only use plain FTP (insecure)"};
constexpr SiteEncryption ENCRYPTION_VALUES[] = {SiteEncryption::RequireExplicit, SiteEncryption::IfAvailable,
                                                SiteEncryption::RequireImplicit, SiteEncryption::PlainOnly};
constexpr int EXPLICIT_ENTRY = 0;
constexpr int IF_AVAILABLE_ENTRY = 1;
constexpr int IMPLICIT_ENTRY = 2;
constexpr int PLAIN_ENTRY = 3;

SiteRecord Group(const std::wstring& label, std::int32_t id)
{
    SiteRecord group = DefaultSiteRecord();
    ::SetText(group.label, label);
    group.groupId = id;
    return group;
}

SiteRecord Site(const std::wstring& label, std::int32_t parent = NO_GROUP)
{
    SiteRecord site = DefaultSiteRecord();
    ::SetText(site.label, label);
    site.parentId = parent;
    return site;
}

SiteRecord Site(const std::wstring& label, SiteEncryption encryption, std::int32_t port)
{
    SiteRecord site = Site(label);
    SetSiteEncryption(site, encryption);
    site.port = port;
    return site;
}

LRESULT Limit(HWND dialog, int controlId) { return SendDlgItemMessageW(dialog, controlId, EM_GETLIMITTEXT, 0, 0); }

std::vector<std::wstring> ComboEntries(HWND dialog, int controlId)
{
    std::vector<std::wstring> entries;
    LRESULT count = SendDlgItemMessageW(dialog, controlId, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendDlgItemMessageW(dialog, controlId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

int ComboSelection(HWND dialog, int controlId)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, controlId, CB_GETCURSEL, 0, 0));
}

void ExpectNoFailures(const DialogScript& script)
{
    EXPECT_TRUE(script.Finished());
    for (const std::wstring& failure : script.Failures())
        ADD_FAILURE() << std::string(failure.begin(), failure.end());
}

} // namespace

TEST(CSiteProp, NewSiteOpensWithItsDefaultsAndLimitsEveryTextTo95Characters)
{
    SiteList list;
    CSiteProp properties(list);
    DialogScript script;
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_SITE_LABEL), L"");
        EXPECT_EQ(Text(dialog, IDC_SITE_PORT), L"21");
        EXPECT_TRUE(Checked(dialog, IDC_SITE_PASSIVE));
        EXPECT_FALSE(Checked(dialog, IDC_SITE_ANONYMOUS));
        EXPECT_EQ(Text(dialog, IDC_SITE_TIMEOUT), L"10");
        EXPECT_TRUE(Checked(dialog, IDC_SITE_KEEP_ALIVE));
        EXPECT_EQ(ComboEntries(dialog, IDC_SITE_PARENT), std::vector<std::wstring>{L"No Parent Group"});
        EXPECT_EQ(ComboSelection(dialog, IDC_SITE_PARENT), 0);
        EXPECT_EQ(ComboEntries(dialog, IDC_SITE_ENCRYPTION), ENCRYPTION_ENTRIES);
        EXPECT_EQ(ComboSelection(dialog, IDC_SITE_ENCRYPTION), EXPLICIT_ENTRY);
        EXPECT_EQ(Text(dialog, IDC_SITE_CONNECTION), L"");
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_SITE_PROXY)));
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_SITE_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        for (int id : {IDC_SITE_LABEL, IDC_SITE_HOST, IDC_SITE_LOGIN, IDC_SITE_PASSWORD, IDC_SITE_DIRECTORY})
            EXPECT_EQ(Limit(dialog, id), 95) << id;
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(properties.DoModal(), IDCANCEL);
    ExpectNoFailures(script);
}

TEST(CSiteProp, OkChecksRunInOrderWithTheirMessagesAndStripTheUrlPrefix)
{
    SiteList list;
    list.Append(Group(L"Tools", 0));
    list.Append(Site(L"Home"));
    CSiteProp properties(list);
    DialogScript script;
    script
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                SetText(dialog, IDC_SITE_LABEL, L"");
                SetText(dialog, IDC_SITE_PORT, L"twenty");
                SetText(dialog, IDC_SITE_TIMEOUT, L"ten");
                SetText(dialog, IDC_SITE_HOST, L"FTP://myhost/pub:2121");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SITE_PORT));
                SetText(dialog, IDC_SITE_PORT, L"-5");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SITE_TIMEOUT));
                SetText(dialog, IDC_SITE_TIMEOUT, L"-3");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                SetText(dialog, IDC_SITE_TIMEOUT, L"0");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SITE_TIMEOUT));
                SetText(dialog, IDC_SITE_TIMEOUT, L"3601");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                SetText(dialog, IDC_SITE_TIMEOUT, L"30");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                SetText(dialog, IDC_SITE_LABEL, L"tools");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                SetText(dialog, IDC_SITE_LABEL, L"HOME");
                Click(dialog, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(SITE_PROPERTIES, [](HWND dialog) {
            EXPECT_EQ(Text(dialog, IDC_SITE_HOST), L"FTP://myhost/pub:2121");
            SetText(dialog, IDC_SITE_LABEL, L"Work");
            Click(dialog, IDOK);
        });
    EXPECT_EQ(properties.DoModal(), IDOK);
    ExpectNoFailures(script);
    EXPECT_EQ(
        script.Messages(),
        (std::vector<std::wstring>{
            L"Please enter an integer.", L"Please enter a positive integer.", L"Please enter a positive integer.",
            L"Please enter a timeout between 1 and 3600 seconds.",
            L"Please enter a timeout between 1 and 3600 seconds.", L"The site label cannot be empty.",
            L"A site or group with this label already exists.", L"A site or group with this label already exists."}));
    EXPECT_EQ(properties.label, L"Work");
    EXPECT_EQ(properties.host, L"myhost/pub:2121");
    EXPECT_EQ(properties.port, -5);
    EXPECT_EQ(properties.timeout, 30u);
}

TEST(CSiteProp, KeepsAHostWithoutTheFullPrefixAndAcceptsACaseOnlyLabelChange)
{
    SiteList list;
    list.Append(Site(L"Home"));
    CSiteProp properties(list);
    properties.LoadFrom(list[0]);
    DialogScript script;
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_SITE_LABEL), L"Home");
        SetText(dialog, IDC_SITE_LABEL, L"HOME");
        SetText(dialog, IDC_SITE_HOST, L"ftp:/myhost");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(properties.DoModal(), IDOK);
    ExpectNoFailures(script);
    EXPECT_TRUE(script.Messages().empty());
    EXPECT_EQ(properties.label, L"HOME");
    EXPECT_EQ(properties.host, L"ftp:/myhost");
}

TEST(CSiteProp, ParentListHoldsNoParentThenTheGroupsInListOrder)
{
    SiteList list;
    list.Append(Group(L"Zeta", 4));
    list.Append(Site(L"Home", 4));
    list.Append(Group(L"alpha", 0));
    list.Append(Group(L"Mid", 7));
    CSiteProp properties(list);
    properties.LoadFrom(list[1]);
    DialogScript script;
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        EXPECT_EQ(ComboEntries(dialog, IDC_SITE_PARENT),
                  (std::vector<std::wstring>{L"No Parent Group", L"Zeta", L"alpha", L"Mid"}));
        EXPECT_EQ(ComboSelection(dialog, IDC_SITE_PARENT), 1);
        SendDlgItemMessageW(dialog, IDC_SITE_PARENT, CB_SETCURSEL, 3, 0);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(properties.DoModal(), IDOK);
    ExpectNoFailures(script);
    EXPECT_EQ(properties.parentGroup, 7);
}

TEST(CSiteProp, ProxyShowsTheSitesFirewallSettingsAndOkKeepsTheNewOnes)
{
    SiteList list;
    SiteRecord site = Site(L"Behind", SiteEncryption::IfAvailable, DEFAULT_SITE_PORT);
    site.firewallType = 3;
    ::SetText(site.firewallHost, L"gate");
    site.firewallPort = 2121;
    ::SetText(site.firewallUser, L"fw");
    ::SetText(site.firewallPassword, L"secret");
    list.Append(site);
    CSiteProp properties(list);
    properties.LoadFrom(site);
    DialogScript script;
    script.On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDC_SITE_PROXY); })
        .On(PROXY_SETTINGS,
            [](HWND proxy) {
                EXPECT_EQ(ComboEntries(proxy, IDC_PROXY_MODE),
                          (std::vector<std::wstring>{L"No Proxy", L"SITE Hostname", L"USER After Logon", L"Proxy OPEN",
                                                     L"Transparent", L"USER With no Logon", L"USER FireID@Host",
                                                     L"USER RemoteID@Host FireID", L"USER RemoteID@FireID@Host"}));
                EXPECT_EQ(ComboSelection(proxy, IDC_PROXY_MODE), 3);
                EXPECT_EQ(Text(proxy, IDC_PROXY_HOST), L"gate");
                EXPECT_EQ(Text(proxy, IDC_PROXY_PORT), L"2121");
                EXPECT_EQ(Text(proxy, IDC_PROXY_USER), L"fw");
                EXPECT_EQ(Text(proxy, IDC_PROXY_PASSWORD), L"secret");
                EXPECT_TRUE(GetWindowLongW(GetDlgItem(proxy, IDC_PROXY_PASSWORD), GWL_STYLE) & ES_PASSWORD);
                EXPECT_TRUE(IsWindowVisible(GetDlgItem(proxy, IDC_PROXY_TLS_NOTE)));
                EXPECT_NE(Text(proxy, IDC_PROXY_TLS_NOTE).find(L"TLS can't protect a logon"), std::wstring::npos);
                for (int id : {IDC_PROXY_HOST, IDC_PROXY_USER, IDC_PROXY_PASSWORD})
                    EXPECT_EQ(Limit(proxy, id), 95) << id;
                // Typed, then thrown away by Cancel.
                SetText(proxy, IDC_PROXY_HOST, L"ignored");
                Click(proxy, IDCANCEL);
            })
        .On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDC_SITE_PROXY); })
        .On(PROXY_SETTINGS,
            [](HWND proxy) {
                EXPECT_EQ(Text(proxy, IDC_PROXY_HOST), L"gate");
                SendDlgItemMessageW(proxy, IDC_PROXY_MODE, CB_SETCURSEL, 7, 0);
                SetText(proxy, IDC_PROXY_HOST, L"wall.example");
                SetText(proxy, IDC_PROXY_PORT, L"70000");
                SetText(proxy, IDC_PROXY_USER, L"me");
                SetText(proxy, IDC_PROXY_PASSWORD, L"pw");
                Click(proxy, IDOK);
            })
        .AnswerMessage(IDOK)
        .On(PROXY_SETTINGS,
            [](HWND proxy) {
                SetText(proxy, IDC_PROXY_PORT, L"8021");
                Click(proxy, IDOK);
            })
        .On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(properties.DoModal(), IDOK);
    ExpectNoFailures(script);
    EXPECT_EQ(script.Messages(), std::vector<std::wstring>{L"Please enter a port number from 0 to 65535."});

    SiteRecord stored = DefaultSiteRecord();
    properties.StoreTo(stored);
    EXPECT_EQ(stored.firewallType, 7);
    EXPECT_EQ(GetText(stored.firewallHost), L"wall.example");
    EXPECT_EQ(stored.firewallPort, 8021);
    EXPECT_EQ(GetText(stored.firewallUser), L"me");
    EXPECT_EQ(GetText(stored.firewallPassword), L"pw");
    EXPECT_EQ(GetText(stored.label), L"Behind");
}

// Each stored choice opens selected, and each entry chosen is stored: every row opens its
// own setting and leaves with the next row's.
TEST(CSiteProp, EncryptionLoadsAndStoresEveryChoice)
{
    constexpr int count = static_cast<int>(std::size(ENCRYPTION_VALUES));
    for (int row = 0; row < count; ++row) {
        const int next = (row + 1) % count;
        SiteList list;
        list.Append(Site(L"Home", ENCRYPTION_VALUES[row], 2121));
        CSiteProp properties(list);
        properties.LoadFrom(list[0]);
        DialogScript script;
        script.On(SITE_PROPERTIES, [row, next](HWND dialog) {
            EXPECT_EQ(ComboSelection(dialog, IDC_SITE_ENCRYPTION), row);
            Choose(dialog, IDC_SITE_ENCRYPTION, next);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(properties.DoModal(), IDOK) << row;
        ExpectNoFailures(script);
        SiteRecord stored = list[0];
        properties.StoreTo(stored);
        EXPECT_EQ(GetSiteEncryption(stored), ENCRYPTION_VALUES[next]) << row;
        EXPECT_EQ(stored.port, 2121) << row;
    }
}

// Like the encryption, every character set opens selected and every entry chosen is stored,
// and the MLSD box shows and stores the site's choice.
TEST(CSiteProp, CharacterSetAndMlsdLoadAndStoreEveryChoice)
{
    constexpr std::uint32_t codePages[] = {nsFTP::CODE_PAGE_AUTO,
                                           nsFTP::CODE_PAGE_UTF8,
                                           nsFTP::CODE_PAGE_WESTERN,
                                           nsFTP::CODE_PAGE_CYRILLIC,
                                           nsFTP::CODE_PAGE_CENTRAL_EUROPEAN,
                                           nsFTP::CODE_PAGE_JAPANESE,
                                           nsFTP::CODE_PAGE_CHINESE_SIMPLIFIED};
    constexpr int count = static_cast<int>(std::size(codePages));
    for (int row = 0; row < count; ++row) {
        const int next = (row + 1) % count;
        const bool mlsd = row % 2 == 0;
        SiteList list;
        list.Append(Site(L"Home"));
        SetSiteCodePage(list[0], codePages[row]);
        SetPrefersMlsd(list[0], mlsd);
        CSiteProp properties(list);
        properties.LoadFrom(list[0]);
        DialogScript script;
        script.On(SITE_PROPERTIES, [row, next, mlsd](HWND dialog) {
            EXPECT_EQ(ComboEntries(dialog, IDC_SITE_CHARSET),
                      (std::vector<std::wstring>{L"Auto", L"UTF-8", L"Western (Windows-1252)",
                                                 L"Cyrillic (Windows-1251)", L"Central European (Windows-1250)",
                                                 L"Japanese (Shift-JIS)", L"Chinese Simplified (GBK)"}));
            EXPECT_EQ(ComboSelection(dialog, IDC_SITE_CHARSET), row);
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SITE_MLSD), mlsd ? BST_CHECKED : BST_UNCHECKED);
            Choose(dialog, IDC_SITE_CHARSET, next);
            Click(dialog, IDC_SITE_MLSD);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(properties.DoModal(), IDOK) << row;
        ExpectNoFailures(script);
        SiteRecord stored = list[0];
        properties.StoreTo(stored);
        EXPECT_EQ(GetSiteCodePage(stored), codePages[next]) << row;
        EXPECT_EQ(PrefersMlsd(stored), !mlsd) << row;
    }
}

// The port follows implicit TLS between 21 and 990, only into and out of implicit, so that a
// port the user typed and an older site's plain server on 990 keep theirs.
TEST(CSiteProp, PortFollowsImplicitTlsBetweenTheStandardPorts)
{
    const struct {
        SiteEncryption opened;
        std::wstring port;
        std::vector<int> choices;
        std::wstring expectedPort;
    } cases[] = {
        {SiteEncryption::RequireExplicit, L"21", {IMPLICIT_ENTRY}, L"990"},
        {SiteEncryption::RequireImplicit, L"990", {EXPLICIT_ENTRY}, L"21"},
        {SiteEncryption::RequireImplicit, L"990", {PLAIN_ENTRY}, L"21"},
        {SiteEncryption::PlainOnly, L"21", {IMPLICIT_ENTRY, IF_AVAILABLE_ENTRY}, L"21"},
        {SiteEncryption::RequireExplicit, L"2121", {IMPLICIT_ENTRY}, L"2121"},
        {SiteEncryption::RequireImplicit, L"9990", {EXPLICIT_ENTRY}, L"9990"},
        {SiteEncryption::IfAvailable, L"990", {PLAIN_ENTRY, EXPLICIT_ENTRY}, L"990"},
        {SiteEncryption::RequireImplicit, L"990", {IMPLICIT_ENTRY}, L"990"},
    };
    for (const auto& test : cases) {
        SiteList list;
        list.Append(Site(L"Home", test.opened, 0));
        CSiteProp properties(list);
        properties.LoadFrom(list[0]);
        DialogScript script;
        std::wstring shownPort;
        script.On(SITE_PROPERTIES, [&](HWND dialog) {
            SetText(dialog, IDC_SITE_PORT, test.port);
            for (int choice : test.choices)
                Choose(dialog, IDC_SITE_ENCRYPTION, choice);
            shownPort = Text(dialog, IDC_SITE_PORT);
            Click(dialog, IDCANCEL);
        });
        properties.DoModal();
        ExpectNoFailures(script);
        EXPECT_EQ(shownPort, test.expectedPort)
            << std::string(test.port.begin(), test.port.end()) << " " << test.choices.size();
    }
}

// FTP over TLS can't protect a logon that a firewall passes on: OK refuses a firewall mode
// with either "Require", with the engine's reason, and leaves the dialog open on the list.
TEST(CSiteProp, OkRefusesAFirewallModeWhenTlsIsRequired)
{
    const struct {
        std::int32_t firewallType;
        SiteEncryption encryption;
        bool refused;
    } cases[] = {
        {3, SiteEncryption::RequireExplicit, true},
        {8, SiteEncryption::RequireImplicit, true},
        {1, SiteEncryption::IfAvailable, false},
        {5, SiteEncryption::PlainOnly, false},
        {FIREWALL_TYPE_NONE, SiteEncryption::RequireExplicit, false},
        {FIREWALL_TYPE_NONE, SiteEncryption::RequireImplicit, false},
    };
    for (const auto& test : cases) {
        SiteList list;
        SiteRecord site = Site(L"Behind", test.encryption, DEFAULT_SITE_PORT);
        site.firewallType = test.firewallType;
        list.Append(site);
        CSiteProp properties(list);
        properties.LoadFrom(site);
        DialogScript script;
        script.On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDOK); });
        if (test.refused) {
            script.AnswerMessage(IDOK).On(SITE_PROPERTIES, [](HWND dialog) {
                EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_SITE_ENCRYPTION));
                Click(dialog, IDCANCEL);
            });
        }
        EXPECT_EQ(properties.DoModal(), test.refused ? IDCANCEL : IDOK) << test.firewallType;
        ExpectNoFailures(script);
        EXPECT_EQ(script.Messages(), test.refused ? std::vector<std::wstring>{nsFTP::TLS_THROUGH_FIREWALL_TEXT}
                                                  : std::vector<std::wstring>{})
            << test.firewallType;
    }
}
