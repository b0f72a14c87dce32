// "Protect saved passwords" in the store, under a private key (its Settings and
// ProtectedPasswords keys beside it): what the registry holds with the setting on and off,
// what loads, and the protected values following renames and deletes; then values that
// cannot be read here, which must never be lost.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "sites/ProtectedPasswords.h"
#include "sites/SiteStore.h"

namespace {

const std::wstring TEST_ROOT = L"Software\\OrvidProtectedPasswordTests";
const std::wstring TEST_KEY = TEST_ROOT + L"\\Sites";
const std::wstring PROTECTED_KEY = TEST_ROOT + L"\\ProtectedPasswords";
const std::wstring SETTINGS_KEY_PATH = TEST_ROOT + L"\\Settings";

struct SampleSite {
    const wchar_t* label;
    const wchar_t* password;
    const wchar_t* firewallPassword;
};

// A password only, a firewall password only, both (one of them long), and none.
const SampleSite SAMPLES[] = {
    {L"Home", L"s\u00E9cret", L""},
    {L"Walled", L"", L"fwpass"},
    {L"Both", L"pw-\U0001F511",
     L"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234"
     L"567890123"},
    {L"Open", L"", L""},
};

SiteRecord Sample(const SampleSite& sample)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, sample.label);
    SetText(site.host, L"ftp.example.org");
    SetText(site.password, sample.password);
    SetText(site.firewallPassword, sample.firewallPassword);
    return site;
}

bool HasPasswords(const SampleSite& sample) { return *sample.password != L'\0' || *sample.firewallPassword != L'\0'; }

// The record as the registry holds it, unscrambled.
SiteRecord StoredRecord(const std::wstring& label)
{
    std::vector<BYTE> raw;
    EXPECT_TRUE(fw::RegistryKey::Open(HKEY_CURRENT_USER, TEST_KEY).ReadBinary(label, raw)) << "no record";
    return DecodeSiteRecord(raw).value_or(SiteRecord{});
}

std::vector<BYTE> ProtectedValue(const std::wstring& label)
{
    std::vector<BYTE> value;
    fw::RegistryKey::Open(HKEY_CURRENT_USER, PROTECTED_KEY).ReadBinary(label, value);
    return value;
}

bool Contains(const std::vector<BYTE>& bytes, const std::wstring& text)
{
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return std::search(bytes.begin(), bytes.end(), first, first + text.size() * sizeof(wchar_t)) != bytes.end();
}

class ProtectedPasswordsTest : public ::testing::Test {
protected:
    void SetUp() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT); }
    void TearDown() override { fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_ROOT); }

    static void ExpectLoadedWithPasswords(const std::wstring& when)
    {
        SiteList loaded;
        LoadSites(loaded, TEST_KEY);
        for (const SampleSite& sample : SAMPLES) {
            const SiteRecord* site = loaded.FindSite(sample.label);
            ASSERT_NE(site, nullptr) << sample.label;
            EXPECT_EQ(GetText(site->password), sample.password) << when << ' ' << sample.label;
            EXPECT_EQ(GetText(site->firewallPassword), sample.firewallPassword) << when << ' ' << sample.label;
            EXPECT_FALSE(HasProtectedPassword(*site)) << when << ' ' << sample.label;
        }
    }
};

} // namespace

TEST_F(ProtectedPasswordsTest, SwitchingMovesEveryPasswordOutOfTheRecordsAndBack)
{
    EXPECT_FALSE(PasswordsProtected(TEST_KEY)) << "off by default";
    SiteList list;
    for (const SampleSite& sample : SAMPLES)
        ASSERT_GE(AddSite(list, Sample(sample), nullptr, TEST_KEY), 0);

    EXPECT_TRUE(SetPasswordsProtected(true, TEST_KEY).empty());
    EXPECT_TRUE(PasswordsProtected(TEST_KEY));
    DWORD setting = 0;
    EXPECT_TRUE(fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY_PATH).ReadDword(L"ProtectPasswords", setting));
    EXPECT_EQ(setting, 1u);
    for (const SampleSite& sample : SAMPLES) {
        const SiteRecord stored = StoredRecord(sample.label);
        EXPECT_EQ(GetText(stored.password), L"") << sample.label;
        EXPECT_EQ(GetText(stored.firewallPassword), L"") << sample.label;
        EXPECT_EQ(HasProtectedPassword(stored), HasPasswords(sample)) << sample.label;
        const std::vector<BYTE> value = ProtectedValue(sample.label);
        EXPECT_EQ(value.empty(), !HasPasswords(sample)) << sample.label;
        if (HasPasswords(sample)) {
            EXPECT_FALSE(Contains(value, std::wstring(sample.password) + L'\0' + sample.firewallPassword))
                << sample.label;
        }
    }
    ExpectLoadedWithPasswords(L"protected");

    // New, edited, renamed and deleted sites follow the setting and keep the values in step.
    LoadSites(list, TEST_KEY);
    ASSERT_GE(AddSite(list, Sample({L"Added", L"new", L""}), nullptr, TEST_KEY), 0);
    EXPECT_EQ(GetText(StoredRecord(L"Added").password), L"");
    EXPECT_FALSE(ProtectedValue(L"Added").empty());
    SetText(list.FindSite(L"Added")->label, L"Renamed");
    ReplaceSite(list, L"Added", L"Renamed", nullptr, TEST_KEY);
    EXPECT_TRUE(ProtectedValue(L"Added").empty());
    EXPECT_FALSE(ProtectedValue(L"Renamed").empty());
    SetText(list.FindSite(L"Renamed")->password, L"");
    SaveSite(list, L"Renamed", TEST_KEY);
    EXPECT_TRUE(ProtectedValue(L"Renamed").empty()) << "a password cleared in an edit is gone from both places";
    EXPECT_FALSE(HasProtectedPassword(StoredRecord(L"Renamed")));
    RemoveSite(list, L"Home", true, TEST_KEY);
    EXPECT_TRUE(ProtectedValue(L"Home").empty());
    ASSERT_GE(AddSite(list, Sample(SAMPLES[0]), nullptr, TEST_KEY), 0);

    EXPECT_TRUE(SetPasswordsProtected(false, TEST_KEY).empty());
    EXPECT_FALSE(PasswordsProtected(TEST_KEY));
    for (const SampleSite& sample : SAMPLES) {
        const SiteRecord stored = StoredRecord(sample.label);
        EXPECT_EQ(GetText(stored.password), sample.password) << sample.label;
        EXPECT_EQ(GetText(stored.firewallPassword), sample.firewallPassword) << sample.label;
        EXPECT_FALSE(HasProtectedPassword(stored)) << sample.label;
    }
    std::wstring name;
    EXPECT_FALSE(fw::RegistryKey::Open(HKEY_CURRENT_USER, PROTECTED_KEY).EnumValue(0, name));
    ExpectLoadedWithPasswords(L"restored");
}

// Another Windows user's or machine's value, damage, or a value gone: the site loads flagged
// with blank passwords, an edit or rename keeps the value, and switching off leaves it.
TEST_F(ProtectedPasswordsTest, AValueThatCannotBeReadHereIsKeptAndReported)
{
    const std::string otherEntropy = "another program";
    const std::wstring secret = L"elsewhere";
    DATA_BLOB clear = {static_cast<DWORD>((secret.size() + 1) * sizeof(wchar_t)),
                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(secret.c_str()))};
    DATA_BLOB entropy = {static_cast<DWORD>(otherEntropy.size()),
                         reinterpret_cast<BYTE*>(const_cast<char*>(otherEntropy.data()))};
    DATA_BLOB foreign = {};
    ASSERT_TRUE(CryptProtectData(&clear, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &foreign));
    const std::vector<BYTE> foreignValue(foreign.pbData, foreign.pbData + foreign.cbData);
    LocalFree(foreign.pbData);

    const struct {
        const wchar_t* what;
        std::vector<BYTE> value; // empty: none stored
    } cases[] = {
        {L"protected by someone else", foreignValue},
        {L"damaged", std::vector<BYTE>(foreignValue.begin(), foreignValue.begin() + foreignValue.size() / 2)},
        {L"missing", {}},
    };
    fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY_PATH).WriteDword(L"ProtectPasswords", 1);
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.what, test.what + std::wcslen(test.what)));
        fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, TEST_KEY);
        fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, PROTECTED_KEY);
        SiteRecord record = Sample({L"Far", L"", L""});
        SetHasProtectedPassword(record, true);
        SiteRecordBytes bytes = EncodeSiteRecord(record);
        ASSERT_TRUE(fw::RegistryKey::Create(HKEY_CURRENT_USER, TEST_KEY)
                        .WriteBinary(L"Far", bytes.data(), static_cast<DWORD>(bytes.size())));
        if (!test.value.empty()) {
            ASSERT_TRUE(fw::RegistryKey::Create(HKEY_CURRENT_USER, PROTECTED_KEY)
                            .WriteBinary(L"Far", test.value.data(), static_cast<DWORD>(test.value.size())));
        }

        SiteList list;
        LoadSites(list, TEST_KEY);
        ASSERT_EQ(list.Size(), 1u);
        EXPECT_TRUE(PasswordsUnreadable(list[0]));

        SetText(list[0].host, L"moved.example.org");
        SetText(list[0].label, L"Further");
        ReplaceSite(list, L"Far", L"Further", nullptr, TEST_KEY);
        EXPECT_EQ(ProtectedValue(L"Further"), test.value);
        EXPECT_TRUE(ProtectedValue(L"Far").empty());
        EXPECT_TRUE(HasProtectedPassword(StoredRecord(L"Further")));

        EXPECT_TRUE(SetPasswordsProtected(true, TEST_KEY).empty()) << "it is protected already";
        EXPECT_EQ(SetPasswordsProtected(false, TEST_KEY), std::vector<std::wstring>{L"Further"});
        EXPECT_EQ(ProtectedValue(L"Further"), test.value);
        EXPECT_TRUE(HasProtectedPassword(StoredRecord(L"Further")));
        EXPECT_EQ(GetText(StoredRecord(L"Further").host), L"moved.example.org");

        // A password typed in an edit replaces what could not be read.
        LoadSites(list, TEST_KEY);
        SetText(list[0].password, L"typed");
        SaveSite(list, L"Further", TEST_KEY);
        EXPECT_TRUE(ProtectedValue(L"Further").empty());
        EXPECT_EQ(GetText(StoredRecord(L"Further").password), L"typed");
        EXPECT_FALSE(HasProtectedPassword(StoredRecord(L"Further")));
        fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY_PATH).WriteDword(L"ProtectPasswords", 1);
    }
}

#endif
