// The find tool opened from the real frame: Edit > Find against the scripted server, Goto
// into the pane and Copy Selected onto the clipboard as the shell reads it. The modal
// dialog is played by a DialogScript step, which dispatches messages until the search has
// ended.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "OrvidDoc.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "VirtualFiles.h"
#include "resource.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
constexpr std::size_t TEXT_BUFFER = 512;

const char* const HOME_LISTING = "drwxr-xr-x 2 u g 4096 Jan  5  2020 sub\r\n"
                                 "-rw-r--r-- 1 u g 7 Jan  5  2020 app.log\r\n";
const char* const SUB_LISTING = "-rw-r--r-- 1 u g 5 Jan  5  2020 log-2007\r\n"
                                "lrwxrwxrwx 1 u g 9 Jan  5  2020 lnk -> /data/log\r\n";

void ScriptListing(ScriptedServer& server, const std::string& path, const std::string& listing)
{
    server.ExpectPasv().On("LIST " + path, "150 listing\r\n").DataSend(listing).Reply("226 done\r\n");
}

std::wstring WindowText(HWND window)
{
    wchar_t text[TEXT_BUFFER] = {};
    GetWindowTextW(window, text, TEXT_BUFFER);
    return text;
}

HWND Results(HWND dialog) { return GetDlgItem(dialog, IDC_FIND_RESULTS); }

// Dispatches this thread's messages (inside the dialog's modal loop) until the search has
// ended with rows; false when it did not.
bool WaitForRows(HWND dialog)
{
    const HWND button = GetDlgItem(dialog, IDC_FIND_FIND);
    return PumpUntil([&] {
        return ListView_GetItemCount(Results(dialog)) > 0 && WindowText(button) == L"Find" && IsWindowEnabled(button);
    });
}

class FindPaneTest : public ::testing::Test {
protected:
    COrvidDoc& Document() const { return run.Document(); }
    ConnectionSession& Session() const { return Document().Session(); }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    ScriptedServer server;
};

} // namespace

TEST_F(FindPaneTest, FindFromTheFrameGoesToTheLinkAndCopiesItUnderItsOwnName)
{
    ASSERT_TRUE(run.Started());
    ScriptLogon(server);
    ScriptListing(server, "/home/alice", HOME_LISTING);
    // The search.
    ScriptListing(server, "/home/alice/sub", SUB_LISTING);
    server.On("CWD /home/alice/sub/lnk", "550 not a directory\r\n");
    server.On("CWD /home/alice", "250 ok\r\n");
    // Goto.
    server.On("CWD /home/alice/sub", "250 ok\r\n");
    ScriptListing(server, "/home/alice/sub", SUB_LISTING);
    // The shell asks for the copied items' descriptors: the link is tried as a directory.
    server.On("CWD /home/alice/sub/lnk", "550 not a directory\r\n");
    server.On("CWD /home/alice/sub", "250 ok\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    EXPECT_FALSE(run.Update(ID_EDIT_FIND).Enabled().value_or(false));
    ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server, false)));
    Document().OnSiteConnected(L"Scripted");
    PumpMessages();
    EXPECT_TRUE(run.Update(ID_EDIT_FIND).Enabled().value_or(false));

    sitetests::DialogScript script;
    script.On(L"Find", [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_FIND_TEXT, L" data ");
        SendMessageW(GetDlgItem(dialog, IDC_FIND_FIND), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitForRows(dialog));
        wchar_t name[TEXT_BUFFER] = {};
        ListView_GetItemText(Results(dialog), 0, 0, name, TEXT_BUFFER);
        EXPECT_STREQ(name, L"/home/alice/sub/lnk -> /data/log");
        ListView_SetItemState(Results(dialog), 0, LVIS_SELECTED, LVIS_SELECTED);
        SendMessageW(GetDlgItem(dialog, IDC_FIND_COPY), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDC_FIND_GOTO), BM_CLICK, 0, 0);
    });
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_EDIT_FIND, 0));
    EXPECT_TRUE(script.Finished());
    EXPECT_THAT(script.Failures(), IsEmpty());

    // The pane shows the link's directory with the link selected.
    EXPECT_EQ(Session().CurrentDirectory(), L"/home/alice/sub");
    CListCtrlEx& list = run.View().List();
    ASSERT_EQ(list.GetSelectedCount(), 1);
    EXPECT_EQ(list.GetItemText(list.GetNextItem(-1, LVNI_SELECTED), 0), L"lnk -> /data/log");

    fw::ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.Put()), S_OK);
    std::vector<dragdroptests::VirtualFile> files;
    ASSERT_TRUE(dragdroptests::ReadDescriptors(clipboard.Get(), files));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, L"lnk");

    clipboard.Reset();
    run.Close();
    EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}
