// The pane showing a prepared tree on vsftpd: the listing of a real server in rows,
// columns and counts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "OrvidDoc.h"
#include "PaneTestSupport.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "shell/Format.h"
#include "shell/StatusText.h"
#include "support/RealServers.h"
#include "support/Text.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

using testsupport::Wide;

class PaneRealServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(ServerKind::Vsftpd, &why);
        if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
    }

    // The site the Site Manager would have opened, started in the test's directory.
    SiteRecord Site(const std::string& directory) const
    {
        SiteRecord site = RealServerSite(*server, L"vsftpd");
        SetText(site.directory, Wide(directory));
        return site;
    }

    COrvidDoc& Document() const { return run.Document(); }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    std::unique_ptr<RealServer> server;
};

} // namespace

TEST_F(PaneRealServerTest, PreparedTreeShowsDirectoriesFirstThenNamesWithoutCase)
{
    const std::string directory = "pane-rows";
    server->MakeDirectory(directory + "/src");
    server->MakeDirectory(directory + "/Docs");
    server->WriteFile(directory + "/README", std::string(100, 'r'));
    server->WriteFile(directory + "/notes.TXT", std::string(2048, 'n'));
    server->WriteFile(directory + "/main.cpp", "int main() {}\n");
    server->WriteFile(directory + "/b.c", "");

    ConnectionSession& session = Document().Session();
    ASSERT_TRUE(OpenSite(session, Site(directory)));
    GoToStartDirectory(session, Wide(directory));
    Document().OnSiteConnected(L"vsftpd");
    PumpMessages();

    CListCtrlEx& list = run.View().List();
    EXPECT_THAT(RowTexts(list), ElementsAre(L"Docs", L"src", L"b.c", L"main.cpp", L"notes.TXT", L"README"));
    for (int row = 0; row < list.GetItemCount(); ++row) {
        SCOPED_TRACE(row);
        EXPECT_FALSE(list.GetItemText(row, 1).empty());
        EXPECT_EQ(list.GetItemText(row, 3).substr(0, 1), row < 2 ? L"d" : L"-");
        EXPECT_FALSE(list.GetItemText(row, 4).empty());
        EXPECT_GE(RowImage(list, row), 0);
    }
    EXPECT_EQ(list.GetItemText(2, 2), L"");
    EXPECT_EQ(list.GetItemText(3, 2), L"14 B");
    EXPECT_EQ(list.GetItemText(4, 2), L"2.00 Kb");
    EXPECT_EQ(list.GetItemText(5, 2), L"100 B");

    EXPECT_EQ(PaneText(STATUS_PANE_DIRECTORIES), L"Directories: 2");
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 4");
    const std::wstring bytes = PaneText(STATUS_PANE_BYTES);
    // The directories' listed sizes are the server's own; the files' are ours.
    EXPECT_THAT(bytes, ::testing::EndsWith(L" bytes"));
    std::uint64_t directorySizes = 0;
    for (const RemoteEntry& entry : session.entries)
        if (entry.isDirectory != 0) directorySizes += entry.size;
    EXPECT_EQ(bytes, std::to_wstring(directorySizes + 100 + 2048 + 14) + L" bytes");

    const std::wstring current = session.CurrentDirectory();
    fw::ComboBox folders = run.View().FolderCombo();
    EXPECT_EQ(folders.GetLBText(folders.GetCurSel()), current);
    EXPECT_EQ(folders.GetLBText(0), L"/");

    session.LogOff();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
