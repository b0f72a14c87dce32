// The remote expansion and the job's edges against the scripted server, where every
// command and its order are known.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "session/ConnectionSession.h"
#include "support/ScriptedServer.h"
#include "support/WindowAnswerer.h"
#include "transfer/UploadDlg.h"

using namespace transfertests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
constexpr std::uint64_t FILE_TIME_EPOCH_OFFSET_SECONDS = 11644473600ULL;
constexpr std::uint64_t FILE_TIME_TICKS_PER_SECOND = 10000000ULL;

class ScriptedJobTest : public ::testing::Test {
protected:
    void Connect()
    {
        server.Start();
        ASSERT_TRUE(OpenSite(session, ScriptedSite(server, false)));
    }

    void Finish()
    {
        session.LogOff();
        EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
    }

    // One passive listing, command as given, with these lines.
    void ScriptListing(const std::string& command, const std::string& lines)
    {
        server.ExpectPasv().On(command, "150 listing\r\n").DataSend(lines).Reply("226 done\r\n");
    }

    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    ScriptedServer server;
    ConnectionSession session;
};

std::vector<std::wstring> Names(TransferList& list)
{
    std::vector<std::wstring> names;
    for (TransferItem* item = FirstItem(&list, false); item != nullptr; item = NextItem(&list, false))
        names.push_back(item->name);
    return names;
}

const TransferItem* Find(TransferList& list, const std::wstring& name)
{
    for (const TransferItem* item = list.head; item != nullptr; item = item->next) {
        if (name == item->name) return item;
    }
    return nullptr;
}

// Breadth-first: the caller's items, then the first directory's children in the server's
// order, then the second's, grandchildren last. A path with a blank is listed from inside
// the directory, and the session goes back where it was.
TEST_F(ScriptedJobTest, RemoteExpansionIsBreadthFirstWithTheListingsRules)
{
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/A", "drwxr-xr-x 2 u g 4096 Jan  5  2020 .\r\n"
                                        "drwxr-xr-x 2 u g 4096 Jan  5  2020 ..\r\n"
                                        "-rw-r--r-- 1 u g 10 Jan  5  2020 a1\r\n"
                                        "drwxr-xr-x 2 u g 4096 Jan  5  2020 A2\r\n"
                                        "-rw-r--r-- 1 u g 3 Jan  5  2020 ...\r\n"
                                        "lrwxrwxrwx 1 u g 14 Jan  5  2020 ln -> /elsewhere\r\n"
                                        "-rw-r--r-- 1 u g Jan  5  2020 no size\r\n"
                                        "+m824255902,r,s1234,\teplf.txt\r\n"
                                        "-rw-r--r-- 1 u g 1 Jan  5  2020 ../escape\r\n");
    server.On("CWD /home/alice/B b", "250 ok\r\n");
    ScriptListing("LIST", "-rw-r--r-- 1 u g 7 Jan  5  2020 b1\r\n");
    ScriptListing("LIST /home/alice/A/A2", "-rw-r--r-- 1 u g 2 Jan  5  2020 x\r\n");
    // A listing that fails leaves its directory unexpanded.
    server.ExpectPasv().On("LIST /home/alice/A/ln", "550 not a directory\r\n");
    server.On("CWD /home/alice", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    auto list = RemoteList(&session, {{L"/home/alice/A", true}, {L"/home/alice/B b", true}, {L"/home/alice/f", false}},
                           {0, 0, 5});
    ExpandRemote(list.get());
    EXPECT_THAT(Names(*list), ElementsAre(L"A", L"B b", L"f", L"A/a1", L"A/A2", L"A/...", L"A/ln", L"A/no size",
                                          L"A/eplf.txt", L"B b/b1", L"A/A2/x"));
    EXPECT_STREQ(Find(*list, L"B b/b1")->path, L"/home/alice/B b/b1");
    const TransferItem* x = Find(*list, L"A/A2/x");
    ASSERT_NE(x, nullptr);
    EXPECT_STREQ(x->path, L"/home/alice/A/A2/x");
    EXPECT_EQ(x->itemIndex, 10u);
    EXPECT_EQ(x->fileIndex, 6u);
    EXPECT_EQ(Find(*list, L"A/ln")->isDirectory, 1u);
    EXPECT_EQ(Find(*list, L"A/ln")->expanded, 0u);
    EXPECT_EQ(Find(*list, L"A/A2")->expanded, 1u);
    EXPECT_EQ(Find(*list, L"A/no size")->size, 0u);
    const std::uint64_t ticks = (824255902ULL + FILE_TIME_EPOCH_OFFSET_SECONDS) * FILE_TIME_TICKS_PER_SECOND;
    const FILETIME eplf = Find(*list, L"A/eplf.txt")->lastWrite;
    EXPECT_EQ((std::uint64_t{eplf.dwHighDateTime} << 32) | eplf.dwLowDateTime, ticks);
    // Directory sizes count too.
    EXPECT_EQ(list->totalBytes, 5u + 10 + 4096 + 3 + 14 + 0 + 1234 + 7 + 2);
    EXPECT_EQ(list->itemCount, 11u);
    EXPECT_EQ(list->fileCount, 7u);
    // A listed name with a "/" would reach outside the tree: left out and recorded.
    ASSERT_EQ(list->leftOut.size(), 1u);
    EXPECT_EQ(list->leftOut[0].path, L"/home/alice/A/../escape");
    EXPECT_EQ(session.Engine().CurrentDirectory(), L"/home/alice");
    Finish();
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 not a directory"));
}

// Listing a link lists what it points to: a delete removes the link itself (DELE) and never
// reaches into its target, whether the link was chosen or found inside a chosen directory.
TEST_F(ScriptedJobTest, DeleteRemovesLinksNotWhatTheyPointTo)
{
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/d", "-rw-r--r-- 1 u g 1 Jan  5  2020 x\r\n"
                                        "lrwxrwxrwx 1 u g 9 Jan  5  2020 lnk -> /precious\r\n");
    server.On("DELE /home/alice/toplink", "250 gone\r\n");
    server.On("DELE /home/alice/d/lnk", "250 gone\r\n");
    server.On("DELE /home/alice/d/x", "250 gone\r\n");
    server.On("RMD /home/alice/d", "250 gone\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    auto list = RemoteList(&session, {{L"/home/alice/d", true}, {L"/home/alice/toplink", true}});
    list->head->next->isLink = 1;
    EXPECT_EQ(RunJob(&session, std::move(list), std::wstring(), JOB_DELETE_REMOTE), IDOK);
    Finish();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// The server resets the data connection after a part of the file: the job says which
// file failed and ends by itself, and the control connection stays in step.
TEST_F(ScriptedJobTest, DroppedDataConnectionIsReportedAndTheJobEnds)
{
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/big.bin", "150 sending\r\n");
    server.DataSendThenReset(std::string(1000, 'x'));
    server.Reply("426 Connection closed; transfer aborted.\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{L"/home/alice/big.bin", false}}, {100000}),
                     local.Path().wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_THAT(answerer.MessageTexts(),
                ElementsAre(L"Failed to download file:\n" + (local.Path() / L"big.bin").wstring()));
    EXPECT_TRUE(session.IsConnected());
    Finish();
    EXPECT_THAT(reporter.Errors(), ::testing::Contains(L"426 Connection closed; transfer aborted."));
}

// A listed name that would climb out of the download's target is left out and named;
// the rest arrives.
TEST_F(ScriptedJobTest, DownloadLeavesOutNamesThatWouldLeaveTheTarget)
{
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/d", "-rw-r--r-- 1 u g 4 Jan  5  2020 ..\\..\\evil.txt\r\n"
                                        "-rw-r--r-- 1 u g 2 Jan  5  2020 ok.txt\r\n");
    server.On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/d/ok.txt", "150 sending\r\n").DataSend("ok").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    const fs::path target = local.Path() / L"target";
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{L"/home/alice/d", true}}), target.wstring(), JOB_DOWNLOAD), IDOK);
    EXPECT_EQ(ReadBytes(target / L"d" / L"ok.txt"), "ok");
    // target, target/d and target/d/ok.txt: nothing landed beside the target.
    EXPECT_THAT(Snapshot(local.Path()), ::testing::SizeIs(3));
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    EXPECT_THAT(answerer.MessageTexts()[0], ::testing::EndsWith(L"\n/home/alice/d/..\\..\\evil.txt"));
    Finish();
}

// No items: every kind ends at once with IDOK and contacts the server only for the one
// thing a move does first, making its target.
TEST_F(ScriptedJobTest, EmptyListEndsAtOnceForEveryKind)
{
    ScriptLogon(server);
    server.On("MKD /home/alice/moved", "257 created\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    for (UINT kind : {JOB_UPLOAD, JOB_DOWNLOAD, JOB_DELETE_REMOTE, JOB_MOVE_REMOTE}) {
        const std::wstring target = kind == JOB_DOWNLOAD ? local.Path().wstring() : L"/home/alice/moved";
        ProgressRecorder progress;
        EXPECT_EQ(RunJob(&session, std::make_unique<TransferList>(), target, kind), IDOK) << kind;
        EXPECT_EQ(progress.finalName, L"Preparing, please wait.");
        EXPECT_EQ(progress.finalCount, L"");
    }
    for (UINT kind : {JOB_DELETE_LOCAL, JOB_MOVE_LOCAL})
        EXPECT_EQ(RunJob(nullptr, std::make_unique<TransferList>(), (local.Path() / L"target").wstring(), kind), IDOK);
    EXPECT_TRUE(fs::is_directory(local.Path() / L"target"));
    Finish();
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

} // namespace
