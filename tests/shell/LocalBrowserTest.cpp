// The local browsing rules that need no window: the path list and Enter Path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "shell/LocalBrowser.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(LocalBrowserTest, PathListNamesEachAncestorFromTheRoot)
{
    const struct {
        const wchar_t* directory;
        std::vector<std::wstring> entries;
    } cases[] = {
        {L"\\", {L"\\"}},
        {L"\\My Documents", {L"\\", L"\\My Documents"}},
        {L"\\a\\b", {L"\\", L"\\a", L"\\a\\b"}},
        {L"C:\\", {L"C:\\"}},
        {L"C:\\users\\x", {L"C:\\", L"C:\\users", L"C:\\users\\x"}},
    };
    for (const auto& test : cases)
        EXPECT_THAT(LocalPathListEntries(test.directory), ElementsAreArray(test.entries)) << test.directory;
}

TEST(LocalBrowserTest, EnterPathDropsOneTrailingSeparatorButKeepsRoots)
{
    const struct {
        const wchar_t* typed;
        const wchar_t* current;
        std::optional<std::wstring> target;
    } cases[] = {
        {L"", L"\\", std::nullopt},
        {L"\\", L"\\", std::nullopt},
        {L"\\Temp\\", L"\\Temp", std::nullopt},
        {L"\\Temp\\", L"\\", L"\\Temp"},
        {L"\\Temp/", L"\\", L"\\Temp"},
        {L"\\", L"\\Temp", L"\\"},
        {L"C:\\", L"\\", L"C:\\"},
        {L"D:\\data\\\\", L"\\", L"D:\\data\\"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(LocalEnterPathTarget(test.typed, test.current), test.target) << test.typed;
}
