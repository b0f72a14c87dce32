// The remote expansion and the job's edges against the scripted server, where every
// command and its order are known.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "engine/Digest.h"
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
    void Connect(int timeoutSeconds = 5)
    {
        server.Start();
        SiteRecord site = ScriptedSite(server, false);
        site.timeout = timeoutSeconds;
        ASSERT_TRUE(OpenSite(session, site));
    }

    void Finish()
    {
        session.LogOff();
        EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
    }

    // One download job of files in /home/alice, with their listed sizes, into local.
    INT_PTR DownloadFromHome(const LocalDirectory& local, const std::vector<std::wstring>& names,
                             const std::vector<std::uint64_t>& sizes)
    {
        std::vector<std::pair<std::wstring, bool>> paths;
        for (const std::wstring& name : names)
            paths.push_back({L"/home/alice/" + name, false});
        return RunJob(&session, RemoteList(&session, paths, sizes), local.Path().wstring(), JOB_DOWNLOAD);
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
// the directory, and the session goes back where it was. A link that can't be entered is a
// file whose size is unknown, and so is an entry listed without a size.
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
    server.On("CWD /home/alice/A/ln", "550 not a directory\r\n");
    server.On("CWD /home/alice", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    auto list = RemoteList(&session, {{L"/home/alice/A", true}, {L"/home/alice/B b", true}, {L"/home/alice/f", false}},
                           {0, 0, 5});
    ExpandRemote(list.get());
    EXPECT_THAT(Names(*list), ElementsAre(L"A", L"B b", L"f", L"A/a1", L"A/A2", L"A/...", L"A/ln", L"A/no size",
                                          L"A/eplf.txt", L"B b/b1", L"A/A2/x"));
    EXPECT_STREQ(Find(*list, L"B b/b1")->path.c_str(), L"/home/alice/B b/b1");
    const TransferItem* x = Find(*list, L"A/A2/x");
    ASSERT_NE(x, nullptr);
    EXPECT_STREQ(x->path.c_str(), L"/home/alice/A/A2/x");
    EXPECT_EQ(x->itemIndex, 10u);
    EXPECT_EQ(x->fileIndex, 7u);
    EXPECT_EQ(Find(*list, L"A/ln")->isDirectory, 0u);
    EXPECT_EQ(Find(*list, L"A/ln")->fileIndex, 3u);
    EXPECT_EQ(Find(*list, L"A/no size")->fileIndex, 4u);
    EXPECT_EQ(Find(*list, L"A/A2")->expanded, 1u);
    for (const wchar_t* unknown : {L"A/ln", L"A/no size"}) {
        EXPECT_EQ(Find(*list, unknown)->sizeUnknown, 1u) << unknown;
        EXPECT_EQ(Find(*list, unknown)->size, 0u) << unknown;
    }
    EXPECT_EQ(Find(*list, L"A/a1")->sizeUnknown, 0u);
    const std::uint64_t ticks = (824255902ULL + FILE_TIME_EPOCH_OFFSET_SECONDS) * FILE_TIME_TICKS_PER_SECOND;
    const FILETIME eplf = Find(*list, L"A/eplf.txt")->lastWrite;
    EXPECT_EQ((std::uint64_t{eplf.dwHighDateTime} << 32) | eplf.dwLowDateTime, ticks);
    // Directory sizes count too; unknown sizes count as 0.
    EXPECT_EQ(list->totalBytes, 5u + 10 + 4096 + 3 + 1234 + 7 + 2);
    EXPECT_EQ(list->itemCount, 11u);
    EXPECT_EQ(list->fileCount, 8u);
    // A listed name with a "/" would reach outside the tree: left out and recorded.
    ASSERT_EQ(list->leftOut.size(), 1u);
    EXPECT_EQ(list->leftOut[0].path, L"/home/alice/A/../escape");
    EXPECT_EQ(session.Engine().CurrentDirectory(), L"/home/alice");
    Finish();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
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

std::string Sha256(const std::string& bytes)
{
    nsFTP::Digest digest(nsFTP::HashAlgorithm::Sha256);
    digest.Update(bytes.data(), bytes.size());
    return digest.Final();
}

std::uint64_t UnixSeconds(const fs::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    const std::uint64_t ticks =
        (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return ticks / FILE_TIME_TICKS_PER_SECOND - FILE_TIME_EPOCH_OFFSET_SECONDS;
}

std::wstring RetryWait(unsigned seconds, int attempt)
{
    return L"Connection lost. Retry " + std::to_wstring(attempt) + L" of 3 in " + std::to_wstring(seconds) + L" s...";
}

// The data connection breaks once with the control connection kept, then the control
// connection goes too: the job waits, logs on again, goes back to its directory and
// fetches the file from its start, since this server can't resume. A logon refused on the
// next reconnect ends the job with the server's word.
TEST_F(ScriptedJobTest, DroppedConnectionsAreTriedAgainUntilTheLogonIsRefused)
{
    const std::string bytes(1000, 'b');
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/big.bin", "150 sending\r\n");
    server.DataSendThenReset(bytes.substr(0, 400)).Reply("426 Connection closed; transfer aborted.\r\n");
    server.ExpectPasv().On("RETR /home/alice/big.bin", "150 sending\r\n").DataSend(bytes.substr(0, 300)).Close();
    server.AcceptNext();
    ScriptLogon(server);
    server.On("CWD /home/alice", "250 ok\r\n").On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/big.bin", "150 sending\r\n").DataSend(bytes).Reply("226 done\r\n");
    server.ExpectPasv().On("RETR /home/alice/next.bin", "150 sending\r\n").DataSend("nn").Close();
    server.AcceptNext();
    server.Reply("220 ready\r\n").On("USER alice", "331 password\r\n").On("PASS secret", "530 Login incorrect.\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    ProgressRecorder progress;
    EXPECT_EQ(DownloadFromHome(local, {L"big.bin", L"next.bin"}, {1000, 5}), IDOK);
    EXPECT_EQ(ReadBytes(local.Path() / L"big.bin"), bytes);
    EXPECT_THAT(ExactNames(local.Path()), ElementsAre(L"big.bin"));
    // Each wait counts down by the second.
    const std::vector<std::wstring> waits = {RetryWait(1, 1),
                                             RetryWait(3, 2),
                                             RetryWait(2, 2),
                                             RetryWait(1, 2),
                                             L"Reconnecting (retry 2 of 3)...",
                                             RetryWait(1, 1),
                                             L"Reconnecting (retry 1 of 3)..."};
    std::vector<std::wstring> shown;
    for (const std::wstring& name : progress.names)
        if (!name.starts_with(L"/")) shown.push_back(name);
    EXPECT_EQ(shown, waits);
    EXPECT_THAT(
        answerer.MessageTexts(),
        ElementsAre(L"530 Login incorrect.", L"Failed to download file:\n" + (local.Path() / L"next.bin").wstring()));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), IsEmpty());
}

// Where the server resumes and gives digests, a file cut at 60 % goes on from its partial
// file after the reconnect, is checked against the server's SHA-256 and takes the server's
// time; a file whose digest differs is named and its bytes kept in the partial file.
TEST_F(ScriptedJobTest, ResumedFilesAreVerifiedAndAMismatchKeepsThePartialFile)
{
    const std::string features = "211-Features:\r\n REST STREAM\r\n HASH SHA-256*\r\n MDTM\r\n211 End\r\n";
    const std::string bytes(1000, 'r');
    const std::string other(10, 'o');
    ScriptLogon(server, "/home/alice", features);
    server.On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/cut.bin", "150 sending\r\n").DataSend(bytes.substr(0, 600)).Close();
    server.AcceptNext();
    ScriptLogon(server, "/home/alice", features);
    server.On("CWD /home/alice", "250 ok\r\n").On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("REST 600", "350 restarting\r\n").On("RETR /home/alice/cut.bin", "150 sending\r\n");
    server.DataSend(bytes.substr(600)).Reply("226 done\r\n");
    server.On("HASH /home/alice/cut.bin", "213 SHA-256 0-999 " + Sha256(bytes) + " cut.bin\r\n");
    server.On("MDTM /home/alice/cut.bin", "213 20010203040506\r\n");
    server.ExpectPasv().On("RETR /home/alice/bad.bin", "150 sending\r\n").DataSend(other).Reply("226 done\r\n");
    server.On("HASH /home/alice/bad.bin", "213 SHA-256 0-9 " + Sha256("x") + " bad.bin\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    ProgressRecorder progress;
    EXPECT_EQ(DownloadFromHome(local, {L"cut.bin", L"bad.bin"}, {1000, 10}), IDOK);
    EXPECT_EQ(ReadBytes(local.Path() / L"cut.bin"), bytes);
    EXPECT_EQ(UnixSeconds(local.Path() / L"cut.bin"), 981173106u);
    EXPECT_THAT(progress.names, ::testing::Contains(L"/home/alice/cut.bin (verified)"));
    EXPECT_THAT(progress.names, ::testing::Not(::testing::Contains(L"/home/alice/bad.bin (verified)")));
    EXPECT_THAT(ExactNames(local.Path()), ElementsAre(L"bad.bin.part", L"cut.bin"));
    EXPECT_EQ(ReadBytes(local.Path() / L"bad.bin.part"), other);
    EXPECT_THAT(answerer.MessageTexts(),
                ElementsAre(L"Failed to download file:\n" + (local.Path() / L"bad.bin").wstring() +
                            L": its SHA-256 digest differs from the server's; what arrived is kept as bad.bin.part"));
    Finish();
}

// Cancel during the wait before a try ends the job at once: no further try, and far sooner
// than the 9 s wait.
TEST_F(ScriptedJobTest, CancelDuringARetryWaitStopsTheJob)
{
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n");
    for (int drop = 0; drop < 3; ++drop) {
        server.ExpectPasv().On("RETR /home/alice/f.bin", "150 sending\r\n");
        server.DataSendThenReset("ff").Reply("426 aborted\r\n");
    }
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    ProgressRecorder progress;
    std::chrono::steady_clock::time_point cancelled;
    progress.onName = [&](HWND dialog, const std::wstring& name) {
        if (name != RetryWait(9, 3)) return;
        cancelled = std::chrono::steady_clock::now();
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(DownloadFromHome(local, {L"f.bin"}, {100}), IDCANCEL);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(6));
    EXPECT_THAT(Snapshot(local.Path()), IsEmpty());
    Finish();
}

// An upload whose control connection went before the server's word is sent again, from its
// start on a server that can't resume, and checked by size; one the server answers with a
// failure is reported, not taken as done.
TEST_F(ScriptedJobTest, UploadsAreSentAgainAfterADropAndOnlyConfirmedOnesCount)
{
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/up", "");
    server.On("MKD /home/alice/up", "550 exists\r\n").On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("STOR /home/alice/up/a.bin", "150 ok\r\n").DataReceive().Close();
    server.AcceptNext();
    ScriptLogon(server);
    server.On("CWD /home/alice", "250 ok\r\n").On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("STOR /home/alice/up/a.bin", "150 ok\r\n").DataReceive().Reply("226 done\r\n");
    server.On("SIZE /home/alice/up/a.bin", "213 3\r\n");
    server.ExpectPasv().On("STOR /home/alice/up/b.bin", "150 ok\r\n").DataReceive().Reply("452 Disk full\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    WriteBytes(local.Path() / L"a.bin", 3, 1);
    WriteBytes(local.Path() / L"b.bin", 2, 2);
    EXPECT_EQ(
        RunJob(&session, LocalList({local.Path() / L"a.bin", local.Path() / L"b.bin"}), L"/home/alice/up", JOB_UPLOAD),
        IDOK);
    const std::string a = ReadBytes(local.Path() / L"a.bin");
    EXPECT_THAT(server.DataReceived(), ElementsAre(a, a, ReadBytes(local.Path() / L"b.bin")));
    EXPECT_THAT(answerer.MessageTexts(),
                ElementsAre(L"Failed to upload file:\n" + (local.Path() / L"b.bin").wstring()));
    Finish();
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

// A tree of more items than one job takes is refused whole, with one box that says so,
// before anything is downloaded or deleted; the connection stays.
TEST_F(ScriptedJobTest, ATreeTooLargeForOneJobIsRefusedBeforeAnythingIsDone)
{
    std::string listing;
    for (std::uint64_t index = 0; index < MAX_TRANSFER_ITEMS; ++index)
        listing += "+i" + std::to_string(index) + ",r,s1,\tf" + std::to_string(index) + "\r\n";
    const UINT kinds[] = {JOB_DOWNLOAD, JOB_DELETE_REMOTE};
    for (UINT kind : kinds) {
        if (kind != kinds[0]) server.AcceptNext();
        ScriptLogon(server);
        ScriptListing("LIST /home/alice/big", listing);
        server.On("QUIT", "221 bye\r\n");
    }
    Connect();

    LocalDirectory local;
    for (UINT kind : kinds) {
        SCOPED_TRACE(kind);
        if (kind != kinds[0]) {
            ASSERT_TRUE(OpenSite(session, ScriptedSite(server, false)));
        }
        const std::size_t boxes = answerer.MessageTexts().size();
        EXPECT_EQ(RunJob(&session, RemoteList(&session, {{L"/home/alice/big", true}}), local.Path().wstring(), kind),
                  IDCANCEL);
        ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(boxes + 1));
        EXPECT_EQ(answerer.MessageTexts().back(), TRANSFER_TOO_LARGE_TEXT);
        EXPECT_TRUE(session.IsConnected());
        session.LogOff();
    }
    EXPECT_THAT(Snapshot(local.Path()), IsEmpty());
    Finish();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
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

std::string FileLine(const std::string& name, std::size_t size)
{
    return "-rw-r--r-- 1 u g " + std::to_string(size) + " Jan  5  2020 " + name + "\r\n";
}

std::string DirectoryLine(const std::string& name) { return "drwxr-xr-x 2 u g 4096 Jan  5  2020 " + name + "\r\n"; }

std::string LinkLine(const std::string& name, const std::string& target)
{
    return "lrwxrwxrwx 1 u g " + std::to_string(target.size()) + " Jan  5  2020 " + name + " -> " + target + "\r\n";
}

std::vector<std::wstring> Keys(const std::map<std::wstring, std::string>& entries)
{
    std::vector<std::wstring> keys;
    for (const auto& [key, value] : entries)
        keys.push_back(key);
    return keys;
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// Names Windows would read as another file, a device or a path are left out at every
// level, and nothing below a refused directory is listed; each is named once, in one box.
TEST_F(ScriptedJobTest, DownloadLeavesOutNamesWindowsWouldMisreadAtEveryLevel)
{
    // As listed on the wire, and as the job names them.
    const std::vector<std::pair<std::string, std::wstring>> refused = {
        {"trail.", L"trail."},   {"blank ", L"blank "},         {"COM\xC2\xB9", L"COM\u00B9"},
        {"con.txt", L"con.txt"}, {"Nul.tar.gz", L"Nul.tar.gz"}, {"a<b|c", L"a<b|c"},
        {"what?", L"what?"},     {"bell\x07", L"bell\x07"},     {"\xE2\x80\xAEtxt.exe", L"\u202Etxt.exe"}};
    std::string lines;
    for (const auto& [wire, name] : refused)
        lines += FileLine(wire, 1);
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/d", lines + DirectoryLine("LPT1") + DirectoryLine("sub") + FileLine("ok.txt", 2));
    ScriptListing("LIST /home/alice/d/sub", FileLine("aux.c", 1) + FileLine("fine", 4));
    server.On("TYPE I", "200 binary\r\n");
    server.ExpectPasv().On("RETR /home/alice/d/ok.txt", "150 sending\r\n").DataSend("ok").Reply("226 done\r\n");
    server.ExpectPasv().On("RETR /home/alice/d/sub/fine", "150 sending\r\n").DataSend("fine").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{L"/home/alice/d", true}, {L"/home/alice/PRN", true}}),
                     local.Path().wstring(), JOB_DOWNLOAD),
              IDOK);
    EXPECT_THAT(Keys(Snapshot(local.Path())), ElementsAre(L"d", L"d/ok.txt", L"d/sub", L"d/sub/fine"));
    std::vector<std::wstring> expected = {
        L"These items were left out because their names or paths are too long or not allowed here:"};
    for (const auto& [wire, name] : refused)
        expected.push_back(L"/home/alice/d/" + name);
    expected.insert(expected.end(), {L"/home/alice/d/LPT1", L"/home/alice/d/sub/aux.c", L"/home/alice/PRN"});
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    EXPECT_EQ(Lines(answerer.MessageTexts()[0]), expected);
    Finish();
}

// Names meet as the file system compares them, at every level: one on disk below the
// chosen directory, and two that the listing itself gives in one directory. Each is asked
// about; one refusal downloads nothing, agreement replaces.
TEST_F(ScriptedJobTest, DownloadAsksBeforeEveryReplacementAtEveryLevel)
{
    const std::string listing = FileLine("a.txt", 1) + FileLine("A.TXT", 1) + FileLine("existing.txt", 3);
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/d", listing);
    ScriptListing("LIST /home/alice/d", listing);
    server.On("TYPE I", "200 binary\r\n");
    for (const auto& [name, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"a.txt", "1"}, {"A.TXT", "2"}, {"existing.txt", "new"}})
        server.ExpectPasv().On("RETR /home/alice/d/" + name, "150 sending\r\n").DataSend(bytes).Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    const fs::path d = local.Path() / L"d";
    WriteBytes(d / L"Existing.TXT", 4, 1);
    const auto before = Snapshot(local.Path());
    struct Run {
        std::vector<int> answers;
        INT_PTR result;
    };
    for (const Run& run : {Run{{IDOK, IDCANCEL, IDOK}, IDCANCEL}, Run{{IDOK, IDOK, IDOK}, IDOK}}) {
        std::vector<std::wstring> questions;
        for (int answer : run.answers) {
            answerer.OnDialog(L"Confirm Replace", [&questions, answer](HWND prompt) {
                questions.push_back(testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE));
                testsupport::PostCommand(prompt, answer);
            });
        }
        EXPECT_EQ(
            RunJob(&session, RemoteList(&session, {{L"/home/alice/d", true}}), local.Path().wstring(), JOB_DOWNLOAD),
            run.result);
        EXPECT_THAT(questions,
                    ElementsAre(L"The directory \"d\" already exists. Would you like to replace it?",
                                L"The file \"d\\A.TXT\" already exists. Would you like to replace it?",
                                L"The file \"d\\existing.txt\" already exists. Would you like to replace it?"));
        if (run.result == IDCANCEL) {
            EXPECT_EQ(Snapshot(local.Path()), before);
        }
    }
    // The second of a.txt and A.TXT replaced the first; the file system keeps either spelling.
    EXPECT_EQ(Snapshot(d).size(), 2u);
    EXPECT_EQ(ReadBytes(d / L"a.txt"), "2");
    EXPECT_EQ(ReadBytes(d / L"existing.txt"), "new");
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    Finish();
}

// An upload compares every level with what the server lists there, as a download does
// with the disk. A target that exists but won't be listed is asked about before anything
// goes into it; agreed, the levels below are still compared where they can be listed.
TEST_F(ScriptedJobTest, UploadAsksWhereTheTargetCantBeListedAndComparesEveryLevel)
{
    const auto refusedTarget = [this] {
        server.ExpectPasv().On("LIST /home/alice/up", "550 Permission denied\r\n");
        server.On("CWD /home/alice/up", "250 ok\r\n").On("PWD", "257 \"/home/alice/up\"\r\n");
        server.On("CWD /home/alice", "250 ok\r\n");
    };
    ScriptLogon(server);
    refusedTarget();
    refusedTarget();
    ScriptListing("LIST /home/alice/up/d", FileLine("X.TXT", 9));
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    WriteBytes(local.Path() / L"a.txt", 3, 1);
    WriteBytes(local.Path() / L"d" / L"x.txt", 4, 2);
    const std::wstring unseen = L"The server would not list the directory \"/home/alice/up\", so it is not known "
                                L"whether this upload would replace anything in it. Upload anyway?";
    std::vector<std::wstring> questions;
    answerer.OnDialog(L"Confirm Replace", [&questions](HWND prompt) {
        questions.push_back(testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE));
        testsupport::PostCommand(prompt, IDCANCEL);
    });
    for (const int answer : {IDCANCEL, IDOK}) {
        answerer.SetMessageBoxAnswer(answer);
        EXPECT_EQ(
            RunJob(&session, LocalList({local.Path() / L"a.txt", local.Path() / L"d"}), L"/home/alice/up", JOB_UPLOAD),
            IDCANCEL)
            << answer;
    }
    EXPECT_THAT(answerer.MessageTexts(), ElementsAre(unseen, unseen));
    EXPECT_THAT(questions, ElementsAre(L"The file \"d/X.TXT\" already exists. Would you like to replace it?"));
    Finish();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// A file is kept only when the server confirmed it and, if the listing gave a size, when
// exactly that many bytes came. Otherwise nothing is left under either name, a file that was
// there (agreed to be replaced, or one that appeared meanwhile) stays as it was, the job goes
// on, and one box names every failure.
TEST_F(ScriptedJobTest, DownloadKeepsOnlyWholeFilesAndNamesTheOthersOnce)
{
    struct Row {
        std::wstring name;
        std::uint64_t listed;
        std::string sent;
        std::string finalReply;
        bool kept;
    };
    const std::vector<Row> rows = {
        {L"short.bin", 10, "12345", "226 done\r\n", false},
        {L"unconfirmed.bin", 3, "abc", "451 local error\r\n", false},
        {L"long.bin", 2, "12345", "226 done\r\n", false},
        {L"nosize.bin", REMOTE_SIZE_UNKNOWN, "nosz", "226 done\r\n", true},
        {L"replaced.bin", 10, "12345", "226 done\r\n", false},
        {L"appears.bin", 3, "abc", "226 done\r\n", false},
        {L"good.bin", 2, "ok", "226 done\r\n", true},
    };
    const std::wstring appearing = L"appears.bin";
    LocalDirectory local;
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n");
    for (const Row& row : rows) {
        const std::string name(row.name.begin(), row.name.end());
        server.ExpectPasv().On("RETR /home/alice/" + name, "150 sending\r\n");
        // The server holds the bytes until the test has put a file in the way, after the
        // name was posted.
        if (row.name == appearing)
            server.DataHold().WaitUntil("APPEARS.BIN written", [path = local.Path() / L"APPEARS.BIN"] {
                return std::filesystem::exists(path);
            });
        server.DataSend(row.sent).Reply(row.finalReply);
    }
    server.On("QUIT", "221 bye\r\n");
    Connect();

    WriteBytes(local.Path() / L"replaced.bin", 4, 1);
    const std::string mine = ReadBytes(local.Path() / L"replaced.bin");
    // Left by a download that a killed program never finished.
    WriteBytes(local.Path() / L"good.bin.part", 4, 1);
    answerer.OnDialog(L"Confirm Replace", [](HWND prompt) { testsupport::PostCommand(prompt, IDOK); });
    ProgressRecorder progress;
    progress.onName = [&](HWND, const std::wstring& name) {
        if (name.ends_with(appearing)) WriteBytes(local.Path() / L"APPEARS.BIN", 4, 1);
    };
    std::vector<std::pair<std::wstring, bool>> paths;
    std::vector<std::uint64_t> sizes;
    for (const Row& row : rows) {
        paths.push_back({L"/home/alice/" + row.name, false});
        sizes.push_back(row.listed);
    }
    EXPECT_EQ(RunJob(&session, RemoteList(&session, paths, sizes), local.Path().wstring(), JOB_DOWNLOAD), IDOK);

    std::map<std::wstring, std::string> expected = {
        {L"replaced.bin", mine}, {L"APPEARS.BIN", mine}, {L"good.bin.part", mine}};
    std::vector<std::wstring> failed = {L"Failed to download these files:"};
    for (const Row& row : rows) {
        if (row.kept) expected[row.name] = row.sent;
        if (!row.kept) failed.push_back((local.Path() / row.name).wstring());
    }
    std::map<std::wstring, std::string> found;
    for (const auto& [name, hash] : Snapshot(local.Path()))
        found[name] = ReadBytes(local.Path() / name);
    EXPECT_EQ(found, expected);
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    std::vector<std::wstring> shown = Lines(answerer.MessageTexts()[0]);
    // The rename refused by the file in the way brings the system's reason.
    ASSERT_EQ(shown.size(), failed.size());
    EXPECT_THAT(shown.back(), ::testing::StartsWith((local.Path() / appearing).wstring() + L": "));
    shown.back() = failed.back();
    EXPECT_EQ(shown, failed);
    Finish();
}

// Links are followed only into directories not visited yet, known by the path PWD names
// after changing into them; a link that can't be entered is downloaded as a file. The
// links back into the tree are named once, in one box, and nothing is made for them.
TEST_F(ScriptedJobTest, DownloadFollowsLinksOnceAndNamesTheLoopsOnce)
{
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/top", FileLine("file1", 3) + DirectoryLine("sub") + LinkLine("self", ".") +
                                              LinkLine("back", "/home/alice/top") + LinkLine("tofile", "file1") +
                                              LinkLine("sub2", "sub"));
    ScriptListing("LIST /home/alice/top/sub", FileLine("inner", 2));
    for (const char* link : {"self", "back"})
        server.On(std::string("CWD /home/alice/top/") + link, "250 ok\r\n")
            .On("PWD", "257 \"/home/alice/top\" is current\r\n");
    server.On("CWD /home/alice/top/tofile", "550 Not a directory\r\n");
    server.On("CWD /home/alice/top/sub2", "250 ok\r\n").On("PWD", "257 \"/home/alice/top/sub\" is current\r\n");
    server.On("CWD /home/alice", "250 ok\r\n");
    server.On("TYPE I", "200 binary\r\n");
    for (const auto& [path, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"file1", "abc"}, {"tofile", "abc"}, {"sub/inner", "in"}})
        server.ExpectPasv().On("RETR /home/alice/top/" + path, "150 sending\r\n").DataSend(bytes).Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    LocalDirectory local;
    EXPECT_EQ(
        RunJob(&session, RemoteList(&session, {{L"/home/alice/top", true}}), local.Path().wstring(), JOB_DOWNLOAD),
        IDOK);
    EXPECT_THAT(Keys(Snapshot(local.Path())),
                ElementsAre(L"top", L"top/file1", L"top/sub", L"top/sub/inner", L"top/tofile"));
    EXPECT_THAT(answerer.MessageTexts(),
                ElementsAre(L"These links lead back to a folder the job already holds, so they were not followed:\n"
                            L"/home/alice/top/self\n/home/alice/top/back\n/home/alice/top/sub2"));
    Finish();
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// A server whose PWD names the path as given, never where a link leads, can't show a loop;
// the walk then ends MAX_TREE_DEPTH levels down, and says so once.
TEST_F(ScriptedJobTest, RemoteWalkStopsAtTheDepthLimit)
{
    const std::string loop = LinkLine("lp", ".");
    ScriptLogon(server);
    ScriptListing("LIST /home/alice/t", loop);
    std::string path = "/home/alice/t";
    for (std::uint32_t depth = 1; depth < MAX_TREE_DEPTH; ++depth) {
        path += "/lp";
        server.On("CWD " + path, "250 ok\r\n").On("PWD", "257 \"" + path + "\"\r\n");
        ScriptListing("LIST", loop);
    }
    server.On("CWD /home/alice", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    Connect();

    auto list = RemoteList(&session, {{L"/home/alice/t", true}});
    ExpandRemote(list.get());
    EXPECT_EQ(list->itemCount, MAX_TREE_DEPTH + 1);
    ASSERT_EQ(list->leftOut.size(), 1u);
    EXPECT_EQ(list->leftOut[0].reason, LeftOutReason::Depth);
    EXPECT_EQ(list->leftOut[0].path, Wide(path) + L"/lp");
    Finish();
}

// Cancel cuts the data connection of a server that went silent mid-file, instead of
// waiting out the timeout; nothing of the file stays.
TEST_F(ScriptedJobTest, CancelCutsAStalledDownloadAndLeavesNoFile)
{
    ScriptLogon(server);
    server.On("TYPE I", "200 binary\r\n");
    // The data connection stays silent until the client closes it.
    server.ExpectPasv().On("RETR /home/alice/stall.bin", "150 sending\r\n").DataHold().DataReceive();
    server.Reply("426 aborted\r\n");
    server.On("QUIT", "221 bye\r\n");
    // A long timeout, so that only Cancel can end the stalled receive in time.
    Connect(60);

    LocalDirectory local;
    ProgressRecorder progress;
    std::chrono::steady_clock::time_point cancelled;
    progress.onName = [&](HWND dialog, const std::wstring&) {
        cancelled = std::chrono::steady_clock::now();
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(RunJob(&session, RemoteList(&session, {{L"/home/alice/stall.bin", false}}, {100}), local.Path().wstring(),
                     JOB_DOWNLOAD),
              IDCANCEL);
    const auto ending = std::chrono::steady_clock::now() - cancelled;
    // Far below the site's timeout, which a receive would otherwise wait out.
    EXPECT_LT(ending, std::chrono::seconds(20));
    EXPECT_THAT(Snapshot(local.Path()), IsEmpty());
    EXPECT_THAT(answerer.MessageTexts(),
                ElementsAre(L"Failed to download file:\n" + (local.Path() / L"stall.bin").wstring()));
    Finish();
}

} // namespace
