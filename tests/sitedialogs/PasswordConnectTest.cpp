// Connect through the Site Manager with "Protect saved passwords" on, under a private key:
// a protected site logs on to a real server with its password; a site whose protected
// value cannot be read here asks for it, and Cancel connects nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SharedResource.h"
#include "framework/Handles.h"
#include "session/ConnectionSession.h"
#include "sitedialogs/SiteManager.h"
#include "sites/ProtectedPasswords.h"
#include "sites/SiteStore.h"
#include "support/RealServers.h"
#include "support/ScriptedServer.h"

using namespace sitetests;

namespace {

const std::wstring TEST_ROOT = L"Software\\OrvidPasswordConnectTests";
const std::wstring TEST_KEY = TEST_ROOT + L"\\Sites";
const std::wstring SITE_MANAGER = L"Site Manager";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class PasswordConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT);
        SetPasswordsProtected(true, TEST_KEY);
    }
    void TearDown() override
    {
        session.LogOff();
        fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT);
    }

    INT_PTR RunManager(DialogScript& script)
    {
        CSiteManager manager(session, TEST_KEY);
        INT_PTR result = manager.DoModal();
        EXPECT_TRUE(script.Finished());
        for (const std::wstring& failure : script.Failures())
            ADD_FAILURE() << std::string(failure.begin(), failure.end());
        return result;
    }

    static SiteRecord PlainSite(const std::wstring& label, std::uint16_t port, const std::wstring& user,
                                const std::wstring& password)
    {
        SiteRecord site = DefaultSiteRecord();
        SetText(site.label, label);
        SetText(site.host, L"127.0.0.1");
        site.port = port;
        SetText(site.user, user);
        SetText(site.password, password);
        site.timeout = 10;
        SetSiteEncryption(site, SiteEncryption::PlainOnly);
        return site;
    }

    ConnectionSession session;
};

} // namespace

TEST_F(PasswordConnectTest, AProtectedSiteLogsOnToARealServer)
{
    std::string why;
    std::unique_ptr<testsupport::RealServer> server =
        testsupport::RealServer::Start(testsupport::ServerKind::Vsftpd, &why);
    if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
    const testsupport::RealServerInfo& info = server->Info();
    ASSERT_GE(AddSite(session.siteList, PlainSite(L"Real", info.port, Wide(info.user), Wide(info.password)), nullptr,
                      TEST_KEY),
              0);
    std::vector<BYTE> stored;
    ASSERT_TRUE(fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY).ReadBinary(L"Real", stored));
    ASSERT_EQ(GetText(DecodeSiteRecord(stored)->password), L"") << "the record holds no password";

    DialogScript script;
    script.On(SITE_MANAGER, [](HWND manager) {
        ASSERT_TRUE(SelectTreeItem(manager, L"Real"));
        Click(manager, IDC_SITE_CONNECT);
    });
    EXPECT_EQ(RunManager(script), IDOK);
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(GetText(session.currentSite.password), Wide(info.password));
}

TEST_F(PasswordConnectTest, AnUnreadablePasswordIsAskedForAndCancelConnectsNothing)
{
    const struct {
        const char* what;
        bool answer;
    } cases[] = {{"answered", true}, {"cancelled", false}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        testsupport::ScriptedServer server;
        server.Reply("220 Ready\r\n")
            .On("USER joe", "331 Password\r\n")
            .On("PASS typed", "230 In\r\n")
            .On("FEAT", "502 Command not supported\r\n")
            .On("PWD", "257 \"/\"\r\n")
            .On("QUIT", "221 Bye\r\n");
        server.Start();
        // A record flagged as protected whose value is gone, as on another machine.
        SiteRecord farSite = PlainSite(L"Far", server.Port(), L"joe", L"");
        SetHasProtectedPassword(farSite, true);
        SiteRecordBytes bytes = EncodeSiteRecord(farSite);
        ASSERT_TRUE(fw::RegistryKey::Create(HKEY_CURRENT_USER, TEST_KEY)
                        .WriteBinary(L"Far", bytes.data(), static_cast<DWORD>(bytes.size())));

        DialogScript script;
        script.On(SITE_MANAGER, [](HWND manager) {
            ASSERT_TRUE(SelectTreeItem(manager, L"Far"));
            Click(manager, IDC_SITE_CONNECT);
        });
        script.On(L"Password for Far", [&](HWND prompt) {
            EXPECT_EQ(SendMessageW(GetDlgItem(prompt, IDC_TEXT_EDIT), EM_GETPASSWORDCHAR, 0, 0), L'*');
            SetText(prompt, IDC_TEXT_EDIT, L"typed");
            Click(prompt, test.answer ? IDOK : IDCANCEL);
        });
        if (!test.answer) script.On(SITE_MANAGER, [](HWND manager) { PostMessageW(manager, WM_COMMAND, IDCANCEL, 0); });

        EXPECT_EQ(RunManager(script), test.answer ? IDOK : IDCANCEL);
        EXPECT_EQ(session.IsConnected(), test.answer);
        session.LogOff();
        if (test.answer) {
            EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10)));
            EXPECT_TRUE(server.Failures().empty());
        } else {
            EXPECT_TRUE(server.Commands().empty());
        }
        std::vector<BYTE> stored;
        ASSERT_TRUE(fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY).ReadBinary(L"Far", stored));
        EXPECT_EQ(std::vector<BYTE>(stored.begin(), stored.end()), std::vector<BYTE>(bytes.begin(), bytes.end()))
            << "what was typed is not saved";
    }
}
