#include <gtest/gtest.h>

#include "engine/FTPDataTypes.h"
#include "shell/Format.h"

TEST(FormatSize, BytesUpToOneKilobyte)
{
    EXPECT_EQ(FormatSize(1), L"1 B");
    EXPECT_EQ(FormatSize(512), L"512 B");
    EXPECT_EQ(FormatSize(1023), L"1023 B");
}

TEST(FormatSize, KilobytesUpToOneMegabyte)
{
    EXPECT_EQ(FormatSize(1024), L"1.00 Kb");
    EXPECT_EQ(FormatSize(1536), L"1.50 Kb");
    EXPECT_EQ(FormatSize(1048575), L"1024.00 Kb");
}

TEST(FormatSize, MegabytesFromOneMegabyteOn)
{
    EXPECT_EQ(FormatSize(1048576), L"1.00 Mb");
    EXPECT_EQ(FormatSize(5242880), L"5.00 Mb");
    // Sizes past 32 bits keep their value.
    EXPECT_EQ(FormatSize(5ULL * 1024 * 1024 * 1024), L"5120.00 Mb");
    EXPECT_EQ(FormatSize(4294967295ULL), L"4096.00 Mb");
}

TEST(FormatSize, ZeroAndUnknownShowEmpty)
{
    EXPECT_EQ(FormatSize(0), L"");
    EXPECT_EQ(FormatSize(nsFTP::SIZE_UNKNOWN), L"");
}

TEST(JoinPath, RemoteAddsSlashOnlyWhenMissing)
{
    EXPECT_EQ(JoinRemotePath(L"/", L"pub"), L"/pub");
    EXPECT_EQ(JoinRemotePath(L"/pub", L"x"), L"/pub/x");
    EXPECT_EQ(JoinRemotePath(L"/pub\\", L"x"), L"/pub\\x");
}

TEST(JoinPath, LocalAddsBackslashOnlyWhenMissing)
{
    EXPECT_EQ(JoinLocalPath(L"C:\\dir\\", L"a"), L"C:\\dir\\a");
    EXPECT_EQ(JoinLocalPath(L"C:\\dir", L"a"), L"C:\\dir\\a");
    EXPECT_EQ(JoinLocalPath(L"C:/dir/", L"a"), L"C:/dir/a");
}

TEST(IsUsableLocalName, RefusesNamesThatWouldLandElsewhere)
{
    for (const wchar_t* fine :
         {L"a.txt", L"...a", L".profile", L"report.pdf", L"CONSOLE", L"com10", L"nul_file", L"LPT", L"a b"})
        EXPECT_TRUE(IsUsableLocalName(fine)) << fine;
    for (const wchar_t* bad : {L"", L".", L"..", L"...", L". .", L"a/b", L"..\\evil", L"c:x", L"nul", L"NUL.txt",
                               L"con", L"Aux.tar.gz", L"prn ", L"com1", L"LPT9.log", L"nul .txt"})
        EXPECT_FALSE(IsUsableLocalName(bad)) << bad;
}

TEST(FormatFileTime, ShowsTheLocalDateAndTimeOfTheLocale)
{
    SYSTEMTIME local = {};
    local.wYear = 2024;
    local.wMonth = 3;
    local.wDay = 9;
    local.wHour = 14;
    local.wMinute = 5;
    local.wSecond = 6;
    FILETIME localTime = {};
    FILETIME utc = {};
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));

    std::wstring text = FormatFileTime(utc);
    // The default "C" locale of the runtime gives "%m/%d/%y %H:%M:%S".
    EXPECT_EQ(text, L"03/09/24 14:05:06");
}
