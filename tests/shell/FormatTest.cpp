#include <gtest/gtest.h>

#include <vector>

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

TEST(IsUsableLocalName, RefusesNamesThatWouldLandElsewhereOrReadAsAnother)
{
    const std::vector<const wchar_t*> usable = {L"a.txt",     L"...a",      L".profile", L"report.pdf", L"CONSOLE",
                                                L"com10",     L"nul_file",  L"LPT",      L"a b",        L"COM\u00B90",
                                                L"COM\u00B4", L"caf\u00E9", L"a\u202Fb"};
    const std::vector<std::vector<const wchar_t*>> refused = {
        // Empty, climbing, or changed by Windows dropping trailing dots and blanks.
        {L"", L".", L"..", L". .", L"a.", L"a ", L"prn "},
        // Separators, drive marks, wildcards and what else Windows refuses in a name.
        {L"a/b", L"..\\evil", L"c:x", L"a<b", L"a>b", L"a\"b", L"a|b", L"a?b", L"a*b", L"a\tb", L"\x01"},
        // Devices, in any case and with any extension.
        {L"nul", L"NUL.txt", L"con", L"Aux.tar.gz", L"com1", L"COM0", L"lpt0.x", L"LPT9.log", L"nul .txt"},
        {L"com\u00B9", L"LPT\u00B2.txt", L"Com\u00B3", L"conin$", L"CONOUT$.log"},
        // Bidirectional controls.
        {L"\u202Etxt.exe", L"a\u202Ab", L"a\u2066b", L"a\u2069"},
    };
    for (const wchar_t* name : usable)
        EXPECT_TRUE(IsUsableLocalName(name)) << name;
    for (const auto& group : refused) {
        for (const wchar_t* name : group)
            EXPECT_FALSE(IsUsableLocalName(name)) << name;
    }
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
