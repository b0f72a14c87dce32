// The remote pane's window-free rules: the folder combo, the filter, the counts and the
// Enter Path text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/FTPDataTypes.h"
#include "session/RemotePane.h"

using ::testing::ElementsAre;

TEST(FolderCombo, HomeGoesInFrontOnlyWhenItIsNoParent)
{
    // A home among the parents, whatever its case, is not added again.
    FolderComboModel combo = BuildFolderCombo(L"/Pub/linux", L"/pub");
    EXPECT_THAT(combo.entries, ElementsAre(L"/", L"/Pub", L"/Pub/linux"));
    EXPECT_EQ(combo.selected, 2);

    combo = BuildFolderCombo(L"/", L"/");
    EXPECT_THAT(combo.entries, ElementsAre(L"/"));
    EXPECT_EQ(combo.selected, 0);

    // At the root the home directory stands before "/", so that Up reaches it.
    combo = BuildFolderCombo(L"/", L"/home/user");
    EXPECT_THAT(combo.entries, ElementsAre(L"/home/user", L"/"));
    EXPECT_EQ(combo.selected, 1);
}

TEST(FolderCombo, SelectionSearchLeavesAHomeThatExtendsThePathForLast)
{
    // The home directory begins with the current path but is not it.
    FolderComboModel combo = BuildFolderCombo(L"/pub", L"/pub/home");
    EXPECT_THAT(combo.entries, ElementsAre(L"/pub/home", L"/", L"/pub"));
    EXPECT_EQ(combo.selected, 2);

    combo = BuildFolderCombo(L"/pub/", L"/");
    EXPECT_THAT(combo.entries, ElementsAre(L"/", L"/pub", L"/pub/"));
    EXPECT_EQ(combo.selected, 2);
}

TEST(FolderCombo, AFailedPwdAddsNoEmptyEntry)
{
    FolderComboModel combo = BuildFolderCombo(L"", L"/home/user");
    EXPECT_THAT(combo.entries, ElementsAre(L"/home/user"));
    EXPECT_EQ(combo.selected, 0);

    combo = BuildFolderCombo(L"/pub", L"");
    EXPECT_THAT(combo.entries, ElementsAre(L"/", L"/pub"));

    combo = BuildFolderCombo(L"", L"");
    EXPECT_TRUE(combo.entries.empty());
    EXPECT_EQ(combo.selected, -1);
}

TEST(FilterNames, FoldOnlyAsciiLettersAndTakeTheLastDotOfTheLastComponent)
{
    EXPECT_EQ(FilterName(L"  Notes.TXT \t"), L"notes.txt");
    EXPECT_EQ(FilterName(L"\u00C4RGER.Txt"), L"\u00C4rger.txt");
    EXPECT_EQ(FilterName(L"   "), L"");

    EXPECT_EQ(FilterExtension(L"notes.txt"), L".txt");
    EXPECT_EQ(FilterExtension(L"archive.tar.gz"), L".gz");
    EXPECT_EQ(FilterExtension(L".profile"), L".profile");
    EXPECT_EQ(FilterExtension(L"readme"), L"");
    EXPECT_EQ(FilterExtension(L"v1.2/readme"), L"");
    EXPECT_EQ(FilterExtension(L"v1.2/read.me"), L".me");
}

TEST(Filter, NameWithoutWhiteSpaceAgainstTheTextAsTyped)
{
    FilterSettings settings;
    settings.text = L"E ";
    EXPECT_FALSE(ApplyFilter(settings, L" readme ", false).accepted);
    settings.text = L"ME";
    EXPECT_TRUE(ApplyFilter(settings, L" readme ", false).accepted);
    settings.kind = FilterKind::OnlyFiles;
    EXPECT_FALSE(ApplyFilter(settings, L"readme", true).accepted);
}

TEST(Filter, TypesAreCollectedOnlyWhileAllAreShown)
{
    FilterSettings settings;
    settings.kind = FilterKind::OnlyDirectories;
    const FilterResult rejected = ApplyFilter(settings, L"Main.CPP", false);
    EXPECT_FALSE(rejected.accepted);
    EXPECT_EQ(rejected.extensionToCollect, L".cpp");
    EXPECT_EQ(ApplyFilter(settings, L"README", false).extensionToCollect, L"");

    settings.kind = FilterKind::FilesAndDirectories;
    settings.type = L".txt";
    EXPECT_FALSE(ApplyFilter(settings, L"notes.txt.gz", false).accepted);
    const FilterResult accepted = ApplyFilter(settings, L"notes.TXT", false);
    EXPECT_TRUE(accepted.accepted);
    EXPECT_EQ(accepted.extensionToCollect, L"");
}

TEST(PaneCounts, LinksCountOnlyInTheBytesAndTheSumIsWhole)
{
    PaneCounts counts;
    counts.Add(true, false, 4096);
    counts.Add(true, true, 12); // a link to a directory
    counts.Add(false, true, 7); // a link to a file
    counts.Add(false, false, 3'000'000'000ULL);
    counts.Add(false, false, 3'000'000'000ULL);
    counts.Add(false, false, nsFTP::SIZE_UNKNOWN);
    EXPECT_EQ(DirectoriesText(counts), L"Directories: 1");
    EXPECT_EQ(FilesText(counts), L"Files: 3");
    EXPECT_EQ(BytesText(counts), L"6000004115 bytes");
    EXPECT_EQ(BytesText(PaneCounts{}), L"0 bytes");
}

TEST(EnterPath, TrailingSeparatorAndRelativeNames)
{
    EXPECT_EQ(EnterPathTarget(L"/pub/", L"/home/user"), L"/pub");
    EXPECT_EQ(EnterPathTarget(L"/pub\\", L"/home/user"), L"/pub");
    EXPECT_EQ(EnterPathTarget(L"/", L"/pub"), L"/");
    EXPECT_EQ(EnterPathTarget(L"\\", L"/pub"), L"\\");
    EXPECT_EQ(EnterPathTarget(L"", L"/pub"), std::nullopt);
    EXPECT_EQ(EnterPathTarget(L"/pub", L"/pub"), std::nullopt);
    EXPECT_EQ(EnterPathTarget(L"/pub/", L"/pub"), std::nullopt);
    // Case matters to the server.
    EXPECT_EQ(EnterPathTarget(L"/PUB", L"/pub"), L"/PUB");

    EXPECT_EQ(EnterPathTarget(L"incoming/", L"/pub"), L"/pub/incoming");
    EXPECT_EQ(EnterPathTarget(L"incoming", L"/"), L"/incoming");
    // A server whose paths are not Unix paths gets the text as typed.
    EXPECT_EQ(EnterPathTarget(L"SUB", L"DISK$USER:[HOME]"), L"SUB");
}
