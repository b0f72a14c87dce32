// Transfer jobs against real servers, passive and active: trees up and down, the replace
// prompt, cancel in the middle of a large download, deletes and moves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>

#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "session/ConnectionSession.h"
#include "support/RealServers.h"
#include "support/Wait.h"
#include "support/WindowAnswerer.h"
#include "transfer/UploadDlg.h"

using namespace transfertests;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

constexpr std::size_t MEBIBYTE = 1024 * 1024;
// Far larger than what moves before the first progress message reaches the dialog.
// Big enough that a starved UI thread still cancels long before the end.
constexpr std::uint64_t LARGE_FILE_BYTES = 1024 * MEBIBYTE;
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

        SiteRecord site = RealServerSite(*server, L"Real");
        site.passive = Passive() ? 1 : 0;
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
                     RemoteList(&session,
                                {{JoinRemote(remoteDirectory, L"tree"), true},
                                 {JoinRemote(remoteDirectory, L"top file.bin"), false}},
                                {0, 70000}),
                     target.wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_EQ(download.title, L"Downloading...");
    EXPECT_EQ(Snapshot(target), Snapshot(source));
    // The count line ends at the whole job's bytes, in Kb.
    const std::uint64_t totalKb = (3 * MEBIBYTE + 1500 + 1 + 70000) / 1024;
    EXPECT_EQ(download.finalCount,
              L"Downloading " + std::to_wstring(totalKb) + L" Kb of " + std::to_wstring(totalKb) + L" Kb");
    EXPECT_EQ(download.finalPosition, download.finalRangeHigh);
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// Every file the caller chose is compared with the target's names, letters folded; each
// conflict is asked about, and one refusal refuses the whole job after the other questions.
TEST_P(RealServerJobTest, ReplacePromptAsksForEachConflictAndOneRefusalTransfersNothing)
{
    server->WriteFile(testDirectory + "/A.TXT", "old");
    server->WriteFile(testDirectory + "/B.TXT", "old");
    WriteBytes(local.Path() / L"a.txt", 5, 1);
    WriteBytes(local.Path() / L"b.txt", 5, 2);
    auto list = [&] { return LocalList({local.Path() / L"a.txt", local.Path() / L"b.txt"}); };

    std::vector<std::wstring> questions;
    std::vector<std::wstring> serverTexts;
    std::vector<std::wstring> localTexts;
    auto answer = [&](int button) {
        return [&, button](HWND prompt) {
            questions.push_back(testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE));
            serverTexts.push_back(testsupport::ItemText(prompt, IDC_REPLACE_SERVER_TEXT));
            localTexts.push_back(testsupport::ItemText(prompt, IDC_REPLACE_LOCAL_TEXT));
            testsupport::PostCommand(prompt, button);
        };
    };
    answerer.OnDialog(L"Confirm Replace", answer(IDCANCEL)).OnDialog(L"Confirm Replace", answer(IDOK));
    EXPECT_EQ(RunJob(&session, list(), remoteDirectory, JOB_UPLOAD), IDCANCEL);
    // Each server copy is shorter, so each could be what an earlier upload left unfinished.
    EXPECT_THAT(questions, Each(::testing::EndsWith(
                               L"already exists and is shorter. Would you like to replace it, or resume it?")));
    EXPECT_THAT(questions, ElementsAre(StartsWith(L"The file \"A.TXT\""), StartsWith(L"The file \"B.TXT\"")));
    EXPECT_THAT(serverTexts, Each(StartsWith(L"3 B (3 bytes)\r\n")));
    EXPECT_THAT(localTexts, Each(StartsWith(L"5 B (5 bytes)\r\n")));
    // Wine finds names without regard to case, so the listing has the last word.
    EXPECT_THAT(ExactNames(serverDirectory), ElementsAre(L"A.TXT", L"B.TXT"));

    answerer.OnDialog(L"Confirm Replace", answer(IDOK)).OnDialog(L"Confirm Replace", answer(IDOK));
    EXPECT_EQ(RunJob(&session, list(), remoteDirectory, JOB_UPLOAD), IDOK);
    EXPECT_EQ(questions.size(), 4u);
    EXPECT_THAT(ExactNames(serverDirectory), ElementsAre(L"A.TXT", L"B.TXT", L"a.txt", L"b.txt"));
    EXPECT_EQ(ReadBytes(serverDirectory / "a.txt"), ReadBytes(local.Path() / L"a.txt"));
    EXPECT_EQ(ReadBytes(serverDirectory / "b.txt"), ReadBytes(local.Path() / L"b.txt"));
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// The download's local side has no blank before the byte count; an agreed replacement
// leaves nothing of the longer local file behind.
TEST_P(RealServerJobTest, DownloadReplacePromptShowsBothSidesAndReplacesALongerFileWhole)
{
    server->WriteFile(testDirectory + "/Report.txt", std::string(2048, 'n'));
    WriteBytes(local.Path() / L"report.txt", 4000, 3);
    std::wstring question;
    std::wstring serverText;
    std::wstring localText;
    answerer.OnDialog(L"Confirm Replace", [&](HWND prompt) {
        question = testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE);
        serverText = testsupport::ItemText(prompt, IDC_REPLACE_SERVER_TEXT);
        localText = testsupport::ItemText(prompt, IDC_REPLACE_LOCAL_TEXT);
        testsupport::PostCommand(prompt, IDOK);
    });
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{JoinRemote(remoteDirectory, L"Report.txt"), false}}, {2048}),
                     local.Path().wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_EQ(question, L"The file \"Report.txt\" already exists. Would you like to replace it?");
    EXPECT_THAT(serverText, StartsWith(L"2.00 Kb (2048 bytes)\r\n"));
    EXPECT_THAT(localText, StartsWith(L"3.91 Kb(4000 bytes)\r\n"));
    EXPECT_EQ(ReadBytes(local.Path() / L"report.txt"), std::string(2048, 'n'));
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
}

void SetUnixTime(const fs::path& path, std::uint64_t seconds)
{
    const std::uint64_t ticks = (seconds + 11644473600ULL) * 10000000ULL;
    const FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

std::uint64_t UnixTime(const fs::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    const std::uint64_t ticks =
        (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return ticks / 10000000ULL - 11644473600ULL;
}

// Resume sends only what the other side lacks, both ways: the part already there stays as
// it is (here it differs from the source, which shows that it was not sent again), and the
// file ends at the source's size. A download takes the server's time; a new upload keeps
// its time where the server can set it.
TEST_P(RealServerJobTest, ResumeSendsOnlyTheRestBothWays)
{
    constexpr std::size_t SIZE = 300000;
    constexpr std::size_t HELD = 120000;
    constexpr std::uint64_t TIME = 981173106;
    WriteBytes(local.Path() / L"source.bin", SIZE, 7);
    const std::string bytes = ReadBytes(local.Path() / L"source.bin");
    SetUnixTime(server->WriteFile(testDirectory + "/down.bin", bytes), TIME);
    WriteBytes(local.Path() / L"down.bin.part", HELD, 8);
    const std::string localHeld = ReadBytes(local.Path() / L"down.bin.part");
    server->WriteFile(testDirectory + "/up.bin", std::string(HELD, 's'));
    const fs::path up = local.Path() / L"up" / L"up.bin";
    WriteBytes(up, SIZE, 7);
    const fs::path stamped = local.Path() / L"up" / L"stamped.bin";
    WriteBytes(stamped, 10, 9);
    SetUnixTime(stamped, TIME);

    std::vector<std::wstring> questions;
    answerer.OnDialog(L"Confirm Replace", [&](HWND prompt) {
        questions.push_back(testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE));
        testsupport::PostCommand(prompt, IDC_REPLACE_RESUME);
    });
    answerer.OnDialog(L"Confirm Replace", [&](HWND prompt) {
        questions.push_back(testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE));
        testsupport::PostCommand(prompt, IDC_REPLACE_RESUME);
    });
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{JoinRemote(remoteDirectory, L"down.bin"), false}}, {SIZE}),
                     local.Path().wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_EQ(RunJob(&session, LocalList({up, stamped}), remoteDirectory, JOB_UPLOAD), IDOK);

    EXPECT_THAT(questions, ElementsAre(StartsWith(L"The file \"down.bin\" was partly downloaded."),
                                       StartsWith(L"The file \"up.bin\" already exists and is shorter.")));
    EXPECT_EQ(ReadBytes(local.Path() / L"down.bin"), localHeld + bytes.substr(HELD));
    EXPECT_EQ(UnixTime(local.Path() / L"down.bin"), TIME);
    EXPECT_EQ(ReadBytes(serverDirectory / "up.bin"), std::string(HELD, 's') + bytes.substr(HELD));
    if (session.Engine().CanSetModified()) {
        EXPECT_EQ(UnixTime(serverDirectory / "stamped.bin"), TIME);
    }
    EXPECT_THAT(ExactNames(local.Path()), ElementsAre(L"down.bin", L"source.bin", L"up"));
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
}

std::size_t ThreadsOfThisProcess()
{
    std::size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// Made once per run: sparse, so that it costs no time to write.
void EnsureLargeFile(const fs::path& path)
{
    if (fs::exists(path) && fs::file_size(path) == LARGE_FILE_BYTES) return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(LARGE_FILE_BYTES);
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

TEST_P(RealServerJobTest, CancelInTheMiddleOfALargeDownloadEndsPromptlyAndKeepsTheConnection)
{
    EnsureLargeFile(server->Info().root / LARGE_FILE_NAME);
    const std::wstring remote = JoinRemote(session.homeDirectory, Wide(LARGE_FILE_NAME));
    const fs::path target = local.Path() / Wide(LARGE_FILE_NAME);
    const std::size_t threadsBefore = ThreadsOfThisProcess();

    ProgressRecorder progress;
    std::chrono::steady_clock::time_point cancelled;
    progress.onFirstPosition = [&](HWND dialog) {
        cancelled = std::chrono::steady_clock::now();
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{remote, false}}, {LARGE_FILE_BYTES}), local.Path().wstring(),
                     JOB_DOWNLOAD),
              IDCANCEL);
    const auto ending = std::chrono::steady_clock::now() - cancelled;
    // Not a timing test: only that the end does not hang on the rest of the file.
    EXPECT_LT(ending, std::chrono::seconds(20));
    // The cut file stays under its temporary name only, to be resumed.
    EXPECT_THAT(ExactNames(local.Path()), ElementsAre(Wide(LARGE_FILE_NAME) + PARTIAL_DOWNLOAD_SUFFIX));
    EXPECT_THAT(answerer.MessageTexts(), ElementsAre(L"Failed to download file:\n" + target.wstring() +
                                                     L": the part received is kept, to be resumed"));
    // The job's worker and writer threads are gone (they may take a moment to end).
    EXPECT_TRUE(testsupport::PollUntil([&] { return ThreadsOfThisProcess() <= threadsBefore; }));

    std::vector<nsFTP::FileStatusPtr> records;
    EXPECT_TRUE(session.ListDirectory(remoteDirectory, records));
}

TEST_P(RealServerJobTest, LocalFileThatCannotBeCreatedIsShownWithTheSystemError)
{
    server->WriteFile(testDirectory + "/small.txt", "0123456789");
    WriteBytes(local.Path() / L"not a directory", 1, 1);
    const fs::path target = local.Path() / L"not a directory";
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{JoinRemote(remoteDirectory, L"small.txt"), false}}, {10}),
                     target.wstring(), JOB_DOWNLOAD),
              IDOK);
    const std::wstring localPath = (target / L"small.txt").wstring();
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    EXPECT_THAT(answerer.MessageTexts()[0], StartsWith(L"Failed to download file:\n" + localPath + L": "));
    EXPECT_GT(answerer.MessageTexts()[0].size(), (L"Failed to download file:\n" + localPath + L": ").size());
}

// d holds x and e, e holds y: y goes first, d last.
TEST_P(RealServerJobTest, RemoteDeleteRemovesChildrenBeforeTheirDirectories)
{
    server->WriteFile(testDirectory + "/d/x", "x");
    server->WriteFile(testDirectory + "/d/e/y", "y");
    const std::wstring d = JoinRemote(remoteDirectory, L"d");
    ProgressRecorder progress;
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{d, true}}), std::wstring(), JOB_DELETE_REMOTE), IDOK);
    ASSERT_THAT(progress.names, ::testing::SizeIs(4));
    EXPECT_EQ(progress.names[0], d + L"/e/y");
    EXPECT_THAT((std::vector<std::wstring>{progress.names[1], progress.names[2]}),
                ::testing::UnorderedElementsAre(d + L"/x", d + L"/e"));
    EXPECT_EQ(progress.names[3], d);
    EXPECT_EQ(progress.title, L"Deleting...");
    EXPECT_EQ(progress.finalCount, L"Deleting 4 of 4");
    EXPECT_FALSE(fs::exists(serverDirectory / "d"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(RealServerJobTest, RemoteMoveRenamesItemsWholeIntoANewDirectory)
{
    server->WriteFile(testDirectory + "/f.txt", "file");
    server->WriteFile(testDirectory + "/g/inner.txt", "inner");
    ProgressRecorder progress;
    EXPECT_EQ(RunJob(&session,
                     RemoteList(&session, {{JoinRemote(remoteDirectory, L"f.txt"), false},
                                           {JoinRemote(remoteDirectory, L"g"), true}}),
                     JoinRemote(remoteDirectory, L"moved"), JOB_MOVE_REMOTE),
              IDOK);
    EXPECT_EQ(progress.title, L"Moving...");
    EXPECT_EQ(progress.finalCount, L"Moving 2 of 2");
    EXPECT_EQ(ReadBytes(serverDirectory / "moved" / "f.txt"), "file");
    EXPECT_EQ(ReadBytes(serverDirectory / "moved" / "g" / "inner.txt"), "inner");
    EXPECT_FALSE(fs::exists(serverDirectory / "f.txt"));
    EXPECT_FALSE(fs::exists(serverDirectory / "g"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// 4500 bytes are 4 Kb, truncated, and the bar ends full.
TEST_P(RealServerJobTest, ThreeSmallUploadsEndTheCountLineAtTheJobsTotal)
{
    std::vector<fs::path> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(local.Path() / (L"small" + std::to_wstring(i) + L".bin"));
        WriteBytes(files.back(), 1500, static_cast<unsigned>(i));
    }
    ProgressRecorder progress;
    EXPECT_EQ(RunJob(&session, LocalList(files), remoteDirectory, JOB_UPLOAD), IDOK);
    EXPECT_EQ(progress.finalCount, L"Uploading 4 Kb of 4 Kb");
    EXPECT_EQ(progress.finalPosition, 4500);
    EXPECT_EQ(progress.finalRangeHigh, 4500);
    EXPECT_EQ(progress.names, (std::vector<std::wstring>{files[0].wstring(), files[1].wstring(), files[2].wstring()}));
    for (const fs::path& file : files)
        EXPECT_EQ(ReadBytes(serverDirectory / file.filename()), ReadBytes(file));
}

// A relative name of 260 characters or more does not fit an item: that entry alone is
// left out and named once, in one box, after the rest was transferred.
TEST_P(RealServerJobTest, EntryWithATooLongNameIsLeftOutAndReportedOnce)
{
    const std::wstring longDirectory(140, L'd');
    const std::wstring longFile = std::wstring(110, L'f') + L"-END.txt";
    const fs::path tree = local.Path() / L"tree";
    WriteBytes(tree / longDirectory / longFile, 10, 1);
    WriteBytes(tree / longDirectory / (longFile + L"-too"), 10, 2);
    WriteBytes(tree / L"fits.txt", 10, 3);
    EXPECT_EQ(RunJob(&session, LocalList({tree}), remoteDirectory, JOB_UPLOAD), IDOK);
    EXPECT_EQ(ReadBytes(serverDirectory / "tree" / "fits.txt"), ReadBytes(tree / L"fits.txt"));
    EXPECT_TRUE(fs::is_empty(serverDirectory / "tree" / longDirectory));
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    const std::wstring text = answerer.MessageTexts()[0];
    EXPECT_THAT(
        text,
        StartsWith(L"These items were left out because their names or paths are too long or not allowed here:\n"));
    EXPECT_THAT(text, ::testing::HasSubstr(L"-END.txt\n"));
    EXPECT_THAT(text, ::testing::EndsWith(L"-END.txt-too"));
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
