// The questions of a logon over TLS, on the real frame as the Site Manager connects: the
// certificate dialog against vsftpd with its self-signed certificate for "localhost", the
// plain-FTP question against vsftpd without TLS, what a stored site keeps of the answers,
// and the status bar's account of the connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "engine/FTPClient.h"
#include "framework/Handles.h"
#include "session/CertificateDlg.h"
#include "shell/StatusText.h"
#include "sites/SiteStore.h"
#include "support/WindowAnswerer.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::RealServer;
using testsupport::ScriptedServer;
using testsupport::ServerKind;

namespace {

const std::wstring SITES_TEST_KEY = L"Software\\FTPClient\\TlsQuestionsTest";
const std::wstring CERTIFICATE_CAPTION = L"Server Certificate";
const std::wstring PLAIN_CAPTION = L"Connection Not Encrypted";
constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
constexpr int NO_DIALOG = 0;

// What a dialog showed, read by the answerer before it pressed the button.
struct Shown {
    std::wstring message;
    std::wstring reason;
    std::wstring subject;
    std::wstring fingerprint;
    bool boxChecked = false;
    int defaultButton = 0;
    HWND owner = nullptr;
    bool ownerEnabled = true;
};

class TlsQuestionsTest : public ::testing::Test {
protected:
    void TearDown() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SITES_TEST_KEY); }

    std::unique_ptr<RealServer> StartServer(ServerKind kind)
    {
        std::string why;
        std::unique_ptr<RealServer> server = RealServer::Start(kind, &why);
        if (!server) ADD_FAILURE() << testsupport::ServerName(kind) << " is not available here: " << why;
        return server;
    }

    // The site as the Site Manager holds it: in the session's list and stored.
    void Store(const SiteRecord& site)
    {
        fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, SITES_TEST_KEY);
        Session().siteList.Clear();
        ASSERT_GE(AddSite(Session().siteList, site, nullptr, SITES_TEST_KEY), 0);
    }
    SiteRecord& Listed() { return *Session().siteList.FindSite(LABEL); }
    SiteRecord Saved() const
    {
        SiteList saved;
        LoadSites(saved, SITES_TEST_KEY);
        const SiteRecord* site = saved.FindSite(LABEL);
        return site != nullptr ? *site : SiteRecord{};
    }

    // Connects the listed site as the Site Manager does, while the answerer presses button
    // in the dialog of that caption; what the dialog showed, if one came.
    bool Connect(const std::wstring& caption, int button, bool checkBox, std::vector<Shown>& shown)
    {
        std::mutex lock; // outlives the answerer, whose thread runs the action
        testsupport::WindowAnswerer answerer;
        answerer.OnDialog(caption, [&](HWND dialog) {
            Shown seen;
            seen.message =
                testsupport::ItemText(dialog, caption == PLAIN_CAPTION ? IDC_PLAIN_QUESTION : IDC_CERT_MESSAGE);
            seen.reason = testsupport::ItemText(dialog, IDC_CERT_REASON);
            seen.subject = testsupport::ItemText(dialog, IDC_CERT_SUBJECT);
            seen.fingerprint = testsupport::ItemText(dialog, IDC_CERT_FINGERPRINT);
            seen.boxChecked = IsDlgButtonChecked(dialog, IDC_PLAIN_ALWAYS) == BST_CHECKED;
            seen.defaultButton = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
            seen.owner = GetWindow(dialog, GW_OWNER);
            seen.ownerEnabled = IsWindowEnabled(seen.owner) != FALSE;
            {
                std::lock_guard guard(lock);
                shown.push_back(seen);
            }
            if (checkBox) PostMessageW(GetDlgItem(dialog, IDC_PLAIN_ALWAYS), BM_SETCHECK, BST_CHECKED, 0);
            // A dialog that should not have come is cancelled, so that the test fails, not hangs.
            testsupport::PostCommand(dialog, button != NO_DIALOG ? button : IDCANCEL);
        });
        const bool connected = OpenSite(Session(), SiteRecord(Listed()), SITES_TEST_KEY);
        PumpMessages();
        return connected;
    }

    ConnectionSession& Session() const { return run.Document().Session(); }

    static constexpr const wchar_t* LABEL = L"TLS questions";
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
};

} // namespace

TEST_F(TlsQuestionsTest, UntrustedCertificateIsAskedAboutAndTrustedAlwaysPerSite)
{
    ASSERT_TRUE(run.Started());
    std::unique_ptr<RealServer> server = StartServer(ServerKind::VsftpdTls);
    if (!server) return;
    SiteRecord site = RealServerSite(*server, LABEL);
    SetSiteEncryption(site, SiteEncryption::RequireExplicit);
    Store(site);

    // What the site stores before the connect, and after it.
    enum class Trust { Nothing, TheServers, Another };
    struct Case {
        const char* what;
        Trust before;
        int button; // NO_DIALOG: no dialog may come
        bool changedText;
        bool connects;
        Trust after;
    };
    const Case cases[] = {
        {"Cancel connects nothing", Trust::Nothing, IDCANCEL, false, false, Trust::Nothing},
        {"Trust always keeps the fingerprint", Trust::Nothing, IDC_CERT_TRUST_ALWAYS, false, true, Trust::TheServers},
        {"the certificate trusted always is not asked about", Trust::TheServers, NO_DIALOG, false, true,
         Trust::TheServers},
        {"another certificate trusted always: it changed", Trust::Another, IDC_CERT_THIS_TIME, true, true,
         Trust::Another},
    };
    const std::string another(CERTIFICATE_HASH_BYTES * 2, 'a');
    std::string servers; // learnt from "Trust always"
    auto fingerprint = [&](Trust trust) {
        return trust == Trust::TheServers ? servers : trust == Trust::Another ? another : std::string();
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        ASSERT_TRUE(SetTrustedCertificate(Listed(), fingerprint(test.before)));
        SaveSite(Session().siteList, LABEL, SITES_TEST_KEY);
        reporter.Clear();
        std::vector<Shown> shown;
        const bool connected = Connect(CERTIFICATE_CAPTION, test.button, false, shown);
        EXPECT_EQ(connected, test.connects);
        EXPECT_EQ(Session().IsConnected(), test.connects);
        if (test.after == Trust::TheServers && servers.empty()) servers = TrustedCertificate(Saved());
        EXPECT_EQ(TrustedCertificate(Saved()), fingerprint(test.after));
        EXPECT_EQ(TrustedCertificate(Listed()), fingerprint(test.after));

        ASSERT_EQ(shown.size(), test.button == NO_DIALOG ? 0u : 1u);
        if (!shown.empty()) {
            EXPECT_EQ(shown[0].message, test.changedText ? CERTIFICATE_CHANGED_TEXT : CERTIFICATE_UNTRUSTED_TEXT);
            EXPECT_EQ(shown[0].defaultButton, IDCANCEL);
            // Asked from the logon's worker, shown modal to the window of the waiting thread.
            EXPECT_EQ(shown[0].owner, run.Frame().Handle());
            EXPECT_FALSE(shown[0].ownerEnabled);
            EXPECT_EQ(shown[0].subject, L"CN=localhost");
            // Self-signed, and for "localhost" while the site names 127.0.0.1.
            EXPECT_THAT(shown[0].reason, HasSubstr(L"127.0.0.1"));
            if (!servers.empty()) {
                EXPECT_EQ(shown[0].fingerprint, FingerprintText(servers));
            }
        }
        if (test.connects) {
            EXPECT_THAT(reporter.Errors(), IsEmpty());
            EXPECT_THAT(PaneText(STATUS_PANE_SECURITY), StartsWith(L"TLS 1."));
            run.Document().Disconnect();
            PumpMessages();
            EXPECT_EQ(PaneText(STATUS_PANE_SECURITY), L"");
        } else {
            ASSERT_EQ(reporter.Errors().size(), 1u);
            EXPECT_THAT(reporter.Errors()[0], StartsWith(nsFTP::CERTIFICATE_REFUSED_TEXT));
        }
    }
    EXPECT_EQ(servers.size(), CERTIFICATE_HASH_BYTES * 2);
}

TEST_F(TlsQuestionsTest, ServerWithoutTlsIsAskedAboutBeforeThePassword)
{
    ASSERT_TRUE(run.Started());
    std::unique_ptr<RealServer> server = StartServer(ServerKind::Vsftpd);
    if (!server) return;
    SiteRecord site = RealServerSite(*server, LABEL);
    SetSiteEncryption(site, SiteEncryption::IfAvailable);
    Store(site);

    struct Case {
        const char* what;
        bool allowedBefore;
        int button; // NO_DIALOG: no question may come
        bool checkBox;
        bool connects;
        bool allowedAfter;
    };
    const Case cases[] = {
        {"No connects nothing", false, IDNO, true, false, false},
        {"Yes alone asks again next time", false, IDYES, false, true, false},
        {"Yes with the box is kept for the site", false, IDYES, true, true, true},
        {"a site that allows plain FTP is not asked", true, NO_DIALOG, false, true, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        SetAllowsPlainFtp(Listed(), test.allowedBefore);
        SaveSite(Session().siteList, LABEL, SITES_TEST_KEY);
        reporter.Clear();
        std::vector<Shown> shown;
        EXPECT_EQ(Connect(PLAIN_CAPTION, test.button, test.checkBox, shown), test.connects);
        EXPECT_EQ(Session().IsConnected(), test.connects);
        EXPECT_EQ(AllowsPlainFtp(Saved()), test.allowedAfter);
        EXPECT_EQ(AllowsPlainFtp(Listed()), test.allowedAfter);
        ASSERT_EQ(shown.size(), test.button == NO_DIALOG ? 0u : 1u);
        if (!shown.empty()) {
            EXPECT_EQ(shown[0].message, L"This server does not support FTP over TLS. Your password and files would "
                                        L"be sent in clear text. Continue?");
            EXPECT_FALSE(shown[0].boxChecked);
            EXPECT_EQ(shown[0].defaultButton, IDNO);
            EXPECT_EQ(shown[0].owner, run.Frame().Handle());
            EXPECT_FALSE(shown[0].ownerEnabled);
        }
        if (test.connects) {
            EXPECT_THAT(reporter.Errors(), IsEmpty());
            EXPECT_EQ(PaneText(STATUS_PANE_SECURITY), L"Not encrypted");
            run.Document().Disconnect();
            PumpMessages();
        } else {
            EXPECT_THAT(reporter.Errors(), ElementsAre(nsFTP::PLAIN_LOGON_REFUSED_TEXT));
        }
    }
}

// The server's log shows what a refused clear-text logon sent: nothing after AUTH TLS.
TEST_F(TlsQuestionsTest, PlainFtpRefusedSendsNoPassword)
{
    ASSERT_TRUE(run.Started());
    ScriptedServer server;
    server.Reply("220 ready\r\n").On("AUTH TLS", "500 AUTH not understood\r\n");
    server.Start();
    SiteRecord site = ScriptedSite(server);
    SetText(site.label, LABEL);
    SetSiteEncryption(site, SiteEncryption::IfAvailable);
    Store(site);
    std::vector<Shown> shown;
    EXPECT_FALSE(Connect(PLAIN_CAPTION, IDNO, false, shown));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
    EXPECT_THAT(server.Commands(), ElementsAre("AUTH TLS"));
}
