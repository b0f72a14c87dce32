// Jobs on local files only: deletes and moves, with the boxes a failed step shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TransferTestSupport.h"
#include "support/WindowAnswerer.h"
#include "transfer/UploadDlg.h"

using namespace transfertests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

TEST(LocalJobTest, DeleteRemovesATreeChildrenFirstAndCountsEveryItem)
{
    testsupport::WindowAnswerer answerer;
    LocalDirectory local;
    const fs::path d = local.Path() / L"d";
    WriteBytes(d / L"x", 1, 1);
    WriteBytes(d / L"e" / L"y", 1, 2);
    fs::create_directories(d / L"e" / L"empty");
    WriteBytes(local.Path() / L"loose.txt", 1, 3);

    ProgressRecorder progress;
    EXPECT_EQ(RunJob(nullptr, LocalList({d, local.Path() / L"loose.txt"}), std::wstring(), JOB_DELETE_LOCAL), IDOK);
    EXPECT_EQ(progress.title, L"Deleting...");
    EXPECT_EQ(progress.finalCount, L"Deleting 6 of 6");
    EXPECT_EQ(progress.finalPosition, progress.finalRangeHigh - 1);
    ASSERT_EQ(progress.names.size(), 6u);
    EXPECT_EQ(progress.names.back(), d.wstring());
    EXPECT_THAT(Snapshot(local.Path()), IsEmpty());
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
}

// A move that fails for one item says so with the system's error and goes on.
TEST(LocalJobTest, MoveTakesItemsWholeAndGoesOnPastAFailure)
{
    testsupport::WindowAnswerer answerer;
    LocalDirectory local;
    WriteBytes(local.Path() / L"f.txt", 3, 1);
    WriteBytes(local.Path() / L"g" / L"inner.txt", 4, 2);
    const auto before = Snapshot(local.Path());
    const fs::path missing = local.Path() / L"missing.txt";
    const fs::path target = local.Path() / L"moved";

    auto list = LocalList({local.Path() / L"f.txt"});
    AddItem(0, list.get(), false, L"missing.txt", missing.wstring(), 0, 0);
    AddItem(0, list.get(), true, L"g", (local.Path() / L"g").wstring(), 0, 0);
    ProgressRecorder progress;
    EXPECT_EQ(RunJob(nullptr, std::move(list), target.wstring(), JOB_MOVE_LOCAL), IDOK);
    EXPECT_EQ(progress.title, L"Moving...");
    EXPECT_EQ(progress.finalCount, L"Moving 3 of 3");
    EXPECT_EQ(Snapshot(target),
              (std::map<std::wstring, std::string>{
                  {L"f.txt", before.at(L"f.txt")}, {L"g", "dir"}, {L"g/inner.txt", before.at(L"g/inner.txt")}}));
    ASSERT_THAT(answerer.MessageTexts(), ::testing::SizeIs(1));
    EXPECT_THAT(answerer.MessageTexts()[0], StartsWith(L"Error code: 2\n"));
    EXPECT_THAT(answerer.MessageTexts()[0], ::testing::EndsWith(L"\n" + missing.wstring()));
}

} // namespace
