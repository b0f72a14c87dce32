// What the shell is told about the files of a Copy or a drag when the server lists the
// awkward ones (a size past 4 GiB, a name too long for a descriptor or unfit for a local
// file, a directory it refuses to list, one that never ends), and what its streams say
// when a file doesn't arrive whole. Against the scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "MainFrame.h"
#include "OfferListingDlg.h"
#include "OrvidDoc.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "VirtualFiles.h"
#include "framework/Handles.h"
#include "shell/LocalPicker.h"
#include "shell/StatusText.h"
#include "shell/TempDirectory.h"
#include "support/ScriptedServer.h"
#include "support/WindowAnswerer.h"
#include "transfer/TransferList.h"

using namespace dragdroptests;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;

TEST(Descriptors, CarryWholeSizesLeaveOutLongNamesOnceAndOfferWhatCouldBeListed)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    testsupport::ScriptedServer server;
    const std::string longName(300, 'n');
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 deep\r\n"
                  "drwx------ 2 u g 4096 Jan  5  2020 locked\r\n"
                  "-rw-r--r-- 1 u g 5368709121 Jan  5  2020 huge.iso\r\n")
        .Reply("226 done\r\n");
    server.ExpectPasv()
        .On("LIST /pub/deep", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 3 Jan  5  2020 ok.txt\r\n"
                  "-rw-r--r-- 1 u g 3 Jan  5  2020 " +
                  longName + "\r\n")
        .Reply("226 done\r\n");
    server.ExpectPasv().On("LIST /pub/locked", "550 Permission denied\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();

    auto& document = run.Document();
    ASSERT_TRUE(OpenSite(document.Session(), ScriptedSite(server, false)));
    document.OnSiteConnected(L"Scripted");
    PumpMessages();
    CListCtrlEx& list = run.View().List();
    for (int row = 0; row < list.GetItemCount(); ++row)
        list.SelectItem(row, true);
    run.Frame().RouteCommand(ID_EDIT_COPY);
    fw::ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.Put()), S_OK);

    std::vector<VirtualFile> files;
    ASSERT_TRUE(ReadDescriptors(clipboard.Get(), files));
    ASSERT_THAT(files, SizeIs(2));
    EXPECT_EQ(files[0].name, L"huge.iso");
    EXPECT_EQ(files[0].size, 5368709121ULL);
    EXPECT_EQ(files[1].name, L"deep/ok.txt");
    EXPECT_THAT(reporter.Errors(), ElementsAre(HasSubstr(L"Permission denied")));
    ASSERT_THAT(answerer.MessageTexts(), SizeIs(1));
    EXPECT_THAT(answerer.MessageTexts()[0], HasSubstr(L"/pub/deep/nnnn"));

    // The tree was listed once: asking again lists nothing and warns no more.
    files.clear();
    ASSERT_TRUE(ReadDescriptors(clipboard.Get(), files));
    EXPECT_THAT(files, SizeIs(2));
    EXPECT_THAT(answerer.MessageTexts(), SizeIs(1));

    document.Disconnect();
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}

TEST(Descriptors, AStreamWhoseConnectionDropsEndsShortWithTheEnginesWordAndFreesTheSession)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::ScriptedServer server;
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 100000 Jan  5  2020 f.bin\r\n")
        .Reply("226 done\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR /pub/f.bin", "150 sending\r\n");
    server.DataSendThenReset(std::string(1000, 'f')).Close();
    server.Start();

    auto& document = run.Document();
    ASSERT_TRUE(OpenSite(document.Session(), ScriptedSite(server, false)));
    document.OnSiteConnected(L"Scripted");
    PumpMessages();
    run.View().List().SelectItem(0, true);
    run.Frame().RouteCommand(ID_EDIT_COPY);
    fw::ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.Put()), S_OK);
    fw::ComPtr<IStream> stream;
    stream.Attach(OpenContents(clipboard.Get(), 0));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(document.Session().IsBusy());

    std::string bytes;
    EXPECT_FALSE(ReadToEnd(stream.Get(), bytes));
    EXPECT_LT(bytes.size(), 100000u);
    // Where recv() reports the data connection's reset (Windows; Wine now and then), the
    // failed receive is told first; where it reports an orderly close, only the end of the
    // control connection is.
    EXPECT_THAT(reporter.Errors(),
                ::testing::AnyOf(ElementsAre(nsFTP::CONNECTION_CLOSED_TEXT),
                                 ElementsAre(::testing::StartsWith(L"Unable to receive data.\n\nError code: "),
                                             nsFTP::CONNECTION_CLOSED_TEXT)));
    char byte = 0;
    ULONG got = 1;
    EXPECT_EQ(stream->Read(&byte, 1, &got), STG_E_READFAULT);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(document.Session().IsBusy());
    EXPECT_FALSE(document.Session().IsConnected());
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
}

namespace {

// Connects the program to the scripted server, which must list /pub first.
void ConnectTo(ProgramRun& run, testsupport::ScriptedServer& server)
{
    ASSERT_TRUE(OpenSite(run.Document().Session(), ScriptedSite(server, false)));
    run.Document().OnSiteConnected(L"Scripted");
    PumpMessages();
}

// Disconnects, and checks that the server played its whole script and nothing else.
void DisconnectAndCheck(ProgramRun& run, testsupport::ScriptedServer& server)
{
    run.Document().Disconnect();
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}

fw::ComPtr<IDataObject> CopyAllRows(ProgramRun& run)
{
    CListCtrlEx& list = run.View().List();
    for (int row = 0; row < list.GetItemCount(); ++row)
        list.SelectItem(row, true);
    run.Frame().RouteCommand(ID_EDIT_COPY);
    fw::ComPtr<IDataObject> clipboard;
    EXPECT_EQ(OleGetClipboard(clipboard.Put()), S_OK);
    return clipboard;
}

std::vector<std::wstring> DescriptorNames(IDataObject* data)
{
    std::vector<VirtualFile> files;
    EXPECT_TRUE(ReadDescriptors(data, files));
    std::vector<std::wstring> names;
    for (const VirtualFile& file : files)
        names.push_back(file.name);
    return names;
}

} // namespace

TEST(Descriptors, NamesThatCantBeLocalNamesAreLeftOutAtEveryLevelAndNamedOnce)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    testsupport::ScriptedServer server;
    const std::string refused = "-rw-r--r-- 1 u g 3 Jan  5  2020 ..\\x\r\n"
                                "-rw-r--r-- 1 u g 3 Jan  5  2020 a:b\r\n"
                                "-rw-r--r-- 1 u g 3 Jan  5  2020 CON\r\n";
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 d\r\n-rw-r--r-- 1 u g 3 Jan  5  2020 ok\r\n" + refused)
        .Reply("226 done\r\n");
    server.ExpectPasv()
        .On("LIST /pub/d", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 3 Jan  5  2020 in\r\n" + refused)
        .Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectTo(run, server);

    fw::ComPtr<IDataObject> clipboard = CopyAllRows(run);
    ASSERT_TRUE(clipboard);
    EXPECT_THAT(DescriptorNames(clipboard.Get()), ElementsAre(L"ok", L"d/in"));
    ASSERT_THAT(answerer.MessageTexts(), SizeIs(1));
    for (const wchar_t* path : {L"/pub/..\\x", L"/pub/a:b", L"/pub/CON", L"/pub/d/..\\x", L"/pub/d/a:b", L"/pub/d/CON"})
        EXPECT_THAT(answerer.MessageTexts()[0], HasSubstr(path));
    EXPECT_THAT(DescriptorNames(clipboard.Get()), ElementsAre(L"ok", L"d/in"));
    EXPECT_THAT(answerer.MessageTexts(), SizeIs(1));

    DisconnectAndCheck(run, server);
}

TEST(Descriptors, EachCopyOrDragIsAnOfferOfItsOwnThatLaterOnesLeaveAlone)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::ScriptedServer server;
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 3 Jan  5  2020 a.txt\r\n-rw-r--r-- 1 u g 3 Jan  5  2020 b.txt\r\n")
        .Reply("226 done\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR /pub/a.txt", "150 sending\r\n");
    server.DataSend("AAA").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectTo(run, server);

    CListCtrlEx& list = run.View().List();
    list.SelectOnly(0);
    run.Frame().RouteCommand(ID_EDIT_COPY);
    list.SelectOnly(1);
    run.View().DragEntries(run.View().SelectedEntries());
    ASSERT_NE(run.View().DataSource(), nullptr);
    EXPECT_THAT(DescriptorNames(run.View().DataSource()), ElementsAre(L"b.txt"));

    // The paste after the drag still gets what was copied, bytes included.
    fw::ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.Put()), S_OK);
    EXPECT_THAT(DescriptorNames(clipboard.Get()), ElementsAre(L"a.txt"));
    fw::ComPtr<IStream> stream;
    stream.Attach(OpenContents(clipboard.Get(), 0));
    ASSERT_TRUE(stream);
    std::string bytes;
    EXPECT_TRUE(ReadToEnd(stream.Get(), bytes));
    EXPECT_EQ(bytes, "AAA");
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());

    DisconnectAndCheck(run, server);
}

// A file whose bytes all came but whose end the server calls failed, and one that ended
// early with the server content: neither may read as a whole file.
TEST(Descriptors, AStreamFailsItsReadWhenTheFileDidNotArriveWhole)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::ScriptedServer server;
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 100 Jan  5  2020 failed.bin\r\n"
                  "-rw-r--r-- 1 u g 5000 Jan  5  2020 short.bin\r\n")
        .Reply("226 done\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR /pub/failed.bin", "150 sending\r\n");
    server.DataSend(std::string(100, 'f')).Reply("451 local error in processing\r\n");
    server.ExpectPasv().On("RETR /pub/short.bin", "150 sending\r\n");
    server.DataSend(std::string(1000, 's')).Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectTo(run, server);
    COrvidDoc& document = run.Document();

    fw::ComPtr<IDataObject> clipboard = CopyAllRows(run);
    ASSERT_TRUE(clipboard);
    ASSERT_THAT(DescriptorNames(clipboard.Get()), ElementsAre(L"failed.bin", L"short.bin"));
    const wchar_t* const told[] = {L"451 local error", L"/pub/short.bin"};
    for (LONG index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        fw::ComPtr<IStream> stream;
        stream.Attach(OpenContents(clipboard.Get(), index));
        ASSERT_TRUE(stream);
        std::string bytes;
        EXPECT_FALSE(ReadToEnd(stream.Get(), bytes));
        char byte = 0;
        ULONG got = 1;
        EXPECT_EQ(stream->Read(&byte, 1, &got), STG_E_READFAULT);
        EXPECT_EQ(got, 0u);
        EXPECT_FALSE(document.Session().IsBusy());
        ASSERT_THAT(reporter.Errors(), SizeIs(index + 1));
        EXPECT_THAT(reporter.Errors().back(), HasSubstr(told[index]));
    }
    EXPECT_TRUE(document.Session().IsConnected());

    DisconnectAndCheck(run, server);
}

TEST(Descriptors, CancellingAWalkThatNeverEndsOffersNothingAndFreesTheConnection)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    testsupport::ScriptedServer server;
    std::atomic<bool> cancelled{false};
    answerer.OnDialog(OFFER_LISTING_TITLE, [&](HWND window) {
        testsupport::PostCommand(window, IDCANCEL);
        cancelled = true;
    });
    const std::string listing = "drwxr-xr-x 2 u g 4096 Jan  5  2020 d\r\n";
    ScriptLogon(server, "/pub");
    server.ExpectPasv().On("LIST /pub", "150 listing\r\n").DataSend(listing).Reply("226 done\r\n");
    server.ExpectPasv()
        .On("LIST /pub/d", "150 listing\r\n")
        .DataHold()
        .WaitUntil("the walk's Cancel", [&] { return cancelled.load(); })
        .Reply("426 transfer aborted\r\n");
    server.ExpectPasv().On("LIST /pub", "150 listing\r\n").DataSend(listing).Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectTo(run, server);
    COrvidDoc& document = run.Document();

    fw::ComPtr<IDataObject> clipboard = CopyAllRows(run);
    ASSERT_TRUE(clipboard);
    std::vector<VirtualFile> files;
    EXPECT_FALSE(ReadDescriptors(clipboard.Get(), files));
    EXPECT_THAT(answerer.DialogsAnswered(), ElementsAre(OFFER_LISTING_TITLE));
    // The offer is withdrawn, and the connection serves the window again.
    EXPECT_FALSE(ReadDescriptors(clipboard.Get(), files));
    EXPECT_EQ(OpenContents(clipboard.Get(), 0), nullptr);
    EXPECT_FALSE(document.Session().IsBusy());
    run.View().Refresh();
    EXPECT_EQ(run.View().List().GetItemText(0, 0), L"d");

    DisconnectAndCheck(run, server);
}

namespace {

// Download To's folder picker, during which the shell opens a stream of the clipboard's.
class StreamOpeningPicker : public ILocalPicker {
public:
    explicit StreamOpeningPicker(IDataObject* clipboard) : clipboard(clipboard) {}
    ~StreamOpeningPicker() override
    {
        fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_ALL_ACCESS);
        if (key.IsOpen()) key.DeleteValue(LAST_FOLDER_VALUE);
    }
    std::optional<std::wstring> PickFolder(HWND, const std::wstring&) override
    {
        stream.Attach(OpenContents(clipboard, 0));
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp);
    }
    std::vector<std::wstring> PickFiles(HWND, const std::wstring&) override { return {}; }

    IDataObject* clipboard;
    fw::ComPtr<IStream> stream;
};

} // namespace

TEST(Descriptors, AJobWhoseConnectionTheShellTookDuringItsPromptSaysTheSessionIsBusy)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::ScriptedServer server;
    // The frame puts "Ready" back every 15 s; a slow run must not see it instead of the busy text.
    KillTimer(run.Frame().Handle(), READY_TIMER);
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("-rw-r--r-- 1 u g 3 Jan  5  2020 a.txt\r\n")
        .Reply("226 done\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR /pub/a.txt", "150 sending\r\n");
    server.DataSend("AAA").Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectTo(run, server);

    fw::ComPtr<IDataObject> clipboard = CopyAllRows(run);
    ASSERT_TRUE(clipboard);
    StreamOpeningPicker picker(clipboard.Get());
    SetLocalPicker(&picker);
    run.Frame().RouteCommand(ID_FILE_DOWNLOAD_TO);
    SetLocalPicker(nullptr);
    PumpMessages();
    ASSERT_TRUE(picker.stream);
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), SESSION_BUSY_TEXT);

    // The stream had the connection to itself.
    std::string bytes;
    EXPECT_TRUE(ReadToEnd(picker.stream.Get(), bytes));
    EXPECT_EQ(bytes, "AAA");
    EXPECT_FALSE(run.Document().Session().IsBusy());
    EXPECT_THAT(reporter.Errors(), ::testing::IsEmpty());

    DisconnectAndCheck(run, server);
}

// A Copy of a tree holding more items than one offer takes gives the shell no descriptors
// at all, and one box says why; the connection stays.
TEST(Descriptors, ATreeTooLargeToOfferIsRefusedWithOneBox)
{
    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    testsupport::ScriptedServer server;
    std::string tree;
    for (std::uint64_t index = 0; index < MAX_TRANSFER_ITEMS; ++index)
        tree += "+i" + std::to_string(index) + ",r,s1,\tf" + std::to_string(index) + "\r\n";
    ScriptLogon(server, "/pub");
    server.ExpectPasv()
        .On("LIST /pub", "150 listing\r\n")
        .DataSend("drwxr-xr-x 2 u g 4096 Jan  5  2020 big\r\n")
        .Reply("226 done\r\n");
    server.ExpectPasv().On("LIST /pub/big", "150 listing\r\n").DataSend(tree).Reply("226 done\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();

    ConnectTo(run, server);
    fw::ComPtr<IDataObject> clipboard = CopyAllRows(run);
    ASSERT_TRUE(clipboard);

    std::vector<VirtualFile> files;
    EXPECT_FALSE(ReadDescriptors(clipboard.Get(), files));
    EXPECT_THAT(files, ::testing::IsEmpty());
    EXPECT_THAT(answerer.MessageTexts(), ElementsAre(TRANSFER_TOO_LARGE_TEXT));
    EXPECT_TRUE(run.Document().Session().IsConnected());

    DisconnectAndCheck(run, server);
}
