// Jobs on local files only: deletes, moves, empty lists, and entries too long for an item.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "TransferTestSupport.h"
#include "support/WindowAnswerer.h"
#include "transfer/UploadDlg.h"

using namespace transfertests;
using ::testing::IsEmpty;

namespace {

TEST(LocalJobTest, EmptyListEndsAtOnceForEveryKind)
{
    testsupport::WindowAnswerer answerer;
    LocalDirectory local;
    for (UINT kind : {JOB_DELETE_LOCAL, JOB_MOVE_LOCAL}) {
        EXPECT_EQ(RunJob(nullptr, std::make_unique<TransferList>(), (local.Path() / L"target").wstring(), kind), IDOK);
    }
    // A move still makes its target.
    EXPECT_TRUE(fs::is_directory(local.Path() / L"target"));
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
}

} // namespace
