// The transfer list on its own: counters, iteration, what does not fit, local expansion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "TransferTestSupport.h"
#include "engine/FTPDataTypes.h"
#include "transfer/TransferList.h"

using namespace transfertests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::wstring> Names(TransferList& list, bool filesOnly)
{
    std::vector<std::wstring> names;
    for (TransferItem* item = FirstItem(&list, filesOnly); item != nullptr; item = NextItem(&list, filesOnly))
        names.push_back(item->name);
    return names;
}

TEST(TransferListTest, ItemsCountAndIterateWithOrWithoutDirectories)
{
    TransferList list;
    AddItem(10, &list, false, L"a", L"C:\\a", 1, 2);
    TransferItem* directory = AddItem(4096, &list, true, L"d", L"C:\\d", 0, 0);
    TransferItem* last = AddItem(5, &list, false, L"b", L"C:\\b", 0, 0);
    // A size the listing did not give stays unknown and adds nothing to the totals.
    TransferItem* unknown = AddItem(nsFTP::SIZE_UNKNOWN, &list, false, L"u", L"/u", 0, 0);
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(list.totalBytes, 10u + 4096 + 5);
    EXPECT_EQ(list.fileCount, 3u);
    EXPECT_EQ(list.itemCount, 4u);
    EXPECT_EQ(last->fileIndex, 1u);
    EXPECT_EQ(last->itemIndex, 2u);
    EXPECT_EQ(last->sizeUnknown, 0u);
    EXPECT_EQ(unknown->sizeUnknown, 1u);
    EXPECT_EQ(unknown->size, 0u);
    EXPECT_EQ(list.head->lastWrite.dwLowDateTime, 1u);
    EXPECT_EQ(list.head->lastWrite.dwHighDateTime, 2u);
    EXPECT_THAT(Names(list, false), ElementsAre(L"a", L"d", L"b", L"u"));
    EXPECT_THAT(Names(list, true), ElementsAre(L"a", L"b", L"u"));

    ClearList(&list);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(list.totalBytes + list.fileCount + list.itemCount, 0u);
    EXPECT_EQ(FirstItem(&list, false), nullptr);
}

// 259 name characters and 4095 path characters fit with their terminators; one more is
// refused and recorded, and the list goes on as if the entry had not been offered.
TEST(TransferListTest, EntriesThatDoNotFitAreLeftOutAndRecorded)
{
    TransferList list;
    EXPECT_NE(AddItem(1, &list, false, std::wstring(259, L'n'), std::wstring(4095, L'p'), 0, 0), nullptr);
    EXPECT_EQ(AddItem(1, &list, false, std::wstring(260, L'n'), L"C:\\short", 0, 0), nullptr);
    EXPECT_EQ(AddItem(1, &list, true, L"short", std::wstring(4096, L'p'), 0, 0), nullptr);
    EXPECT_EQ(list.itemCount, 1u);
    EXPECT_EQ(list.totalBytes, 1u);
    EXPECT_EQ(std::wstring(list.head->name).size(), 259u);
    ASSERT_EQ(list.leftOut.size(), 2u);
    EXPECT_EQ(list.leftOut[0].path, L"C:\\short");
    EXPECT_EQ(list.leftOut[1].name, L"short");
}

// A holds a1 and A2 (which holds x), B holds b1: A, B, then A's children, then B's, then x.
TEST(TransferListTest, LocalExpansionIsBreadthFirst)
{
    LocalDirectory local;
    WriteBytes(local.Path() / L"A" / L"a1", 3, 1);
    WriteBytes(local.Path() / L"A" / L"A2" / L"x", 4, 2);
    WriteBytes(local.Path() / L"B" / L"b1", 5, 3);
    WriteBytes(local.Path() / L"loose", 6, 4);
    auto list = LocalList({local.Path() / L"A", local.Path() / L"B", local.Path() / L"loose"});
    ExpandLocal(list.get());

    const std::vector<std::wstring> names = Names(*list, false);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_THAT(std::vector<std::wstring>(names.begin(), names.begin() + 3), ElementsAre(L"A", L"B", L"loose"));
    // The file system decides the order within one directory.
    EXPECT_THAT(std::vector<std::wstring>(names.begin() + 3, names.begin() + 5),
                UnorderedElementsAre(L"A/a1", L"A/A2"));
    EXPECT_EQ(names[5], L"B/b1");
    EXPECT_EQ(names[6], L"A/A2/x");
    for (TransferItem* item = list->head; item != nullptr; item = item->next) {
        if (std::wstring(item->name) == L"A/A2/x") {
            EXPECT_EQ(std::wstring(item->path), (local.Path() / L"A" / L"A2" / L"x").wstring());
            EXPECT_EQ(item->size, 4u);
        }
    }
    EXPECT_EQ(list->totalBytes, 3u + 4 + 5 + 6);
    EXPECT_THAT(list->leftOut, IsEmpty());

    // Nothing is left to expand.
    ExpandLocal(list.get());
    EXPECT_EQ(list->itemCount, 7u);
}

// A directory is known by its file ID, not by the path that leads to it (a link, or here a
// second spelling that the file system reads as the same name): it is listed once.
TEST(TransferListTest, LocalExpansionListsEachDirectoryOnce)
{
    LocalDirectory local;
    WriteBytes(local.Path() / L"A" / L"x", 1, 1);
    auto list = LocalList({local.Path() / L"A", local.Path() / L"a"});
    ExpandLocal(list.get());
    EXPECT_THAT(Names(*list, false), ElementsAre(L"A", L"a", L"A/x"));
    ASSERT_EQ(list->leftOut.size(), 1u);
    EXPECT_EQ(list->leftOut[0].reason, LeftOutReason::Loop);
    EXPECT_EQ(list->leftOut[0].path, (local.Path() / L"a").wstring());
}

} // namespace
