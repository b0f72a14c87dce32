#include "Handles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::wstring TEST_KEY = L"Software\\OrvidFrameworkTests";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY); }
    void TearDown() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY); }
};

TEST_F(RegistryTest, ValuesSurviveClosingAndReopeningTheKey)
{
    const BYTE record[5] = {1, 0, 255, 7, 9}; // odd length, as the temp-directory value is stored
    {
        fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, TEST_KEY + L"\\Layout");
        ASSERT_TRUE(key.IsOpen());
        EXPECT_TRUE(key.WriteBinary(L"Main", record, sizeof(record)));
        EXPECT_TRUE(key.WriteDword(L"ToolBar", 0));
        EXPECT_TRUE(key.WriteDword(L"Filter", 1));
    }
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY + L"\\Layout", KEY_ALL_ACCESS);
    ASSERT_TRUE(key.IsOpen());

    BYTE buffer[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(key.ReadBinary(L"Main", buffer, sizeof(buffer), &read));
    EXPECT_EQ(read, sizeof(record));
    EXPECT_EQ(std::memcmp(buffer, record, sizeof(record)), 0);
    EXPECT_FALSE(key.ReadBinary(L"Main", buffer, 2)) << "a value longer than the buffer is refused";

    std::vector<BYTE> whole;
    ASSERT_TRUE(key.ReadBinary(L"Main", whole));
    EXPECT_EQ(whole, std::vector<BYTE>(record, record + sizeof(record)));

    DWORD value = 99;
    ASSERT_TRUE(key.ReadDword(L"ToolBar", value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(key.ReadDword(L"Filter", value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(key.ReadDword(L"Main", value)) << "five bytes are not a DWORD";
    EXPECT_FALSE(key.ReadDword(L"StatusBar", value));

    std::vector<std::wstring> names;
    std::wstring name;
    for (DWORD index = 0; key.EnumValue(index, name); ++index)
        names.push_back(name);
    EXPECT_EQ(names.size(), 3u);

    EXPECT_TRUE(key.DeleteValue(L"Filter"));
    EXPECT_FALSE(key.ReadDword(L"Filter", value));
}

TEST_F(RegistryTest, MissingKeyIsNotCreatedByOpenAndIsGoneAfterDeleteTree)
{
    EXPECT_FALSE(fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY).IsOpen());
    ASSERT_TRUE(fw::RegistryKey::Create(HKEY_CURRENT_USER, TEST_KEY + L"\\A\\B").IsOpen());
    EXPECT_TRUE(fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY));
    EXPECT_FALSE(fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY).IsOpen());
}

TEST(HandlesTest, UniqueHandleClosesOnResetAndMoves)
{
    fw::KernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    HANDLE raw = event.Get();
    fw::KernelHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_EQ(moved.Get(), raw);
    moved.Reset();
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags)) << "the handle was closed";
}

} // namespace
