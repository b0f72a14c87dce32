// The Site Manager under a private registry key: building, sorting and changing the tree,
// its refusals and confirmations, the item data after a delete, the firewall settings and
// the encryption reaching the stored record, how the dialog ends, Connect against the
// scripted server, the connection's encryption in Site Properties, and the timeout a stored
// site connects with.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SharedResource.h"
#include "engine/BlockingSocket.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "sitedialogs/SiteManager.h"
#include "sites/SiteStore.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"

using namespace sitetests;

namespace {

const std::wstring TEST_KEY = L"Software\\FTPClient\\SiteDialogTests";
const std::wstring SITE_MANAGER = L"Site Manager";
const std::wstring SITE_PROPERTIES = L"Site Properties";
const std::wstring NEW_GROUP = L"New Group";
const std::wstring PROXY_SETTINGS = L"FTP Proxy Server Settings";
const std::wstring DUPLICATE = L"A site or group with this label already exists.";
// The Encryption list's "if available" entry: a firewall mode needs it (or plain FTP).
constexpr int IF_AVAILABLE_ENTRY = 1;

class SocketLibraryEnvironment : public ::testing::Environment {
    nsSocket::SocketLibrary library;
};
[[maybe_unused]] const auto* registered = ::testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class SiteManagerTest : public ::testing::Test {
protected:
    void SetUp() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY); }
    void TearDown() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY); }

    void StoreGroup(const std::wstring& label, std::int32_t id)
    {
        SiteRecord group = DefaultSiteRecord();
        ::SetText(group.label, label);
        group.groupId = id;
        ASSERT_GE(AddSite(session.siteList, group, nullptr, TEST_KEY), 0);
    }
    void StoreSite(const std::wstring& label, std::int32_t parent = NO_GROUP)
    {
        SiteRecord site = DefaultSiteRecord();
        ::SetText(site.label, label);
        site.parentId = parent;
        ASSERT_GE(AddSite(session.siteList, site, nullptr, TEST_KEY), 0);
    }

    INT_PTR Run(DialogScript& script)
    {
        CSiteManager manager(session, TEST_KEY);
        INT_PTR result = manager.DoModal();
        titleText = manager.TitleText();
        EXPECT_TRUE(script.Finished());
        for (const std::wstring& failure : script.Failures())
            ADD_FAILURE() << Narrow(failure);
        return result;
    }

    // Opens the manager only to read its tree.
    std::vector<std::wstring> TreeAfterReopening()
    {
        std::vector<std::wstring> lines;
        DialogScript script;
        script.On(SITE_MANAGER, [&](HWND manager) {
            lines = TreeLines(manager);
            PostMessageW(manager, WM_COMMAND, IDCANCEL, 0);
        });
        Run(script);
        return lines;
    }

    SiteRecord Stored(const std::wstring& label)
    {
        SiteList list;
        LoadSites(list, TEST_KEY);
        const SiteRecord* record = list.FindSite(label);
        EXPECT_NE(record, nullptr) << Narrow(label);
        return record ? *record : SiteRecord{};
    }

    ConnectionSession session;
    std::wstring titleText;
};

// Chooses an entry of the New button's pop-up menu by the command the menu returns.
// (Wine's menu loop does not run the thread timers that play these scripts, so the menu
// itself is not opened here.)
void ChooseFromNewMenu(DialogScript& script, int entry)
{
    script.On(SITE_MANAGER, [entry](HWND manager) {
        PostMessageW(manager, WM_COMMAND, entry == 0 ? ID_SITE_NEW_GROUP : ID_SITE_NEW_SITE, 0);
    });
}

void AddGroupThroughMenu(DialogScript& script, const std::wstring& label)
{
    ChooseFromNewMenu(script, 0);
    script.On(NEW_GROUP, [label](HWND prompt) {
        EXPECT_EQ(SendDlgItemMessageW(prompt, IDC_TEXT_EDIT, EM_GETLIMITTEXT, 0, 0), 95);
        SetText(prompt, IDC_TEXT_EDIT, label);
        Click(prompt, IDOK);
    });
}

// parentEntry: the entry of the parent list to choose (0 is "No Parent Group").
void AddSiteThroughMenu(DialogScript& script, const std::wstring& label, int parentEntry)
{
    ChooseFromNewMenu(script, 1);
    script.On(SITE_PROPERTIES, [label, parentEntry](HWND dialog) {
        SetText(dialog, IDC_SITE_LABEL, label);
        SetText(dialog, IDC_SITE_HOST, label + L".example");
        SendDlgItemMessageW(dialog, IDC_SITE_PARENT, CB_SETCURSEL, parentEntry, 0);
        Click(dialog, IDOK);
    });
}

} // namespace

TEST_F(SiteManagerTest, CreatesEditsAndDeletesAndSortsGroupsBeforeSitesAfterReopening)
{
    DialogScript script;
    script.On(SITE_MANAGER, [](HWND manager) {
        EXPECT_TRUE(TreeLines(manager).empty());
        auto images = reinterpret_cast<HIMAGELIST>(
            SendDlgItemMessageW(manager, IDC_SITE_TREE, TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
        EXPECT_EQ(ImageList_GetImageCount(images), 2);
    });
    AddGroupThroughMenu(script, L"zeta");
    AddGroupThroughMenu(script, L"Alpha");
    AddSiteThroughMenu(script, L"Gamma", 0);
    AddSiteThroughMenu(script, L"beta", 2);  // Alpha
    AddSiteThroughMenu(script, L"delta", 1); // zeta
    AddSiteThroughMenu(script, L"Able", 0);
    script.On(SITE_MANAGER, [](HWND manager) {
        // Items added in this run keep their insertion places.
        EXPECT_EQ(TreeLines(manager),
                  (std::vector<std::wstring>{L"zeta", L"  delta", L"Alpha", L"  beta", L"Gamma", L"Able"}));
        SendMessageW(manager, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(script), IDCANCEL);
    EXPECT_EQ(TreeAfterReopening(),
              (std::vector<std::wstring>{L"Alpha", L"  beta", L"zeta", L"  delta", L"Able", L"Gamma"}));
    EXPECT_EQ(GetText(Stored(L"delta").host), L"delta.example");

    // Gamma becomes gamma2 under Alpha; Able is kept by Cancel, then deleted.
    DialogScript edits;
    edits
        .On(SITE_MANAGER,
            [](HWND manager) {
                ASSERT_TRUE(SelectTreeItem(manager, L"Gamma"));
                PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0);
            })
        .On(SITE_PROPERTIES,
            [](HWND dialog) {
                EXPECT_EQ(Text(dialog, IDC_SITE_HOST), L"Gamma.example");
                SetText(dialog, IDC_SITE_LABEL, L"gamma2");
                SendDlgItemMessageW(dialog, IDC_SITE_PARENT, CB_SETCURSEL, 1, 0); // Alpha, first group stored
                Click(dialog, IDOK);
            })
        .On(SITE_MANAGER,
            [](HWND manager) {
                EXPECT_EQ(TreeLines(manager),
                          (std::vector<std::wstring>{L"Alpha", L"  beta", L"  gamma2", L"zeta", L"  delta", L"Able"}));
                ASSERT_TRUE(SelectTreeItem(manager, L"Able"));
                PostMessageW(GetDlgItem(manager, IDC_SITE_DELETE), BM_CLICK, 0, 0);
            })
        .AnswerMessage(IDCANCEL)
        .On(SITE_MANAGER, [](HWND manager) { PostMessageW(GetDlgItem(manager, IDC_SITE_DELETE), BM_CLICK, 0, 0); })
        .AnswerMessage(IDOK)
        .On(SITE_MANAGER, [](HWND manager) { PostMessageW(manager, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(Run(edits), IDCANCEL);
    EXPECT_EQ(edits.Messages(),
              (std::vector<std::wstring>{L"Are you sure you want to delete the selected site from Site Manager?",
                                         L"Are you sure you want to delete the selected site from Site Manager?"}));
    EXPECT_EQ(TreeAfterReopening(), (std::vector<std::wstring>{L"Alpha", L"  beta", L"  gamma2", L"zeta", L"  delta"}));
    SiteList stored;
    LoadSites(stored, TEST_KEY);
    EXPECT_EQ(stored.Size(), 5u);
    EXPECT_EQ(stored.IndexOf(L"Gamma"), -1);
    EXPECT_EQ(stored.IndexOf(L"Able"), -1);
}

TEST_F(SiteManagerTest, RefusesLabelsTakenBySitesOrGroupsButAcceptsACaseChange)
{
    StoreGroup(L"Tools", 0);
    StoreSite(L"Home");
    DialogScript script;
    AddGroupThroughMenu(script, L"HOME");
    script.AnswerMessage(IDOK);
    ChooseFromNewMenu(script, 1);
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        SetText(dialog, IDC_SITE_LABEL, L"tools");
        Click(dialog, IDOK);
    });
    script.AnswerMessage(IDOK);
    script.On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDCANCEL); });
    script.On(SITE_MANAGER, [](HWND manager) {
        ASSERT_TRUE(SelectTreeItem(manager, L"Tools"));
        PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0);
    });
    script.On(NEW_GROUP, [](HWND prompt) {
        EXPECT_EQ(Text(prompt, IDC_TEXT_EDIT), L"Tools");
        SetText(prompt, IDC_TEXT_EDIT, L"home");
        Click(prompt, IDOK);
    });
    script.AnswerMessage(IDOK);
    script.On(SITE_MANAGER, [](HWND manager) { PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0); });
    script.On(NEW_GROUP, [](HWND prompt) {
        SetText(prompt, IDC_TEXT_EDIT, L"TOOLS");
        Click(prompt, IDOK);
    });
    script.On(SITE_MANAGER, [](HWND manager) {
        EXPECT_EQ(TreeLines(manager), (std::vector<std::wstring>{L"TOOLS", L"Home"}));
        ASSERT_TRUE(SelectTreeItem(manager, L"Home"));
        PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0);
    });
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        SetText(dialog, IDC_SITE_LABEL, L"hOmE");
        Click(dialog, IDOK);
    });
    script.On(SITE_MANAGER, [](HWND manager) {
        EXPECT_EQ(TreeLines(manager), (std::vector<std::wstring>{L"TOOLS", L"hOmE"}));
        PostMessageW(manager, WM_COMMAND, IDCANCEL, 0);
    });
    Run(script);
    EXPECT_EQ(script.Messages(), (std::vector<std::wstring>{DUPLICATE, DUPLICATE, DUPLICATE}));

    // Registry value names ignore case, so the stored names are checked through enumeration.
    std::vector<std::wstring> names;
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY);
    std::wstring name;
    for (DWORD i = 0; key.EnumValue(i, name); ++i)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"TOOLS", L"hOmE"}));
}

TEST_F(SiteManagerTest, DeletesOnlyGroupsWithoutItemsAndKeepsItemDataRight)
{
    StoreSite(L"First");
    StoreGroup(L"Busy", 0);
    StoreSite(L"Inside", 0);
    StoreGroup(L"Lonely", 1);
    StoreSite(L"Stray", 9); // names no group: listed at the top level
    DialogScript script;
    script
        .On(SITE_MANAGER,
            [](HWND manager) {
                ASSERT_TRUE(SelectTreeItem(manager, L"Busy"));
                PostMessageW(GetDlgItem(manager, IDC_SITE_DELETE), BM_CLICK, 0, 0);
            })
        .AnswerMessage(IDOK)
        .On(SITE_MANAGER,
            [](HWND manager) {
                ASSERT_TRUE(SelectTreeItem(manager, L"First"));
                PostMessageW(GetDlgItem(manager, IDC_SITE_DELETE), BM_CLICK, 0, 0);
            })
        .AnswerMessage(IDOK)
        .On(SITE_MANAGER,
            [this](HWND manager) {
                for (const wchar_t* label : {L"Busy", L"Inside", L"Lonely", L"Stray"})
                    EXPECT_EQ(TreeItemData(manager, label), session.siteList.IndexOf(label)) << Narrow(label);
                ASSERT_TRUE(SelectTreeItem(manager, L"Lonely"));
                PostMessageW(GetDlgItem(manager, IDC_SITE_DELETE), BM_CLICK, 0, 0);
            })
        .AnswerMessage(IDOK);
    // A site added to a group after the deletes lands under that group.
    AddSiteThroughMenu(script, L"Later", 1); // Busy
    script.On(SITE_MANAGER, [this](HWND manager) {
        EXPECT_EQ(TreeLines(manager), (std::vector<std::wstring>{L"Busy", L"  Inside", L"  Later", L"Stray"}));
        for (const wchar_t* label : {L"Busy", L"Inside", L"Stray", L"Later"})
            EXPECT_EQ(TreeItemData(manager, label), session.siteList.IndexOf(label)) << Narrow(label);
        SendMessageW(manager, WM_CLOSE, 0, 0);
    });
    Run(script);
    EXPECT_EQ(script.Messages(),
              (std::vector<std::wstring>{L"The group is not empty.",
                                         L"Are you sure you want to delete the selected site from Site Manager?",
                                         L"Are you sure you want to delete the selected group?"}));
}

TEST_F(SiteManagerTest, FirewallSettingsOfNewAndEditedSitesAreStored)
{
    DialogScript script;
    ChooseFromNewMenu(script, 1);
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        SetText(dialog, IDC_SITE_LABEL, L"Plain");
        Click(dialog, IDOK);
    });
    ChooseFromNewMenu(script, 1);
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        SetText(dialog, IDC_SITE_LABEL, L"Walled");
        Choose(dialog, IDC_SITE_ENCRYPTION, IF_AVAILABLE_ENTRY);
        Click(dialog, IDC_SITE_PROXY);
    });
    script.On(PROXY_SETTINGS, [](HWND proxy) {
        EXPECT_EQ(SendDlgItemMessageW(proxy, IDC_PROXY_MODE, CB_GETCURSEL, 0, 0), 0);
        SendDlgItemMessageW(proxy, IDC_PROXY_MODE, CB_SETCURSEL, 6, 0);
        SetText(proxy, IDC_PROXY_HOST, L"gate");
        SetText(proxy, IDC_PROXY_PORT, L"1021");
        SetText(proxy, IDC_PROXY_USER, L"fwuser");
        SetText(proxy, IDC_PROXY_PASSWORD, L"fwpass");
        Click(proxy, IDOK);
    });
    script.On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDOK); });
    script.On(SITE_MANAGER, [](HWND manager) {
        ASSERT_TRUE(SelectTreeItem(manager, L"Plain"));
        PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0);
    });
    script.On(SITE_PROPERTIES, [](HWND dialog) { Click(dialog, IDC_SITE_PROXY); });
    script.On(PROXY_SETTINGS, [](HWND proxy) {
        SendDlgItemMessageW(proxy, IDC_PROXY_MODE, CB_SETCURSEL, 1, 0);
        SetText(proxy, IDC_PROXY_HOST, L"site-gate");
        Click(proxy, IDOK);
    });
    script.On(SITE_PROPERTIES, [](HWND dialog) {
        Choose(dialog, IDC_SITE_ENCRYPTION, IF_AVAILABLE_ENTRY);
        Click(dialog, IDOK);
    });
    script.On(SITE_MANAGER, [](HWND manager) { PostMessageW(manager, WM_COMMAND, IDCANCEL, 0); });
    Run(script);

    SiteRecord walled = Stored(L"Walled");
    EXPECT_EQ(walled.firewallType, 6);
    EXPECT_EQ(GetText(walled.firewallHost), L"gate");
    EXPECT_EQ(walled.firewallPort, 1021);
    EXPECT_EQ(GetText(walled.firewallUser), L"fwuser");
    EXPECT_EQ(GetText(walled.firewallPassword), L"fwpass");
    EXPECT_EQ(walled.timeout, 10u);
    EXPECT_EQ(GetSiteEncryption(walled), SiteEncryption::IfAvailable);
    SiteRecord plain = Stored(L"Plain");
    EXPECT_EQ(plain.firewallType, 1);
    EXPECT_EQ(GetText(plain.firewallHost), L"site-gate");
    EXPECT_EQ(plain.firewallPort, 21);
    EXPECT_EQ(GetSiteEncryption(plain), SiteEncryption::IfAvailable);
}

TEST_F(SiteManagerTest, EscCloseBoxAndOkAllEndWithCancel)
{
    for (UINT message : {0u, 1u, 2u}) {
        DialogScript script;
        script.On(SITE_MANAGER, [message](HWND manager) {
            if (message == 0) PostMessageW(manager, WM_COMMAND, IDCANCEL, 0);
            if (message == 1) PostMessageW(manager, WM_CLOSE, 0, 0);
            if (message == 2) PostMessageW(manager, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(Run(script), IDCANCEL) << message;
        EXPECT_TRUE(titleText.empty());
    }
}

TEST_F(SiteManagerTest, ConnectOpensTheSelectedSiteAndReportsTheTitle)
{
    testsupport::ScriptedServer server;
    server.Reply("220 Ready\r\n")
        .On("USER joe", "331 Password\r\n")
        .On("PASS pw", "230 In\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/home/joe\"\r\n")
        .On("CWD /home/joe/www", "250 Done\r\n")
        .On("QUIT", "221 Bye\r\n");
    server.Start();

    StoreGroup(L"Servers", 0);
    SiteRecord site = DefaultSiteRecord();
    // The script speaks plain FTP; new sites would ask for TLS first.
    SetSiteEncryption(site, SiteEncryption::PlainOnly);
    ::SetText(site.label, L"Local");
    ::SetText(site.host, L"127.0.0.1");
    site.port = server.Port();
    ::SetText(site.user, L"joe");
    ::SetText(site.password, L"pw");
    ::SetText(site.directory, L"www");
    site.parentId = 0;
    ASSERT_GE(AddSite(session.siteList, site, nullptr, TEST_KEY), 0);

    DialogScript script;
    script.On(SITE_MANAGER, [](HWND manager) {
        // A group is not a site: nothing happens and the dialog stays.
        ASSERT_TRUE(SelectTreeItem(manager, L"Servers"));
        Click(manager, IDC_SITE_CONNECT);
        ASSERT_TRUE(SelectTreeItem(manager, L"Local"));
        // The double-click reaches the dialog as the tree's notification.
        NMHDR header = {GetDlgItem(manager, IDC_SITE_TREE), IDC_SITE_TREE, static_cast<UINT>(NM_DBLCLK)};
        SendMessageW(manager, WM_NOTIFY, IDC_SITE_TREE, reinterpret_cast<LPARAM>(&header));
    });
    EXPECT_EQ(Run(script), IDOK);
    EXPECT_EQ(titleText, L"Local (127.0.0.1:" + std::to_wstring(server.Port()) + L")");
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(session.homeDirectory, L"/home/joe");
    EXPECT_EQ(GetText(session.currentSite.label), L"Local");
    session.LogOff();
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(5)));
    EXPECT_TRUE(server.Failures().empty());
    std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(commands, (std::vector<std::string>{"USER joe", "PASS pw", "FEAT", "PWD", "CWD /home/joe/www", "QUIT"}));
}

// Site Properties names the encryption of the site's last connection, also once it is gone
// (Connect logs off before the Site Manager opens), and nothing for any other site.
TEST_F(SiteManagerTest, SitePropertiesShowTheEncryptionOfTheLastConnection)
{
    testsupport::ScriptedServer server;
    server.Reply("220 Ready\r\n")
        .On("USER joe", "331 Password\r\n")
        .On("PASS pw", "230 In\r\n")
        .On("FEAT", "502 Command not supported\r\n")
        .On("PWD", "257 \"/\"\r\n")
        .On("QUIT", "221 Bye\r\n");
    server.Start();
    SiteRecord local = DefaultSiteRecord();
    ::SetText(local.label, L"Local");
    ::SetText(local.host, L"127.0.0.1");
    local.port = server.Port();
    ::SetText(local.user, L"joe");
    ::SetText(local.password, L"pw");
    SetSiteEncryption(local, SiteEncryption::PlainOnly);
    SiteRecord sameServer = local;
    ::SetText(sameServer.label, L"Same server");
    SiteRecord otherPort = local;
    ++otherPort.port;
    SiteRecord otherHost = local;
    ::SetText(otherHost.host, L"localhost");
    SiteRecord relabelled = local;
    ::SetText(relabelled.label, L"LOCAL");
    ASSERT_GE(AddSite(session.siteList, local, nullptr, TEST_KEY), 0);
    ASSERT_GE(AddSite(session.siteList, sameServer, nullptr, TEST_KEY), 0);
    ASSERT_TRUE(OpenSite(session, local));

    const struct {
        const SiteRecord& site;
        std::wstring text;
    } cases[] = {{local, L"Not encrypted"},
                 {relabelled, L"Not encrypted"},
                 {sameServer, L""},
                 {otherPort, L""},
                 {otherHost, L""}};
    for (const auto& test : cases)
        EXPECT_EQ(LastConnectionText(session, test.site), test.text) << Narrow(GetText(test.site.label));

    const struct {
        std::wstring label;
        std::wstring shown;
    } edits[] = {{L"Local", L"Last connection: Not encrypted"}, {L"Same server", L""}};
    DialogScript script;
    for (const auto& edit : edits) {
        script.On(SITE_MANAGER, [&edit](HWND manager) {
            ASSERT_TRUE(SelectTreeItem(manager, edit.label));
            PostMessageW(GetDlgItem(manager, IDC_SITE_EDIT), BM_CLICK, 0, 0);
        });
        script.On(SITE_PROPERTIES, [&edit](HWND dialog) {
            EXPECT_EQ(Text(dialog, IDC_SITE_CONNECTION), edit.shown);
            Click(dialog, IDCANCEL);
        });
    }
    script.On(SITE_MANAGER, [](HWND manager) { PostMessageW(manager, WM_COMMAND, IDCANCEL, 0); });
    Run(script);

    session.LogOff();
    EXPECT_EQ(LastConnectionText(session, local), L"Not encrypted");
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(5)));
    EXPECT_TRUE(server.Failures().empty());
}

// Accepts the test server's self-signed certificate.
class AcceptingQuestions : public nsFTP::ITlsQuestions {
public:
    bool ContinueWithoutTls(const nsFTP::LogonSettings&) override { return false; }
    bool AcceptCertificate(const nsFTP::LogonSettings&, const nsSocket::TlsSessionInfo&) override { return true; }
};

TEST(LastConnectionText, NamesTheTlsVersionAndCipherOfAnEncryptedConnection)
{
    std::string why;
    const auto server = testsupport::RealServer::Start(testsupport::ServerKind::VsftpdTls, &why);
    if (!server) GTEST_SKIP() << why;
    SiteRecord site = DefaultSiteRecord();
    ::SetText(site.label, L"Encrypted");
    ::SetText(site.host, L"127.0.0.1");
    site.port = server->Info().port;
    ::SetText(site.user, std::wstring(server->Info().user.begin(), server->Info().user.end()));
    ::SetText(site.password, std::wstring(server->Info().password.begin(), server->Info().password.end()));
    ConnectionSession session;
    AcceptingQuestions questions;
    session.unattendedAnswers = &questions;
    ASSERT_TRUE(OpenSite(session, site));

    const nsSocket::TlsSessionInfo* tls = session.Engine().TlsSession();
    ASSERT_NE(tls, nullptr);
    ASSERT_FALSE(tls->cipher.empty());
    EXPECT_EQ(LastConnectionText(session, site), tls->version + L", " + tls->cipher);
    EXPECT_EQ(LastConnectionText(session, site).rfind(L"TLS 1.", 0), 0u);
    session.LogOff();
}

// A stored record may hold any timeout; the connection gets one that Site Properties would
// accept, so neither 0 nor a value past the int range fails every wait at once.
TEST(OpenSite, AStoredTimeoutOutsideTheAcceptedRangeIsClamped)
{
    // Long enough that a zero timeout fails; short beside the smallest accepted one (1 s),
    // which a loaded machine must not miss.
    constexpr auto slowGreeting = std::chrono::milliseconds(50);
    for (std::uint32_t stored : {0u, std::numeric_limits<std::uint32_t>::max()}) {
        testsupport::ScriptedServer server;
        server.Delay(slowGreeting)
            .Reply("220 Ready\r\n")
            .On("USER joe", "331 Password\r\n")
            .On("PASS pw", "230 In\r\n")
            .On("FEAT", "502 Command not supported\r\n")
            .On("PWD", "257 \"/home/joe\"\r\n")
            .On("QUIT", "221 Bye\r\n");
        server.Start();
        SiteRecord site = DefaultSiteRecord();
        SetSiteEncryption(site, SiteEncryption::PlainOnly);
        ::SetText(site.host, L"127.0.0.1");
        site.port = server.Port();
        ::SetText(site.user, L"joe");
        ::SetText(site.password, L"pw");
        site.timeout = stored;
        ConnectionSession session;

        EXPECT_TRUE(OpenSite(session, site)) << stored;
        session.LogOff();
        EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(5))) << stored;
        EXPECT_TRUE(server.Failures().empty()) << stored;
    }
}
