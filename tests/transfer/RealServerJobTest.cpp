// Transfer jobs against real servers, passive and active: trees up and down, the replace
// prompt, cancel in the middle of a large download, deletes and moves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>

#include "SharedResource.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "session/ConnectionSession.h"
#include "support/RealServers.h"
#include "support/WindowAnswerer.h"
#include "transfer/UploadDlg.h"

using namespace transfertests;
using testsupport::RealServer;
using testsupport::ServerKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

constexpr std::size_t MEBIBYTE = 1024 * 1024;
// Far larger than what moves before the first progress message reaches the dialog.
constexpr std::uint64_t LARGE_FILE_BYTES = 200 * MEBIBYTE;
const char* const LARGE_FILE_NAME = "large-200MiB.bin";

using Param = std::tuple<ServerKind, bool>;

class RealServerJobTest : public ::testing::TestWithParam<Param> {
protected:
    ServerKind Kind() const { return std::get<0>(GetParam()); }
    bool Passive() const { return std::get<1>(GetParam()); }

    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(Kind(), &why);
        if (!server) GTEST_SKIP() << testsupport::ServerName(Kind()) << " is not available here: " << why;
        // One server serves the whole executable, so each test works in a directory of its own.
        testDirectory = std::string("job-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : testDirectory)
            if (c == '/') c = '-';
        serverDirectory = server->MakeDirectory(testDirectory);

        SiteRecord site = DefaultSiteRecord();
        SetText(site.label, L"Real");
        SetText(site.host, L"127.0.0.1");
        site.port = server->Info().port;
        SetText(site.user, Wide(server->Info().user));
        SetText(site.password, Wide(server->Info().password));
        site.passive = Passive() ? 1 : 0;
        site.timeout = 10;
        ASSERT_TRUE(OpenSite(session, site));
        remoteDirectory = JoinRemote(session.homeDirectory, Wide(testDirectory));
    }

    void TearDown() override { session.LogOff(); }

    static std::wstring JoinRemote(const std::wstring& directory, const std::wstring& name)
    {
        return directory.empty() || directory.back() == L'/' ? directory + name : directory + L"/" + name;
    }

    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    std::unique_ptr<RealServer> server;
    std::string testDirectory;
    fs::path serverDirectory;
    std::wstring remoteDirectory;
    ConnectionSession session;
    LocalDirectory local;
};

// A tree with what trips up tree copies: nested and empty directories, a directory whose
// first level holds only directories, empty, tiny and multi-block files, blanks and
// non-ASCII letters in names.
void MakeSampleTree(const fs::path& root)
{
    fs::create_directories(root / L"empty dir");
    WriteBytes(root / L"one byte.txt", 1, 1);
    WriteBytes(root / L"zero.bin", 0, 2);
    WriteBytes(root / L"only dirs" / L"first" / L"Grüße ñandú.bin", 3 * MEBIBYTE, 3);
    WriteBytes(root / L"only dirs" / L"second" / L"deeper" / L"日本.txt", 1500, 4);
    fs::create_directories(root / L"only dirs" / L"second" / L"empty too");
}

TEST_P(RealServerJobTest, TreeGoesUpAndComesBackWholeWithEveryFileEqual)
{
    const fs::path source = local.Path() / L"up";
    MakeSampleTree(source / L"tree");
    WriteBytes(source / L"top file.bin", 70000, 5);

    ProgressRecorder upload;
    EXPECT_EQ(RunJob(&session, LocalList({source / L"tree", source / L"top file.bin"}), remoteDirectory, JOB_UPLOAD),
              IDOK);
    EXPECT_EQ(upload.title, L"Uploading...");
    EXPECT_EQ(Snapshot(serverDirectory), Snapshot(source));

    const fs::path target = local.Path() / L"down";
    ProgressRecorder download;
    EXPECT_EQ(RunJob(&session,
                     RemoteList(&session, {{JoinRemote(remoteDirectory, L"tree"), true},
                                           {JoinRemote(remoteDirectory, L"top file.bin"), false}},
                                {0, 70000}),
                     target.wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_EQ(download.title, L"Downloading...");
    EXPECT_EQ(Snapshot(target), Snapshot(source));
    // The count line ends at the whole job's bytes, in Kb.
    const std::uint64_t totalKb = (3 * MEBIBYTE + 1500 + 1 + 70000) / 1024;
    EXPECT_EQ(download.finalCount, L"Downloading " + std::to_wstring(totalKb) + L" Kb of " + std::to_wstring(totalKb) + L" Kb");
    EXPECT_EQ(download.finalPosition, download.finalRangeHigh);
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info)
{
    std::string name = testsupport::ServerName(std::get<0>(info.param));
    std::erase(name, '-');
    return name + (std::get<1>(info.param) ? "Passive" : "Active");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerJobTest,
                         ::testing::Combine(::testing::Values(ServerKind::Vsftpd, ServerKind::PureFtpd),
                                            ::testing::Bool()),
                         ParamName);

} // namespace
