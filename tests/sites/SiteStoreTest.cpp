#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "sites/SiteStore.h"

namespace {

const std::wstring TEST_ROOT = L"Software\\OrvidSiteStoreTests";
const std::wstring TEST_KEY = TEST_ROOT + L"\\Sites";
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

std::wstring boxText;

void CALLBACK ReadAndCloseBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", nullptr);
    if (box == nullptr || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) return;
    KillTimer(nullptr, timer);
    wchar_t text[256] = {};
    GetDlgItemTextW(box, MESSAGE_BOX_TEXT_ID, text, 256);
    boxText = text;
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

SiteRecord Site(const std::wstring& label, const std::wstring& host = L"ftp.example.org")
{
    SiteRecord record = DefaultSiteRecord();
    SetText(record.label, label);
    SetText(record.host, host);
    return record;
}

std::vector<std::wstring> Labels(const SiteList& list)
{
    std::vector<std::wstring> labels;
    for (const SiteRecord& record : list)
        labels.push_back(GetText(record.label));
    return labels;
}

class SiteStoreTest : public ::testing::Test {
protected:
    void SetUp() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT); }
    void TearDown() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT); }

    static fw::RegistryKey Key() { return fw::RegistryKey::Create(HKEY_CURRENT_USER, TEST_KEY); }
    static std::size_t ValueCount()
    {
        fw::RegistryKey key = Key();
        std::wstring name;
        DWORD index = 0;
        while (key.EnumValue(index, name))
            ++index;
        return index;
    }
};

} // namespace

TEST_F(SiteStoreTest, AddedRecordsAreStoredScrambledAndLoadBackWhole)
{
    SiteList list;
    list.Append(Site(L"left over"));
    LoadSites(list, TEST_KEY);
    EXPECT_TRUE(list.Empty()) << "loading empties the list; a missing key is created empty";

    SiteRecord group = Site(L"Servers", L"");
    group.groupId = list.NextGroupId();
    EXPECT_EQ(AddSite(list, group, nullptr, TEST_KEY), 0);
    SiteRecord site = Site(L"Mirror", L"mirror.example.net");
    site.parentId = group.groupId;
    site.port = 70000; // kept as entered; only connecting cuts it to 16 bits
    SetText(site.password, L"s\u00E9cret");
    site.reserved1[17] = 0x99; // bytes neither program uses are written back as read
    EXPECT_EQ(AddSite(list, site, nullptr, TEST_KEY), 1);

    std::vector<std::uint8_t> raw(SITE_RECORD_SIZE + 1);
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(raw.size());
    ASSERT_EQ(RegQueryValueExW(Key().Get(), L"Mirror", nullptr, &type, raw.data(), &length), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(length, SITE_RECORD_SIZE);
    EXPECT_EQ(raw[0], static_cast<std::uint8_t>(L'M' ^ 0xE4));
    EXPECT_EQ(raw[1], 0xE4);

    SiteList loaded;
    LoadSites(loaded, TEST_KEY);
    ASSERT_EQ(loaded.Size(), 2u);
    const SiteRecord* mirror = loaded.FindSite(L"mirror");
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(std::memcmp(mirror, &site, SITE_RECORD_SIZE), 0);
    ASSERT_NE(loaded.ParentGroupOf(*mirror), nullptr);
    EXPECT_EQ(GetText(loaded.ParentGroupOf(*mirror)->label), L"Servers");
}

TEST_F(SiteStoreTest, ShortValuesKeepDefaultsAndOverlongOnesAreSkipped)
{
    SiteRecord written = Site(L"Short");
    written.port = 990;
    written.groupId = 12;
    written.timeout = 1;
    SiteRecordBytes stored = EncodeSiteRecord(written);
    std::vector<std::uint8_t> tooLong(SITE_RECORD_SIZE + 1, 0xE4);
    {
        fw::RegistryKey key = Key();
        ASSERT_TRUE(key.WriteBinary(L"Short", stored.data(), 900));
        ASSERT_TRUE(key.WriteBinary(L"Huge", tooLong.data(), static_cast<DWORD>(tooLong.size())));
        // The type is not looked at.
        ASSERT_EQ(RegSetValueExW(key.Get(), L"Typed", 0, REG_SZ, stored.data(), 4), ERROR_SUCCESS);
    }

    SiteList list;
    LoadSites(list, TEST_KEY);
    ASSERT_EQ(list.Size(), 2u) << testing::PrintToString(Labels(list));
    const SiteRecord* shortOne = list.FindSite(L"Short");
    ASSERT_NE(shortOne, nullptr);
    EXPECT_EQ(shortOne->port, 990);
    EXPECT_EQ(shortOne->timeout, 60u);
    EXPECT_EQ(shortOne->groupId, NO_GROUP);
    EXPECT_NE(list.FindSite(L"Sh"), nullptr) << "four bytes give the first two label characters";
}

TEST_F(SiteStoreTest, DuplicateLabelInAnotherCaseIsRefusedWithAMessage)
{
    SiteList list;
    ASSERT_EQ(AddSite(list, Site(L"Home", L"first.example.org"), nullptr, TEST_KEY), 0);
    boxText.clear();
    SetTimer(nullptr, 0, 50, ReadAndCloseBox);
    EXPECT_EQ(AddSite(list, Site(L"HOME", L"second.example.org"), nullptr, TEST_KEY), -1);
    EXPECT_EQ(boxText, L"A site with this label already exists.");
    EXPECT_EQ(list.Size(), 1u);

    LoadSites(list, TEST_KEY);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(GetText(list[0].host), L"first.example.org");
}

TEST_F(SiteStoreTest, EditRenamesTheValueAndRemoveKeepsTheOrderOfTheRest)
{
    SiteList list;
    for (const wchar_t* label : {L"One", L"Two", L"Three"})
        AddSite(list, Site(label), nullptr, TEST_KEY);

    // An edit: change in place, drop the old value, save under the new label.
    SetText(list[1].label, L"Second");
    SetText(list[1].host, L"second.example.org");
    RemoveSite(list, L"Two", false, TEST_KEY);
    SaveSite(list, L"Second", TEST_KEY);
    EXPECT_EQ(Labels(list), (std::vector<std::wstring>{L"One", L"Second", L"Three"}));
    SiteList loaded;
    LoadSites(loaded, TEST_KEY);
    EXPECT_EQ(loaded.Size(), 3u);
    ASSERT_NE(loaded.FindSite(L"second"), nullptr);
    EXPECT_EQ(GetText(loaded.FindSite(L"second")->host), L"second.example.org");

    RemoveSite(list, L"one", true, TEST_KEY);
    SaveSite(list, L"Nowhere", TEST_KEY);
    EXPECT_EQ(Labels(list), (std::vector<std::wstring>{L"Second", L"Three"}));
    EXPECT_EQ(ValueCount(), 2u) << "the value goes whatever the label's case; an unknown label writes nothing";
}

// FindSite must never tell apart two labels that the registry takes for one value name,
// or saving the second would overwrite the first.
TEST_F(SiteStoreTest, RegistryValueNamesFoldCaseAsLabelsDo)
{
    const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
        {L"\u00C4BC", L"\u00E4bc"},
        {L"\u017D\u0139\u0100", L"\u017E\u013A\u0101"},
        {L"\u0391\u03A3", L"\u03B1\u03C3"},
        {L"\u042F\u0401", L"\u044F\u0451"},
    };
    fw::RegistryKey key = Key();
    const BYTE data[1] = {0};
    for (const auto& [upper, lower] : pairs) {
        ASSERT_TRUE(key.WriteBinary(upper, data, 1));
        ASSERT_TRUE(key.WriteBinary(lower, data, 1));
        EXPECT_TRUE(LabelsEqual(upper, lower));
    }
    EXPECT_EQ(ValueCount(), std::size(pairs));
}

#endif
