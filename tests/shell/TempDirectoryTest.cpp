#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "framework/Handles.h"
#include "shell/TempDirectory.h"

namespace {

// Keeps the user's "Tep" value (or its absence) and puts it back afterwards.
class TempDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY);
        hadValue = key.IsOpen() && key.ReadBinary(TEMP_DIRECTORY_VALUE, saved);
        if (hadValue) fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY).DeleteValue(TEMP_DIRECTORY_VALUE);
    }
    void TearDown() override
    {
        fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY);
        if (hadValue)
            key.WriteBinary(TEMP_DIRECTORY_VALUE, saved.data(), static_cast<DWORD>(saved.size()));
        else
            key.DeleteValue(TEMP_DIRECTORY_VALUE);
    }

    static std::wstring SystemTemp()
    {
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD length = GetTempPathW(MAX_PATH, buffer);
        return std::wstring(buffer, length);
    }

    bool hadValue = false;
    std::vector<BYTE> saved;
};

} // namespace

TEST_F(TempDirectoryTest, WithoutValueTheSystemDirectoryWithBackslash)
{
    std::wstring directory = GetTempDirectory();
    EXPECT_EQ(directory, SystemTemp());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), L'\\');
}

TEST_F(TempDirectoryTest, StoresOddLengthAndReadsBackAsWritten)
{
    SetTempDirectoryValue(L"D:\\Downloads\\ftp");

    std::vector<BYTE> stored;
    DWORD type = 0;
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY);
    ASSERT_TRUE(key.ReadBinary(TEMP_DIRECTORY_VALUE, stored));
    ASSERT_EQ(RegQueryValueExW(key.Get(), TEMP_DIRECTORY_VALUE, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(stored.size(), 2u * 16u + 1u);
    EXPECT_EQ(stored.back(), 0);

    EXPECT_EQ(GetTempDirectory(), L"D:\\Downloads\\ftp");
}

TEST_F(TempDirectoryTest, EmptyValueFallsBackToTheSystemDirectory)
{
    SetTempDirectoryValue(L"");
    std::vector<BYTE> stored;
    ASSERT_TRUE(fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY).ReadBinary(TEMP_DIRECTORY_VALUE, stored));
    EXPECT_EQ(stored.size(), 1u);
    EXPECT_EQ(GetTempDirectory(), SystemTemp());
}

TEST_F(TempDirectoryTest, ReplacingALongerValueLeavesNoTail)
{
    SetTempDirectoryValue(L"C:\\a\\much\\longer\\directory");
    SetTempDirectoryValue(L"C:\\b");
    EXPECT_EQ(GetTempDirectory(), L"C:\\b");
}
