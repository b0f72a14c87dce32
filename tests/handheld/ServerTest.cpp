// The handheld program against vsftpd: copying between the two lists both ways, the
// commands' enabling by the focused list, the context menus, and Find from the menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "OrletRun.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "support/RealServers.h"
#include "support/Text.h"
#include "support/Wait.h"
#include "support/WindowAnswerer.h"

using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;
using transfertests::LocalDirectory;
using transfertests::Snapshot;
using transfertests::WriteBytes;

namespace fs = std::filesystem;

namespace {

using testsupport::Wide;

int RowOf(const fw::ListView& list, const std::wstring& name)
{
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetItemText(row, 0) == name) return row;
    return -1;
}

void SelectRows(const fw::ListView& list, const std::vector<std::wstring>& names)
{
    list.SelectOnly(-1);
    for (const std::wstring& name : names)
        list.SelectItem(RowOf(list, name), true);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(ServerKind::Vsftpd, &why);
        if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
        ASSERT_TRUE(run.Started());
    }
    void TearDown() override
    {
        if (!server) return;
        run.Document().Session().LogOff();
        EXPECT_THAT(reporter.Errors(), IsEmpty());
    }

    // Opens the site in the directory as the Site Manager's Connect does.
    void Connect(const std::string& directory)
    {
        SiteRecord site = RealServerSite(*server, L"vsftpd");
        ConnectionSession& session = run.Document().Session();
        ASSERT_TRUE(OpenSite(session, site));
        GoToStartDirectory(session, Wide(directory));
        run.Document().OnSiteConnected(L"vsftpd");
        PumpMessages();
    }
    void ShowLocal(const fs::path& directory)
    {
        run.Document().Local().currentDirectory = directory.wstring();
        run.View().ListLocal();
        PumpMessages();
    }
    bool Enabled(UINT command) const { return run.Update(command).Enabled().value_or(false); }

    OrletRun run;
    TestReporter reporter;
    std::unique_ptr<RealServer> server;
};

} // namespace

TEST_F(ServerTest, CopyRemoteThenPasteLocalDownloadsTreesAndBack)
{
    server->WriteFile("copy/top.txt", "top of the tree\n");
    server->WriteFile("copy/src/one.txt", std::string(70000, 'o'));
    server->WriteFile("copy/src/sub/two.bin", std::string(300000, '\x02'));
    Connect("copy");
    LocalDirectory local;
    WriteBytes(local.Path() / "kept.txt", 10, 5);
    ShowLocal(local.Path());

    run.ChooseMode(MODE_REMOTE);
    run.Focus(ListSide::Remote);
    SelectRows(run.View().RemoteList(), {L"src", L"top.txt"});
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_COPY));
    EXPECT_EQ(run.View().CopySource(), ListSide::Remote);
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE)) << "the remote list is the copy source";

    // A file's row selected: the items go into the current local directory, beside it.
    run.ChooseMode(MODE_LOCAL);
    run.Focus(ListSide::Local);
    SelectRows(run.View().LocalList(), {L"kept.txt"});
    EXPECT_TRUE(Enabled(ID_EDIT_PASTE));
    const auto kept = Snapshot(local.Path());
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_PASTE));
    PumpMessages();
    auto expected = Snapshot(server->Info().root / "copy");
    expected.insert(kept.begin(), kept.end());
    EXPECT_EQ(Snapshot(local.Path()), expected);
    EXPECT_EQ(OrletRun::Names(run.View().LocalList()), (std::vector<std::wstring>{L"src", L"kept.txt", L"top.txt"}));

    // And back: a local tree pasted into the remote list goes into its directory.
    LocalDirectory source;
    WriteBytes(source.Path() / "up" / "a.txt", 1000, 3);
    WriteBytes(source.Path() / "up" / "deep" / "b.bin", 400000, 4);
    ShowLocal(source.Path());
    run.Focus(ListSide::Local);
    SelectRows(run.View().LocalList(), {L"up"});
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_COPY));
    EXPECT_EQ(run.View().CopySource(), ListSide::Local);
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE)) << "the local list is the copy source";

    run.ChooseMode(MODE_REMOTE);
    run.Focus(ListSide::Remote);
    SelectRows(run.View().RemoteList(), {});
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_PASTE));
    PumpMessages();
    EXPECT_EQ(Snapshot(server->Info().root / "copy" / "up"), Snapshot(source.Path() / "up"));
    EXPECT_NE(RowOf(run.View().RemoteList(), L"up"), -1);
}

TEST_F(ServerTest, EnablingFollowsTheFocusedListAndItsSelection)
{
    server->WriteFile("enabling/a.txt", "a");
    server->WriteFile("enabling/b.txt", "b");
    Connect("enabling");
    LocalDirectory local;
    WriteBytes(local.Path() / "c.txt", 1, 1);
    WriteBytes(local.Path() / "d.txt", 1, 2);
    ShowLocal(local.Path());

    const UINT commands[] = {ID_FILE_CONNECT,       ID_FILE_DISCONNECT, ID_EDIT_COPY,   ID_EDIT_PASTE,
                             ID_FILE_DELETE,        ID_FILE_MOVE_TO,    ID_FILE_RENAME, ID_FILE_PROPERTIES,
                             ID_FILE_NEW_DIRECTORY, ID_TOOLS_CHMOD,     ID_VIEW_ICONS};
    const struct {
        ListSide focus;
        int selected;
        std::vector<bool> enabled; // in the order of commands
    } cases[] = {
        {ListSide::Local, 0, {false, true, false, true, false, false, false, false, true, false, true}},
        {ListSide::Local, 1, {false, true, true, true, true, true, true, true, true, false, true}},
        {ListSide::Local, 2, {false, true, true, true, true, true, false, false, true, false, true}},
        {ListSide::Remote, 0, {false, true, false, true, false, false, false, false, true, false, true}},
        {ListSide::Remote, 1, {false, true, true, true, true, true, true, true, true, true, true}},
        {ListSide::Remote, 2, {false, true, true, true, true, true, false, false, true, true, true}},
        {ListSide::None, 0, {false, true, false, false, false, false, false, false, false, false, false}},
    };
    for (const auto& test : cases) {
        const bool local = test.focus == ListSide::Local;
        run.ChooseMode(local ? MODE_LOCAL : MODE_REMOTE);
        CListCtrlEx& list = local ? run.View().LocalList() : run.View().RemoteList();
        const std::vector<std::wstring> names = OrletRun::Names(list);
        SelectRows(list, std::vector<std::wstring>(names.begin(), names.begin() + test.selected));
        run.Focus(test.focus);
        ASSERT_EQ(run.View().FocusedSide(), test.focus);
        for (std::size_t index = 0; index < std::size(commands); ++index)
            EXPECT_EQ(Enabled(commands[index]), test.enabled[index])
                << "focus " << static_cast<int>(test.focus) << ", " << test.selected << " selected, command "
                << commands[index];
    }
}

TEST_F(ServerTest, ContextMenusOfferChmodOnlyRemotelyAndPasteOnlyIntoTheOtherList)
{
    server->WriteFile("menus/a.txt", "a");
    Connect("menus");
    LocalDirectory local;
    WriteBytes(local.Path() / "c.txt", 1, 1);
    ShowLocal(local.Path());
    CListCtrlEx& localList = run.View().LocalList();
    CListCtrlEx& remoteList = run.View().RemoteList();

    // Before any Copy: the menu's Paste is enabled while connected and runs a job of no
    // items, which changes nothing; the context menus offer none.
    run.ChooseMode(MODE_LOCAL);
    run.Focus(ListSide::Local);
    EXPECT_TRUE(Enabled(ID_EDIT_PASTE));
    const auto before = Snapshot(local.Path());
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_PASTE));
    PumpMessages();
    EXPECT_EQ(Snapshot(local.Path()), before);
    EXPECT_EQ(OrletRun::Names(localList), std::vector<std::wstring>{L"c.txt"});
    // The job's dialog has closed: the list keeps the focus the commands act on, and gets
    // it back when the frame is active again.
    EXPECT_EQ(run.View().FocusedSide(), ListSide::Local);
    run.Focus(ListSide::None);
    run.Frame().SetFocus();
    EXPECT_EQ(run.View().FocusedSide(), ListSide::Local);
    EXPECT_EQ(MenuItemEnabled(localList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::nullopt);
    EXPECT_EQ(MenuItemEnabled(remoteList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::nullopt);
    EXPECT_EQ(MenuItemEnabled(localList.BuildContextMenu().Get(), ID_TOOLS_CHMOD), std::nullopt);
    EXPECT_NE(MenuItemEnabled(remoteList.BuildContextMenu().Get(), ID_TOOLS_CHMOD), std::nullopt);
    EXPECT_EQ(testsupport::MenuLayout(localList.BuildContextMenu().Get()),
              L"Copy|-|New Directory...|Rename|Delete|Move To...|-|Properties|-|View[Icons|List|Details]");

    SelectRows(localList, {L"c.txt"});
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_COPY));
    EXPECT_EQ(MenuItemEnabled(localList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::nullopt);
    EXPECT_EQ(MenuItemEnabled(localList.BuildContextMenu().Get(), ID_TOOLS_CHMOD), std::nullopt);
    run.ChooseMode(MODE_REMOTE);
    run.Focus(ListSide::Remote);
    SelectRows(remoteList, {L"a.txt"});
    EXPECT_EQ(MenuItemEnabled(remoteList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::optional<bool>(true));
    EXPECT_EQ(MenuItemEnabled(remoteList.BuildContextMenu().Get(), ID_TOOLS_CHMOD), std::optional<bool>(true));
    EXPECT_EQ(
        testsupport::MenuLayout(remoteList.BuildContextMenu().Get()),
        L"Copy|Paste|-|New Directory...|Rename|Delete|Move To...|-|CHMOD...|Properties|-|View[Icons|List|Details]");

    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_COPY));
    EXPECT_EQ(MenuItemEnabled(remoteList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::nullopt);
    EXPECT_NE(MenuItemEnabled(localList.BuildContextMenu().Get(), ID_EDIT_PASTE), std::nullopt);
}

TEST_F(ServerTest, FindRunsFromTheMenuOnTheServer)
{
    server->WriteFile("find/needle.txt", "n");
    server->WriteFile("find/sub/hay.txt", "h");
    Connect("find");
    // The search runs in the dialog's own loop; the answerer types, presses Find, waits for
    // the search to end and reads the rows.
    std::vector<std::wstring> rows;
    testsupport::WindowAnswerer answerer;
    answerer.OnDialog(L"Find", [&rows](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_FIND_TEXT, L"needle");
        PostMessageW(GetDlgItem(dialog, IDC_FIND_FIND), BM_CLICK, 0, 0);
        const HWND results = GetDlgItem(dialog, IDC_FIND_RESULTS);
        testsupport::PollUntil([&] {
            return ListView_GetItemCount(results) > 0 && testsupport::ItemText(dialog, IDC_FIND_FIND) == L"Find";
        });
        for (int row = 0; row < ListView_GetItemCount(results); ++row) {
            wchar_t text[MAX_PATH] = {};
            ListView_GetItemText(results, row, 0, text, MAX_PATH);
            rows.push_back(text);
        }
        testsupport::PostCommand(dialog, IDCANCEL);
    });
    run.Focus(ListSide::None);
    EXPECT_TRUE(Enabled(ID_EDIT_FIND));
    ASSERT_TRUE(run.Frame().RouteCommand(ID_EDIT_FIND));
    PumpMessages();
    ASSERT_THAT(answerer.DialogsAnswered(), Contains(std::wstring(L"Find")));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_THAT(rows[0], EndsWith(L"/find/needle.txt"));

    run.Document().Disconnect();
    EXPECT_FALSE(Enabled(ID_EDIT_FIND));
    EXPECT_EQ(run.View().RemoteList().GetItemCount(), 0);
    EXPECT_EQ(run.Document().GetTitle(), L"Disconnected");
}
