// Site Properties and the firewall dialog, run modally with the user's part played from a
// timer: defaults, the OK checks with their exact messages in order, the host prefix, the
// parent-group list, the firewall settings and the length limits of the text boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SharedResource.h"
#include "sitedialogs/ProxyDlg.h"
#include "sitedialogs/SiteProp.h"

using namespace sitetests;

namespace {

const std::wstring SITE_PROPERTIES = L"Site Properties";
const std::wstring PROXY_SETTINGS = L"FTP Proxy Server Settings";

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
    SiteRecord site = Site(L"Behind");
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
