// What the shell is told about the files of a Copy when the server lists the awkward
// ones: a size past 4 GiB, a name too long for a descriptor, a directory it refuses to
// list. Against the scripted server; nothing is transferred.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "OrvidDoc.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "VirtualFiles.h"
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

    auto& document = *static_cast<COrvidDoc*>(run.App().GetDocument());
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

    auto& document = *static_cast<COrvidDoc*>(run.App().GetDocument());
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
    EXPECT_EQ(stream->Read(&byte, 1, &got), S_FALSE);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(document.Session().IsBusy());
    EXPECT_FALSE(document.Session().IsConnected());
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
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

    auto& document = *static_cast<COrvidDoc*>(run.App().GetDocument());
    ASSERT_TRUE(OpenSite(document.Session(), ScriptedSite(server, false)));
    document.OnSiteConnected(L"Scripted");
    PumpMessages();
    run.View().List().SelectItem(0, true);
    run.Frame().RouteCommand(ID_EDIT_COPY);
    fw::ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.Put()), S_OK);

    std::vector<VirtualFile> files;
    EXPECT_FALSE(ReadDescriptors(clipboard.Get(), files));
    EXPECT_THAT(files, ::testing::IsEmpty());
    EXPECT_THAT(answerer.MessageTexts(), ElementsAre(TRANSFER_TOO_LARGE_TEXT));
    EXPECT_TRUE(document.Session().IsConnected());

    document.Disconnect();
    EXPECT_TRUE(server.WaitFinished(std::chrono::seconds(10))) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}
