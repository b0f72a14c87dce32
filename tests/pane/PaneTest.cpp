// The remote pane on the real frame against the scripted server: rows, counts and the
// folder combo, the filter bar, navigation, the commands' enabling and the context menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <shlobj.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "OrvidDoc.h"
#include "PaneTestSupport.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "resource.h"
#include "shell/Format.h"
#include "shell/StatusText.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto kScriptTimeout = std::chrono::seconds(10);

// Directories, a link to one, and files whose extensions the type combo collects.
const char* const kLinuxListing = "drwxr-xr-x 2 u g 4096 Jan  5  2020 src\r\n"
                                  "-rw-r--r-- 1 u g 100 Jan  5  2020 README\r\n"
                                  "drwxr-xr-x 2 u g 4096 Jan  5  2020 Docs\r\n"
                                  "-rw-r--r-- 1 u g 2048 Jan  5  2020 notes.TXT\r\n"
                                  "lrwxrwxrwx 1 u g 12 Jan  5  2020 latest -> /pub/linux/src\r\n"
                                  "-rw-r--r-- 1 u g 300 Jan  5  2020 main.cpp\r\n"
                                  "drwxr-xr-x 2 u g 4096 Jan  5  2020 libsrc\r\n"
                                  "-rw-r--r-- 1 u g 40 Jan  5  2020 util.c\r\n"
                                  "-rw-r--r-- 1 u g 50 Jan  5  2020 src.h\r\n";

const std::vector<std::wstring> kLinuxRows = {
    L"Docs", L"latest -> /pub/linux/src", L"libsrc", L"src", L"main.cpp", L"notes.TXT", L"README", L"src.h", L"util.c"};

void ScriptListing(ScriptedServer& server, const std::string& path, const std::string& listing)
{
    server.ExpectPasv().On("LIST " + path, "150 listing\r\n").DataSend(listing).Reply("226 done\r\n");
}

class PaneTest : public ::testing::Test {
protected:
    COrvidDoc& Document() const { return run.Document(); }
    ConnectionSession& Session() const { return Document().Session(); }
    COrvidView& View() const { return run.View(); }
    CListCtrlEx& List() const { return run.View().List(); }

    // Logs on, moves to the directory and connects the pane as the Connect command does
    // once the Site Manager has opened the site.
    void Connect(const std::wstring& directory)
    {
        ASSERT_TRUE(OpenSite(Session(), ScriptedSite(server, false)));
        if (!directory.empty()) {
            ASSERT_TRUE(Session().ChangeDirectory(directory));
        }
        Document().OnSiteConnected(L"Scripted");
        PumpMessages();
    }
    void Disconnect()
    {
        run.Frame().Send(WM_COMMAND, MAKEWPARAM(ID_FILE_DISCONNECT, 0));
        PumpMessages();
    }
    void Finish()
    {
        EXPECT_TRUE(server.WaitFinished(kScriptTimeout)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
        EXPECT_THAT(reporter.Errors(), IsEmpty());
    }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    ScriptedServer server;
};

} // namespace

TEST_F(PaneTest, ListingBecomesRowsWithTextsIconsCountsAndFolders)
{
    ASSERT_TRUE(run.Started());
    ScriptLogon(server, "/home/user");
    server.On("CWD /pub/linux", "250 ok\r\n");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"/pub/linux");

    EXPECT_EQ(RowTexts(List()), kLinuxRows);
    const RemoteEntryList& entries = Session().entries;
    for (int row = 0; row < List().GetItemCount(); ++row) {
        const std::size_t index = View().RowEntry(row);
        ASSERT_LT(index, entries.size());
        const RemoteEntry& entry = entries[index];
        EXPECT_EQ(List().GetItemText(row, 0), entry.displayName);
        EXPECT_EQ(List().GetItemText(row, 1), FormatFileTime(entry.time));
        EXPECT_EQ(List().GetItemText(row, 2), FormatSize(entry.size));
        EXPECT_EQ(List().GetItemText(row, 3), entry.attributes);
        EXPECT_EQ(List().GetItemText(row, 4), L"u");
    }
    EXPECT_FALSE(List().GetItemText(0, 1).empty());
    EXPECT_EQ(List().GetItemText(5, 2), L"2.00 Kb");
    EXPECT_EQ(List().GetItemText(6, 3), L"-rw-r--r--");

    // Every row has an icon from both lists, and a directory's is not a file's.
    HIMAGELIST large = List().GetImageList(LVSIL_NORMAL);
    HIMAGELIST small = List().GetImageList(LVSIL_SMALL);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(large), ImageList_GetImageCount(small));
    for (int row = 0; row < List().GetItemCount(); ++row) {
        const int image = RowImage(List(), row);
        EXPECT_GE(image, 0);
        EXPECT_LT(image, ImageList_GetImageCount(large));
    }
    EXPECT_NE(RowImage(List(), 0), RowImage(List(), 4));
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(large, &width, &height);
    EXPECT_EQ(width, 32);
    ImageList_GetIconSize(small, &width, &height);
    EXPECT_EQ(width, 16);

    // The link counts as neither, but its 12 bytes are in the sum.
    EXPECT_EQ(PaneText(STATUS_PANE_DIRECTORIES), L"Directories: 3");
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 5");
    EXPECT_EQ(PaneText(STATUS_PANE_BYTES), L"14838 bytes");

    EXPECT_THAT(ComboTexts(View().FolderCombo()), ElementsAre(L"/home/user", L"/", L"/pub", L"/pub/linux"));
    EXPECT_EQ(View().FolderCombo().GetCurSel(), 3);

    // Disconnect empties the pane, and filtering again afterwards leaves it empty.
    Disconnect();
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(View().FolderCombo().GetCount(), 0);
    EXPECT_EQ(List().GetImageList(LVSIL_SMALL), nullptr);
    run.Frame().Send(WM_COMMAND, MAKEWPARAM(IDC_FILTER_REFRESH, 0));
    PumpMessages();
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_EQ(View().FolderCombo().GetCount(), 0);
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"");
    Finish();
}

TEST_F(PaneTest, FilterBarRefiltersTheHeldListingWithoutAskingTheServer)
{
    ScriptLogon(server, "/pub/linux");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"");
    const std::size_t commandsAfterListing = server.Commands().size();

    CDialogBarEx& bar = run.Frame().FilterBar();
    fw::ComboBox types(bar.Child(IDC_FILTER_TYPE).Handle());
    // Extensions in the order first met, .c after .cpp.
    EXPECT_THAT(ComboTexts(types), ElementsAre(L"Show All Types", L".cpp", L".txt", L".h", L".c"));

    SelectInBar(bar, IDC_FILTER_KIND, 2);
    EXPECT_EQ(RowTexts(List()), (std::vector<std::wstring>{L"Docs", L"latest -> /pub/linux/src", L"libsrc", L"src"}));
    TypeInto(bar.Child(IDC_FILTER_TEXT), L"s");
    EXPECT_EQ(RowTexts(List()), (std::vector<std::wstring>{L"Docs", L"latest -> /pub/linux/src", L"libsrc", L"src"}));
    TypeInto(bar.Child(IDC_FILTER_TEXT), L"r");
    EXPECT_EQ(RowTexts(List()), (std::vector<std::wstring>{L"libsrc", L"src"}));
    TypeInto(bar.Child(IDC_FILTER_TEXT), L"C");
    EXPECT_EQ(RowTexts(List()), (std::vector<std::wstring>{L"libsrc", L"src"}));
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_DIRECTORIES), L"Directories: 2");
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 0");
    EXPECT_EQ(PaneText(STATUS_PANE_BYTES), L"8192 bytes");

    SelectInBar(bar, IDC_FILTER_KIND, 1);
    EXPECT_EQ(RowTexts(List()), (std::vector<std::wstring>{L"src.h"}));

    bar.Child(IDC_FILTER_TEXT).SetText(L"");
    SelectInBar(bar, IDC_FILTER_KIND, 0);
    SelectInBar(bar, IDC_FILTER_TYPE, 2); // .txt
    EXPECT_EQ(RowTexts(List()),
              (std::vector<std::wstring>{L"Docs", L"latest -> /pub/linux/src", L"libsrc", L"src", L"notes.TXT"}));
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 1");
    // A chosen type keeps the collected ones.
    EXPECT_EQ(types.GetCount(), 5);
    EXPECT_EQ(types.GetCurSel(), 2);

    EXPECT_EQ(server.Commands().size(), commandsAfterListing);
    Session().LogOff();
    Finish();
}

namespace {

// Answers the next prompt from inside its modal loop: the text to enter, or cancel.
struct PromptAnswer {
    static inline std::wstring text;
    static inline bool ok = true;
    static inline std::wstring caption;
    static inline std::wstring shown;
    static inline std::wstring message;
    // The static control that holds a message box's text.
    static constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

    static void Arm(const std::wstring& answer, bool confirm = true)
    {
        text = answer;
        ok = confirm;
        caption.clear();
        shown.clear();
        message.clear();
        SetTimer(nullptr, 0, 30, &PromptAnswer::Answer);
    }
    static void CALLBACK Answer(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND dialog = GetActiveWindow();
        wchar_t className[16] = {};
        GetClassNameW(dialog, className, 16);
        if (std::wstring(className) != L"#32770") return;
        KillTimer(nullptr, id);
        caption = fw::Window(dialog).GetText();
        shown = fw::Window(GetDlgItem(dialog, IDC_TEXT_EDIT)).GetText();
        message = fw::Window(GetDlgItem(dialog, MESSAGE_BOX_TEXT_ID)).GetText();
        SetDlgItemTextW(dialog, IDC_TEXT_EDIT, text.c_str());
        if (ok)
            SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        else
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
};

} // namespace

TEST_F(PaneTest, UpBackspaceAndGoMoveThroughTheTree)
{
    const std::string folder = "drwxr-xr-x 2 u g 4096 Jan  5  2020 sub\r\n";
    ScriptLogon(server, "/");
    server.On("CWD /pub/linux", "250 ok\r\n");
    ScriptListing(server, "/pub/linux", folder);
    server.On("CWD /pub", "250 ok\r\n");
    ScriptListing(server, "/pub", folder);
    server.On("CWD /", "250 ok\r\n");
    ScriptListing(server, "/", folder);
    server.On("CWD /pub", "250 ok\r\n");
    ScriptListing(server, "/pub", folder);
    server.On("CWD /", "250 ok\r\n");
    ScriptListing(server, "/", folder);
    server.On("CWD /missing", "550 no such directory\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"/pub/linux");

    View().Send(WM_COMMAND, MAKEWPARAM(IDC_UP, BN_CLICKED), reinterpret_cast<LPARAM>(View().Child(IDC_UP).Handle()));
    EXPECT_THAT(ComboTexts(View().FolderCombo()), ElementsAre(L"/", L"/pub"));
    PressKey(List(), VK_BACK);
    EXPECT_THAT(ComboTexts(View().FolderCombo()), ElementsAre(L"/"));
    // At the root, with the home directory "/" itself, there is nowhere to go.
    PressKey(List(), VK_BACK);
    View().Send(WM_COMMAND, MAKEWPARAM(IDC_UP, BN_CLICKED), reinterpret_cast<LPARAM>(View().Child(IDC_UP).Handle()));

    PromptAnswer::Arm(L"/pub/");
    PressKey(List(), VK_F9);
    EXPECT_EQ(PromptAnswer::caption, L"Enter Path");
    EXPECT_EQ(PromptAnswer::shown, L"/");
    EXPECT_EQ(View().FolderCombo().GetLBText(View().FolderCombo().GetCurSel()), L"/pub");

    PromptAnswer::Arm(L"/");
    View().Send(WM_COMMAND, MAKEWPARAM(IDC_GO, BN_CLICKED), reinterpret_cast<LPARAM>(View().Child(IDC_GO).Handle()));
    EXPECT_EQ(PromptAnswer::shown, L"/pub");
    // The current directory again and a cancelled prompt ask nothing. (Every prompt
    // costs a top-level window's close under Wine; the other texts are the rule's tests.)
    PromptAnswer::Arm(L"/");
    PressKey(List(), VK_F9);
    PromptAnswer::Arm(L"/elsewhere", false);
    PressKey(List(), VK_F9);

    // A refused directory leaves the pane as it was.
    PromptAnswer::Arm(L"/missing");
    PressKey(List(), VK_F9);
    EXPECT_EQ(reporter.Errors().size(), 1u);
    reporter.Clear();
    EXPECT_THAT(RowTexts(List()), ElementsAre(L"sub"));
    EXPECT_THAT(ComboTexts(View().FolderCombo()), ElementsAre(L"/"));

    Session().LogOff();
    Finish();
    const std::vector<std::string> commands = server.Commands();
    EXPECT_THAT(std::vector<std::string>(commands.begin() + 4, commands.end()),
                ElementsAre("CWD /pub/linux", "PASV", "LIST /pub/linux", "CWD /pub", "PASV", "LIST /pub", "CWD /",
                            "PASV", "LIST /", "CWD /pub", "PASV", "LIST /pub", "CWD /", "PASV", "LIST /",
                            "CWD /missing", "QUIT"));
}

TEST_F(PaneTest, GoToAFoundItemSelectsItsRowAndEntersItsDirectory)
{
    ScriptLogon(server, "/pub/linux");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("CWD /pub", "250 ok\r\n");
    ScriptListing(server, "/pub",
                  "-rw-r--r-- 1 u g 1 Jan  5  2020 README\r\n"
                  "-rw-r--r-- 1 u g 2 Jan  5  2020 readme\r\n"
                  "-rw-r--r-- 1 u g 3 Jan  5  2020 other\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"");

    List().SelectItem(7, true);
    List().SelectItem(8, true);
    // Above the selection, in the directory shown.
    EXPECT_TRUE(View().GoToFoundItem(L"/pub/linux", L"Docs"));
    EXPECT_EQ(List().GetSelectedItems(), std::vector<int>{0});
    EXPECT_EQ(List().GetNextItem(-1, LVNI_FOCUSED), 0);
    EXPECT_TRUE(View().GoToFoundItem(L"/pub/linux", L"latest -> /pub/linux/src"));
    EXPECT_EQ(List().GetSelectedItems(), std::vector<int>{1});
    EXPECT_FALSE(View().GoToFoundItem(L"/pub/linux", L"missing"));
    EXPECT_EQ(List().GetSelectedItems(), std::vector<int>{1});

    // Another directory is entered first; of two names that differ in case only, the
    // exact one is chosen, and a name in other case falls back to the list's search.
    EXPECT_TRUE(View().GoToFoundItem(L"/pub", L"readme"));
    ASSERT_EQ(List().GetSelectedItems().size(), 1u);
    EXPECT_EQ(List().GetItemText(List().GetSelectedItems()[0], 0), L"readme");
    EXPECT_TRUE(View().GoToFoundItem(L"/pub", L"README"));
    EXPECT_EQ(List().GetItemText(List().GetSelectedItems()[0], 0), L"README");
    EXPECT_TRUE(View().GoToFoundItem(L"/pub", L"OTHER"));
    EXPECT_EQ(List().GetItemText(List().GetSelectedItems()[0], 0), L"other");

    Session().LogOff();
    Finish();
}

namespace {

struct Selection {
    const char* name;
    std::vector<int> rows;
};

struct Enabling {
    UINT command;
    bool none, one, two; // connected, by the number of selected rows
    bool disconnected;
};

// Commands of the pane and whether they are enabled.
// clang-format off
const Enabling kEnabling[] = {
    {ID_FILE_CONNECT,             false, false, false, true},
    {ID_FILE_DISCONNECT,          true,  true,  true,  false},
    {ID_FILE_NEW_DIRECTORY,       true,  true,  true,  false},
    {ID_FILE_RENAME,              false, true,  false, false},
    {ID_FILE_DELETE,              false, true,  true,  false},
    {ID_FILE_MOVE_TO,             false, true,  true,  false},
    {ID_FILE_PROPERTIES,          false, true,  false, false},
    {ID_TOOLS_CHMOD,              false, true,  true,  false},
    {ID_EDIT_COPY,                false, true,  true,  false},
    {ID_FILE_DOWNLOAD_TO,         false, true,  true,  false},
    {ID_FILE_UPLOAD_FILES,        true,  true,  true,  false},
    {ID_EDIT_PASTE,               false, false, false, false},
    {ID_EDIT_FIND,                true,  true,  true,  false},
    {ID_TOOLS_SET_TEMP_DIRECTORY, true,  true,  true,  true},
    {ID_VIEW_ICONS,               true,  true,  true,  true},
    {ID_VIEW_LIST,                true,  true,  true,  true},
    {ID_VIEW_DETAILS,             true,  true,  true,  true},
    {ID_HELP_OVERVIEW,            true,  true,  true,  true},
    {ID_HELP_MANUAL,              true,  true,  true,  true},
    {ID_HELP_HOME_PAGE,           true,  true,  true,  true},
};
// clang-format on

struct ContextItem {
    UINT command;
    bool none, one, two; // enabled, connected, by the number of selected rows
};

// clang-format off
const ContextItem kContextItems[] = {
    {ID_EDIT_COPY,          false, true,  true},
    {ID_FILE_DOWNLOAD_TO,   false, true,  true},
    {ID_FILE_UPLOAD_FILES,  true,  true,  true},
    {ID_FILE_NEW_DIRECTORY, true,  true,  true},
    {ID_FILE_RENAME,        false, true,  false},
    {ID_FILE_DELETE,        false, true,  true},
    {ID_FILE_MOVE_TO,       false, true,  true},
    {ID_TOOLS_CHMOD,        false, true,  true},
    {ID_FILE_PROPERTIES,    false, true,  false},
    {ID_VIEW_ICONS,         true,  true,  true},
    {ID_VIEW_LIST,          true,  true,  true},
    {ID_VIEW_DETAILS,       true,  true,  true},
};
// clang-format on

} // namespace

TEST_F(PaneTest, CommandsAndContextMenuFollowConnectionAndSelection)
{
    ScriptLogon(server, "/pub/linux");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"");
    ASSERT_TRUE(List().IsConnected());
    ASSERT_TRUE(List().IsRemote());
    ClipboardFiles clipboard(run.Frame().Handle());
    ASSERT_TRUE(clipboard.Clear());

    const Selection selections[] = {{"none", {}}, {"one", {4}}, {"two", {0, 6}}};
    for (const Selection& selection : selections) {
        SCOPED_TRACE(selection.name);
        for (int row = 0; row < List().GetItemCount(); ++row)
            List().SelectItem(row, false);
        for (int row : selection.rows)
            List().SelectItem(row, true);
        const int count = static_cast<int>(selection.rows.size());
        for (const Enabling& rule : kEnabling) {
            SCOPED_TRACE(rule.command);
            const bool expected = count == 0 ? rule.none : count == 1 ? rule.one : rule.two;
            EXPECT_EQ(run.Update(rule.command).Enabled().value_or(!expected), expected);
        }
        fw::MenuHandle menu = List().BuildContextMenu();
        for (const ContextItem& item : kContextItems) {
            SCOPED_TRACE(item.command);
            const bool expected = count == 0 ? item.none : count == 1 ? item.one : item.two;
            EXPECT_EQ(MenuItemEnabled(menu.Get(), item.command), expected);
        }
        EXPECT_EQ(MenuItemEnabled(menu.Get(), ID_EDIT_PASTE), std::nullopt);
    }
    // A new directory or an upload goes into the selected directory, else here.
    List().SelectItem(6, false);
    List().SelectItem(0, true);
    List().SelectItem(4, true);
    EXPECT_EQ(View().TargetDirectory(), L"/pub/linux/Docs");
    List().SelectItem(0, false);
    EXPECT_EQ(View().TargetDirectory(), L"/pub/linux");
    List().SelectItem(4, false);
    EXPECT_EQ(View().TargetDirectory(), L"/pub/linux");
    List().SelectItem(0, true);
    List().SelectItem(6, true);

    // The menu items ask the same handlers (two rows selected).
    EXPECT_NE(run.MenuItemState({0}, ID_FILE_RENAME) & MF_GRAYED, 0u);
    EXPECT_EQ(run.MenuItemState({0}, ID_FILE_NEW_DIRECTORY) & MF_GRAYED, 0u);

    // Paste is offered and enabled only for files on the clipboard; CHMOD only in a
    // server's pane.
    ASSERT_TRUE(clipboard.PutFile(L"C:\\windows\\win.ini"));
    EXPECT_EQ(MenuItemEnabled(List().BuildContextMenu().Get(), ID_EDIT_PASTE), std::optional<bool>(true));
    EXPECT_EQ(testsupport::MenuLayout(List().BuildContextMenu().Get()),
              L"Copy|Paste|-|Download To...|Upload Files...|-|New Directory...|Rename|Delete|Move To...|-|CHMOD..."
              L"|Properties|-|View[Icons|List|Details]");
    EXPECT_EQ(run.Update(ID_EDIT_PASTE).Enabled(), std::optional<bool>(true));
    List().SetRemote(false);
    EXPECT_EQ(MenuItemEnabled(List().BuildContextMenu().Get(), ID_TOOLS_CHMOD), std::nullopt);
    List().SetRemote(true);

    // The view menu marks the list's mode.
    View().SetViewMode(LVS_LIST);
    fw::MenuHandle menu = List().BuildContextMenu();
    EXPECT_NE(GetMenuState(menu.Get(), ID_VIEW_LIST, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(menu.Get(), ID_VIEW_DETAILS, MF_BYCOMMAND) & MF_CHECKED, 0u);
    View().SetViewMode(LVS_REPORT);

    // From the keyboard the menu opens at the focused row, else at the list's corner.
    List().SelectItem(2, true);
    LVITEMW focus = {};
    focus.stateMask = LVIS_FOCUSED;
    focus.state = LVIS_FOCUSED;
    List().Send(LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&focus));
    RECT row = {};
    row.left = LVIR_LABEL;
    List().Send(LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
    POINT expected = {row.left, row.bottom};
    List().ClientToScreen(expected);
    POINT point = List().ContextMenuPoint(-1);
    EXPECT_EQ(point.x, expected.x);
    EXPECT_EQ(point.y, expected.y);
    point = List().ContextMenuPoint(MAKELPARAM(321, 123));
    EXPECT_EQ(point.x, 321);
    EXPECT_EQ(point.y, 123);

    Disconnect();
    EXPECT_FALSE(List().IsConnected());
    for (const Enabling& rule : kEnabling) {
        SCOPED_TRACE(rule.command);
        EXPECT_EQ(run.Update(rule.command).Enabled().value_or(!rule.disconnected), rule.disconnected);
    }
    EXPECT_EQ(View().TargetDirectory(), L"");
    menu = List().BuildContextMenu();
    for (const ContextItem& item : kContextItems) {
        SCOPED_TRACE(item.command);
        EXPECT_EQ(MenuItemEnabled(menu.Get(), item.command), std::optional<bool>(false));
    }
    EXPECT_EQ(MenuItemEnabled(menu.Get(), ID_EDIT_PASTE), std::optional<bool>(false));
    const int last = GetMenuItemCount(menu.Get()) - 1;
    EXPECT_NE(GetMenuState(menu.Get(), static_cast<UINT>(last), MF_BYPOSITION) & MF_GRAYED, 0u);
    point = List().ContextMenuPoint(-1);
    POINT corner = {0, 0};
    List().ClientToScreen(corner);
    EXPECT_EQ(point.x, corner.x);
    EXPECT_EQ(point.y, corner.y);
    Finish();
}

TEST_F(PaneTest, KeysAndDoubleClickReachTheirCommands)
{
    ScriptLogon(server, "/pub/linux");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("RNFR /pub/linux/main.cpp", "350 ready\r\n").On("RNTO /pub/linux/main2.cpp", "250 renamed\r\n");
    ScriptListing(server, "/pub/linux", kLinuxListing);
    server.On("CWD /pub/linux/src", "250 ok\r\n");
    ScriptListing(server, "/pub/linux/src", "-rw-r--r-- 1 u g 10 Jan  5  2020 inner.c\r\n");
    ScriptListing(server, "/pub/linux/src",
                  "-rw-r--r-- 1 u g 10 Jan  5  2020 inner.c\r\n"
                  "-rw-r--r-- 1 u g 20 Jan  5  2020 added.c\r\n");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"");

    List().SelectItem(4, true); // main.cpp
    PromptAnswer::Arm(L"", false);
    PressKey(List(), VK_INSERT);
    EXPECT_EQ(PromptAnswer::caption, L"New Directory");
    PromptAnswer::Arm(L"main2.cpp");
    PressKey(List(), VK_F2);
    EXPECT_EQ(PromptAnswer::caption, L"Rename");
    EXPECT_EQ(PromptAnswer::shown, L"main.cpp");
    // The rename refreshed the pane, which dropped the selection.
    EXPECT_EQ(List().GetSelectedCount(), 0);

    List().SelectItem(5, true);
    PromptAnswer::Arm(L"", false);
    PressKey(List(), VK_F4);
    EXPECT_EQ(PromptAnswer::caption, L"Properties");
    PromptAnswer::Arm(L"", false);
    PressKey(List(), VK_F6);
    EXPECT_EQ(PromptAnswer::caption, L"Move To");
    EXPECT_EQ(PromptAnswer::shown, L"/pub/linux");
    PromptAnswer::Arm(L"", false);
    PressKey(List(), VK_DELETE);
    EXPECT_EQ(PromptAnswer::message, L"Are you sure you want to delete the selected items?");

    // A double-click on a directory enters it.
    RECT row = {};
    row.left = LVIR_LABEL;
    List().Send(LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&row));
    const LPARAM point = MAKELPARAM(row.left + 4, (row.top + row.bottom) / 2);
    List().Send(WM_LBUTTONDOWN, MK_LBUTTON, point);
    List().Send(WM_LBUTTONUP, 0, point);
    List().Send(WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    List().Send(WM_LBUTTONUP, 0, point);
    EXPECT_THAT(RowTexts(List()), ElementsAre(L"inner.c"));
    EXPECT_EQ(View().FolderCombo().GetLBText(View().FolderCombo().GetCurSel()), L"/pub/linux/src");
    PressKey(List(), VK_F5);
    EXPECT_THAT(RowTexts(List()), ElementsAre(L"added.c", L"inner.c"));

    Session().LogOff();
    Finish();
}

// More rows than a 16-bit index holds: the list draws them from the held entries, so the
// rows keep the entries' order and every row maps back to its own entry.
TEST_F(PaneTest, ALargeListingKeepsItsOrderThroughFilterSelectionAndSearch)
{
    constexpr std::size_t kDirectories = 100;
    constexpr std::size_t kTotal = 70000;
    ScriptLogon(server, "/pub");
    ScriptListing(server, "/pub", "");
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    Connect(L"");

    std::vector<RemoteEntry> entries(kTotal);
    for (std::size_t index = 0; index < kTotal; ++index) {
        RemoteEntry& entry = entries[index];
        entry.isDirectory = index < kDirectories ? 1 : 0;
        entry.size = index;
        entry.directory = L"/pub";
        entry.name = (index < kDirectories ? L"dir" : L"file") + std::to_wstring(index);
        entry.displayName = entry.name;
        entry.attributes = L"-rw-r--r--";
    }
    Session().entries = entries;
    View().FillPane();
    ASSERT_EQ(List().GetItemCount(), static_cast<int>(kTotal));
    EXPECT_EQ(View().RowEntry(static_cast<int>(kTotal) - 1), kTotal - 1);
    EXPECT_EQ(View().RowEntry(static_cast<int>(kTotal)), COrvidView::NO_ROW_ENTRY);
    EXPECT_EQ(List().GetItemText(69999, 0), L"file69999");
    EXPECT_EQ(List().GetItemText(69999, 2), FormatSize(69999));
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: 69900");

    // Typing a name's first letters finds the row by prefix.
    List().SetFocus();
    List().Send(WM_CHAR, L'F', 1);
    EXPECT_EQ(List().GetSelectedItems(), std::vector<int>{static_cast<int>(kDirectories)});

    // Re-filtering keeps the order; a row past 65535 is found, selected and taken.
    CDialogBarEx& bar = run.Frame().FilterBar();
    TypeInto(bar.Child(IDC_FILTER_TEXT), L"999");
    std::vector<std::wstring> expected;
    for (const RemoteEntry& entry : entries)
        if (entry.name.find(L"999") != std::wstring::npos) expected.push_back(entry.name);
    EXPECT_EQ(RowTexts(List()), expected);
    EXPECT_TRUE(View().GoToFoundItem(L"/pub", L"FILE69999"));
    ASSERT_EQ(View().SelectedEntries().size(), 1u);
    EXPECT_EQ(View().SelectedEntries()[0].name, L"file69999");
    EXPECT_EQ(View().RowEntry(List().GetSelectedItems()[0]), 69999u);

    Session().LogOff();
    Finish();
}

// A listing at the engine's cap of entries is shown whole in the 32-bit process; one entry
// more is refused with the engine's text. Either way the program stays connected, and the
// next listing is shown.
TEST_F(PaneTest, AListingAtTheEntryCapIsShownAndOneMoreIsRefused)
{
    ASSERT_TRUE(run.Started());
    struct Case {
        std::size_t entries;
        int rows;
        std::vector<std::wstring> errors;
    };
    const Case cases[] = {
        {nsFTP::MAX_LISTING_ENTRIES, static_cast<int>(nsFTP::MAX_LISTING_ENTRIES), {}},
        {nsFTP::MAX_LISTING_ENTRIES + 1, 0, {nsFTP::LISTING_TOO_LARGE_TEXT}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries);
        std::string listing;
        listing.reserve(c.entries * 24);
        for (std::size_t index = 0; index < c.entries; ++index)
            listing += "+i" + std::to_string(index) + ",r,s1,\tn" + std::to_string(index) + "\r\n";
        ScriptedServer big;
        ScriptLogon(big, "/pub");
        ScriptListing(big, "/pub", listing);
        listing = std::string();
        ScriptListing(big, "/pub", "+i1,r,s7,\tafter\r\n");
        big.On("QUIT", "221 bye\r\n");
        big.Start();
        reporter.Clear();
        ASSERT_TRUE(OpenSite(Session(), ScriptedSite(big, false)));
        Document().OnSiteConnected(L"Scripted");
        PumpMessages();

        EXPECT_EQ(List().GetItemCount(), c.rows);
        if (c.rows > 0) {
            EXPECT_EQ(PaneText(STATUS_PANE_FILES), L"Files: " + std::to_wstring(c.rows));
            EXPECT_EQ(List().GetItemText(c.rows - 1, 0), L"n999999");
        }
        EXPECT_EQ(reporter.Errors(), c.errors);
        EXPECT_TRUE(Session().IsConnected());
        View().Refresh();
        PumpMessages();
        EXPECT_EQ(RowTexts(List()), std::vector<std::wstring>{L"after"});
        Session().LogOff();
        EXPECT_TRUE(big.WaitFinished(kScriptTimeout)) << big.CurrentStep();
        EXPECT_THAT(big.Failures(), IsEmpty());
    }
}

TEST(PaneKeys, ClipboardAndFindChordsAreAcceleratorsOfTheMainWindow)
{
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(table, nullptr);
    std::vector<ACCEL> entries(static_cast<std::size_t>(CopyAcceleratorTableW(table, nullptr, 0)));
    CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
    DestroyAcceleratorTable(table);
    std::vector<std::tuple<BYTE, WORD, WORD>> chords;
    for (const ACCEL& entry : entries)
        chords.emplace_back(static_cast<BYTE>(entry.fVirt & (FCONTROL | FSHIFT | FALT | FVIRTKEY)), entry.key,
                            entry.cmd);
    EXPECT_THAT(chords,
                ::testing::UnorderedElementsAre(std::make_tuple(FVIRTKEY | FCONTROL, 'C', ID_EDIT_COPY),
                                                std::make_tuple(FVIRTKEY | FCONTROL, VK_INSERT, ID_EDIT_COPY),
                                                std::make_tuple(FVIRTKEY | FCONTROL, 'V', ID_EDIT_PASTE),
                                                std::make_tuple(FVIRTKEY | FSHIFT, VK_INSERT, ID_EDIT_PASTE),
                                                std::make_tuple(FVIRTKEY | FCONTROL, 'F', ID_EDIT_FIND),
                                                std::make_tuple(FVIRTKEY | FCONTROL, 'D', ID_FILE_DOWNLOAD_TO),
                                                std::make_tuple(FVIRTKEY | FCONTROL, 'U', ID_FILE_UPLOAD_FILES)));
}
