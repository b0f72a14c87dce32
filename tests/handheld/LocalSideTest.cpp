// The device's files on the real frame: the order of the local list and its columns, a
// directory that can't be listed beside one that is empty, the mode list's commands, the
// local commands' answers when the system refuses them, and a delete of a link.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "OrletRun.h"
#include "TransferTestSupport.h"
#include "framework/Handles.h"
#include "shell/DialogResources.h"
#include "shell/Format.h"
#include "support/WindowAnswerer.h"
#include "support/WineHost.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using transfertests::LocalDirectory;
using transfertests::WriteBytes;

namespace fs = std::filesystem;

namespace {

// A file of the size without writing its bytes: the size column must show all 64 bits.
void MakeSparseFile(const fs::path& path, std::uint64_t size)
{
    fw::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(size);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
}

class LocalSideTest : public ::testing::Test {
protected:
    void Show(const std::wstring& directory)
    {
        run.Document().Local().currentDirectory = directory;
        run.View().ListLocal();
        PumpMessages();
    }
    std::wstring Current() const { return run.Document().Local().currentDirectory; }

    OrletRun run;
    LocalDirectory local;
};

} // namespace

TEST_F(LocalSideTest, DirectoriesFirstEachKindIgnoringCaseWithWholeSizes)
{
    ASSERT_TRUE(run.Started());
    for (const wchar_t* name : {L"Zed", L"alpha", L"Beta"})
        fs::create_directory(local.Path() / name);
    WriteBytes(local.Path() / "b.txt", 10, 1);
    WriteBytes(local.Path() / "A.txt", 2048, 2);
    MakeSparseFile(local.Path() / "c.BIN", 5ULL << 30);
    run.ChooseMode(MODE_LOCAL);
    Show(local.Path().wstring());

    CListCtrlEx& list = run.View().LocalList();
    EXPECT_THAT(OrletRun::Names(list), ElementsAre(L"alpha", L"Beta", L"Zed", L"A.txt", L"b.txt", L"c.BIN"));
    EXPECT_EQ(list.GetItemText(3, 2), L"2.00 Kb");
    EXPECT_EQ(list.GetItemText(5, 2), FormatSize(5ULL << 30));
    EXPECT_EQ(list.GetItemText(0, 2), L"");
    EXPECT_FALSE(list.GetItemText(4, 1).empty());
    EXPECT_EQ(run.View().LocalStatus(), L"");

    fw::ComboBox paths = run.View().LocalPathList();
    EXPECT_EQ(paths.GetLBText(paths.GetCurSel()), local.Path().wstring());
    EXPECT_EQ(paths.GetCurSel(), paths.GetCount() - 1);
}

TEST_F(LocalSideTest, MissingDirectorySaysSoWhereAnEmptyOneIsJustEmpty)
{
    ASSERT_TRUE(run.Started());
    WriteBytes(local.Path() / "kept.txt", 1, 1);
    fs::create_directory(local.Path() / "empty");
    run.ChooseMode(MODE_LOCAL);
    Show(local.Path().wstring());
    ASSERT_EQ(run.View().LocalList().GetItemCount(), 2);

    const std::wstring missing = (local.Path() / "gone").wstring();
    Show(missing);
    EXPECT_EQ(run.View().LocalList().GetItemCount(), 0);
    EXPECT_THAT(run.View().LocalStatus(), HasSubstr(missing));
    EXPECT_TRUE(IsWindowVisible(run.View().Child(IDC_LOCAL_STATUS).Handle()));

    // A drive's empty root lists no "." or "..": the search finds nothing at all.
    testsupport::HostDrive drive((local.Path() / "empty").wstring());
    std::vector<std::wstring> empties = {(local.Path() / "empty").wstring()};
    if (drive.Letter() != 0) empties.push_back(drive.Root());
    for (const std::wstring& empty : empties) {
        Show(missing);
        Show(empty);
        EXPECT_EQ(run.View().LocalList().GetItemCount(), 0) << empty;
        EXPECT_EQ(run.View().LocalStatus(), L"") << empty;
        EXPECT_FALSE(IsWindowVisible(run.View().Child(IDC_LOCAL_STATUS).Handle())) << empty;
    }
    EXPECT_NE(drive.Letter(), 0) << "under Wine the test maps a drive to an empty folder";
}

TEST_F(LocalSideTest, DeletingALinkNeverTouchesWhatItPointsTo)
{
    ASSERT_TRUE(run.Started());
    WriteBytes(local.Path() / "target" / "one.txt", 5, 1);
    WriteBytes(local.Path() / "target" / "two.txt", 6, 2);
    // A user's own link, made on the host: Wine shows it with the reparse attribute, as
    // Windows shows a junction or a directory link.
    const testsupport::HostSymlink link(L"target", (local.Path() / "link").wstring());
    ASSERT_TRUE(link.Made());
    run.ChooseMode(MODE_LOCAL);
    Show(local.Path().wstring());
    ASSERT_THAT(OrletRun::Names(run.View().LocalList()), ElementsAre(L"link", L"target"));
    EXPECT_NE(run.Document().Local().entries[0].dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    testsupport::WindowAnswerer answerer;
    run.Focus(ListSide::Local);
    run.View().LocalList().SelectOnly(0);
    ASSERT_TRUE(run.Frame().RouteCommand(ID_FILE_DELETE));
    PumpMessages();
    EXPECT_TRUE(fs::exists(local.Path() / "target" / "one.txt"));
    EXPECT_TRUE(fs::exists(local.Path() / "target" / "two.txt"));
    // Windows removes the link itself. Wine 8 can remove no link to a directory (it looks
    // through it at the target's files), so there the link stays and the job says so.
    const std::vector<std::wstring> messages = answerer.MessageTexts();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), L"Are you sure you want to delete the selected items?");
    if (OrletRun::Names(run.View().LocalList()) == std::vector<std::wstring>{L"target"}) {
        EXPECT_EQ(messages.size(), 1u);
    } else {
        EXPECT_THAT(OrletRun::Names(run.View().LocalList()), ElementsAre(L"link", L"target"));
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_THAT(messages.back(), HasSubstr((local.Path() / "link").wstring()));
    }
}

TEST_F(LocalSideTest, SeparatorChangesNothingAndUpClimbsOneLevelUntilTheRoot)
{
    ASSERT_TRUE(run.Started());
    const fs::path deep = local.Path() / "one" / "two";
    fs::create_directories(deep);
    run.ChooseMode(MODE_LOCAL);
    Show(deep.wstring());

    const struct {
        int entry;
        std::wstring directory;
    } steps[] = {
        {MODE_SEPARATOR, deep.wstring()},
        {MODE_UP, (local.Path() / "one").wstring()},
        {MODE_SEPARATOR, (local.Path() / "one").wstring()},
        {MODE_UP, local.Path().wstring()},
    };
    for (const auto& step : steps) {
        run.ChooseMode(step.entry);
        EXPECT_EQ(Current(), step.directory) << step.entry;
        EXPECT_EQ(run.View().Mode(), MODE_LOCAL);
        EXPECT_EQ(run.View().ModeList().GetCurSel(), MODE_LOCAL);
    }

    Show(L"\\");
    const int rootRows = run.View().LocalList().GetItemCount();
    run.ChooseMode(MODE_UP);
    EXPECT_EQ(Current(), L"\\");
    EXPECT_EQ(run.View().LocalList().GetItemCount(), rootRows);
    EXPECT_GT(rootRows, 0) << "the root lists the current drive";

    run.ChooseMode(MODE_REMOTE);
    run.ChooseMode(MODE_SEPARATOR);
    EXPECT_EQ(run.View().Mode(), MODE_REMOTE);
    EXPECT_EQ(run.View().ModeList().GetCurSel(), MODE_REMOTE);
}

TEST_F(LocalSideTest, RefusedCreateOrRenameKeepsTheListAndSaysWhy)
{
    ASSERT_TRUE(run.Started());
    fs::create_directory(local.Path() / "taken");
    WriteBytes(local.Path() / "file.txt", 3, 1);
    run.ChooseMode(MODE_LOCAL);
    Show(local.Path().wstring());
    const std::vector<std::wstring> before = OrletRun::Names(run.View().LocalList());

    const struct {
        UINT command;
        const wchar_t* caption;
        const wchar_t* typed;
        const wchar_t* message;
    } cases[] = {
        {ID_FILE_NEW_DIRECTORY, L"New Directory", L"taken", L"could not be created"},
        {ID_FILE_RENAME, L"Rename", L"taken", L"could not be renamed"},
    };
    for (const auto& test : cases) {
        testsupport::WindowAnswerer answerer;
        answerer.OnDialog(test.caption, [&](HWND dialog) {
            SetDlgItemTextW(dialog, static_cast<int>(SharedDialogs().textEdit), test.typed);
            // The prompt has no OK of its own: the title-bar OK confirms it.
            PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        });
        run.Focus(ListSide::Local);
        run.View().LocalList().SelectOnly(1);
        ASSERT_TRUE(run.Frame().RouteCommand(test.command));
        PumpMessages();
        ASSERT_EQ(answerer.MessageTexts().size(), 1u) << test.caption;
        EXPECT_THAT(answerer.MessageTexts().front(), HasSubstr(test.message));
        EXPECT_THAT(answerer.MessageTexts().front(), HasSubstr(L"Error code: "));
        EXPECT_EQ(OrletRun::Names(run.View().LocalList()), before);
    }
}

TEST_F(LocalSideTest, DeleteAndMoveToRunTheirJobsOnTheSelection)
{
    ASSERT_TRUE(run.Started());
    WriteBytes(local.Path() / "gone.txt", 5, 1);
    WriteBytes(local.Path() / "moved.txt", 6, 2);
    WriteBytes(local.Path() / "tree" / "inner.txt", 7, 3);
    fs::create_directory(local.Path() / "target");
    run.ChooseMode(MODE_LOCAL);
    Show(local.Path().wstring());

    testsupport::WindowAnswerer answerer;
    const std::wstring target = (local.Path() / "target").wstring();
    answerer.OnDialog(L"Move To", [&](HWND dialog) {
        SetDlgItemTextW(dialog, static_cast<int>(SharedDialogs().textEdit), target.c_str());
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    const struct {
        UINT command;
        std::vector<int> rows;
        std::vector<std::wstring> left;
    } steps[] = {
        // Rows: target, tree, gone.txt, moved.txt.
        {ID_FILE_DELETE, {1, 2}, {L"target", L"moved.txt"}},
        {ID_FILE_MOVE_TO, {1}, {L"target"}},
    };
    for (const auto& step : steps) {
        run.Focus(ListSide::Local);
        run.View().LocalList().SelectOnly(-1);
        for (int row : step.rows)
            run.View().LocalList().SelectItem(row, true);
        ASSERT_TRUE(run.Frame().RouteCommand(step.command));
        PumpMessages();
        EXPECT_EQ(OrletRun::Names(run.View().LocalList()), step.left) << step.command;
    }
    EXPECT_THAT(answerer.MessageTexts(), ElementsAre(L"Are you sure you want to delete the selected items?"));
    EXPECT_TRUE(fs::exists(local.Path() / "target" / "moved.txt"));
}

TEST_F(LocalSideTest, ViewStylesChangeOnlyTheFocusedList)
{
    ASSERT_TRUE(run.Started());
    run.ChooseMode(MODE_LOCAL);
    run.Focus(ListSide::Local);
    const struct {
        UINT command;
        DWORD style;
    } styles[] = {{ID_VIEW_LIST, LVS_LIST}, {ID_VIEW_ICONS, LVS_ICON}, {ID_VIEW_DETAILS, LVS_REPORT}};
    for (const auto& style : styles) {
        ASSERT_TRUE(run.Frame().RouteCommand(style.command));
        EXPECT_EQ(run.View().LocalList().GetViewMode(), style.style);
        EXPECT_EQ(run.View().RemoteList().GetViewMode(), static_cast<DWORD>(LVS_REPORT));
        for (const auto& other : styles)
            EXPECT_EQ(run.Update(other.command).Checked(), std::optional<bool>(other.command == style.command));
    }
}
