#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/FTPDataTypes.h"
#include "sites/SiteRecord.h"

namespace {

std::vector<std::uint8_t> Bytes(const SiteRecord& record)
{
    std::vector<std::uint8_t> bytes(SITE_RECORD_SIZE);
    std::memcpy(bytes.data(), &record, SITE_RECORD_SIZE);
    return bytes;
}

// The little-endian value at offset in an unscrambled image.
std::uint32_t StoredUint(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

SiteRecord Named(const std::wstring& label, std::int32_t groupId = NO_GROUP, std::int32_t parentId = NO_GROUP)
{
    SiteRecord record = DefaultSiteRecord();
    SetText(record.label, label);
    record.groupId = groupId;
    record.parentId = parentId;
    return record;
}

} // namespace

TEST(SiteRecord, DefaultsOverwriteEverythingAndLeaveOnlyTheDefaultFieldsNonZero)
{
    SiteRecord record;
    std::memset(&record, 0x5A, sizeof record);
    InitSiteRecord(record);

    // The expected stored image: zero except port, passive, the TLS marker and "Require
    // explicit", timeout, keepAlive, groupId, parentId and firewallPort.
    std::vector<std::uint8_t> expected(SITE_RECORD_SIZE, 0);
    expected[384] = 21;
    expected[388] = 1;
    std::memcpy(&expected[780], "TLS1", 4);
    expected[784] = 1;
    expected[988] = 60;
    expected[1184] = 1;
    std::memset(&expected[1192], 0xFF, 8);
    expected[1780] = 21;
    EXPECT_EQ(Bytes(record), expected);
}

TEST(SiteRecord, StoredImageIsLittleEndianScrambledAndAShortOneKeepsTheDefaultTail)
{
    SiteRecord written;
    std::memset(&written, 0, sizeof written);
    SetText(written.label, L"Ab");
    SetText(written.host, L"ftp.example.org");
    SetText(written.firewallPassword, L"z");
    written.port = 0x12345678;
    written.anonymous = 1;
    written.groupId = 7;
    written.firewallPort = 0xABCD;
    written.firewallType = 3;

    SiteRecordBytes stored = EncodeSiteRecord(written);
    std::vector<std::uint8_t> plain(stored.begin(), stored.end());
    for (std::uint8_t& byte : plain)
        byte ^= 0xE4;
    EXPECT_EQ(StoredUint(plain, 0, 4), 0x00620041u); // "Ab"
    EXPECT_EQ(StoredUint(plain, 384, 4), 0x12345678u);
    EXPECT_EQ(plain[384], 0x78);
    EXPECT_EQ(StoredUint(plain, 776, 4), 1u);
    EXPECT_EQ(StoredUint(plain, 1192, 4), 7u);
    EXPECT_EQ(StoredUint(plain, 1588, 2), u'z');
    EXPECT_EQ(StoredUint(plain, 1780, 4), 0xABCDu);
    EXPECT_EQ(StoredUint(plain, 1784, 4), 3u);

    std::optional<SiteRecord> whole = DecodeSiteRecord(stored);
    ASSERT_TRUE(whole);
    EXPECT_EQ(Bytes(*whole), Bytes(written));

    // 900 bytes end inside the reserved block: everything from timeout on is default.
    std::optional<SiteRecord> head = DecodeSiteRecord(std::span(stored).first(900));
    ASSERT_TRUE(head);
    EXPECT_EQ(GetText(head->host), L"ftp.example.org");
    EXPECT_EQ(head->port, 0x12345678);
    EXPECT_EQ(head->anonymous, 1u);
    std::vector<std::uint8_t> tail = Bytes(*head);
    std::vector<std::uint8_t> defaults = Bytes(DefaultSiteRecord());
    EXPECT_TRUE(std::equal(tail.begin() + 900, tail.end(), defaults.begin() + 900));
    EXPECT_EQ(head->timeout, 60u);
    EXPECT_EQ(head->groupId, NO_GROUP);

    std::vector<std::uint8_t> tooLong(SITE_RECORD_SIZE + 1, 0xE4);
    EXPECT_FALSE(DecodeSiteRecord(tooLong));
}

// The TLS fields count only behind their marker: a record from an older copy, whatever its
// reserved bytes hold, is "if available" with nothing trusted or allowed; the first setter
// makes the fields ours without taking those bytes.
TEST(SiteRecord, TlsFieldsCountOnlyBehindTheirMarker)
{
    SiteRecord old = DefaultSiteRecord();
    std::memset(old.tlsMarker, 0x5A, 4 + 4 + CERTIFICATE_HASH_BYTES);
    EXPECT_EQ(GetSiteEncryption(old), SiteEncryption::IfAvailable);
    EXPECT_FALSE(AllowsPlainFtp(old));
    EXPECT_FALSE(HasProtectedPassword(old));
    EXPECT_EQ(TrustedCertificate(old), "");

    SiteRecord adopted = old;
    SetAllowsPlainFtp(adopted, true);
    EXPECT_EQ(GetSiteEncryption(adopted), SiteEncryption::IfAvailable);
    EXPECT_TRUE(AllowsPlainFtp(adopted));
    EXPECT_EQ(TrustedCertificate(adopted), "");
    EXPECT_TRUE(std::all_of(std::begin(adopted.reserved1), std::end(adopted.reserved1), [](auto b) { return b == 0; }));

    const std::string hash = "00ff" + std::string(58, 'a') + "0B";
    SiteRecord site = DefaultSiteRecord();
    EXPECT_EQ(GetSiteEncryption(site), SiteEncryption::RequireExplicit);
    ASSERT_TRUE(SetTrustedCertificate(site, hash));
    SetSiteEncryption(site, SiteEncryption::RequireImplicit);
    const std::optional<SiteRecord> loaded = DecodeSiteRecord(EncodeSiteRecord(site));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(GetSiteEncryption(*loaded), SiteEncryption::RequireImplicit);
    EXPECT_EQ(TrustedCertificate(*loaded), "00ff" + std::string(58, 'a') + "0b");

    for (const char* bad : {"abc", "zz", ""}) {
        SiteRecord kept = site;
        EXPECT_FALSE(SetTrustedCertificate(kept, std::string(62, '0') + bad)) << bad;
        EXPECT_EQ(TrustedCertificate(kept), TrustedCertificate(site));
    }
    site.encryption = 9; // from a later copy
    EXPECT_EQ(GetSiteEncryption(site), SiteEncryption::RequireExplicit);
}

// Like the TLS fields, the character set and listing command count only behind their own
// marker, so a record from an older copy is Auto with MLSD where offered.
TEST(SiteRecord, CharacterSetAndListingCountOnlyBehindTheirMarker)
{
    SiteRecord old = DefaultSiteRecord();
    EXPECT_EQ(GetSiteCodePage(old), nsFTP::CODE_PAGE_AUTO);
    EXPECT_TRUE(PrefersMlsd(old));
    std::memset(old.protocolMarker, 0x5A, 4 + 4 + 4);
    EXPECT_EQ(GetSiteCodePage(old), nsFTP::CODE_PAGE_AUTO);
    EXPECT_TRUE(PrefersMlsd(old));

    SiteRecord adopted = old;
    SetPrefersMlsd(adopted, false);
    EXPECT_EQ(GetSiteCodePage(adopted), nsFTP::CODE_PAGE_AUTO);
    EXPECT_FALSE(PrefersMlsd(adopted));
    EXPECT_EQ(GetSiteEncryption(adopted), GetSiteEncryption(old)) << "the TLS fields are untouched";

    for (const std::uint32_t codePage : {nsFTP::CODE_PAGE_UTF8, nsFTP::CODE_PAGE_JAPANESE, nsFTP::CODE_PAGE_AUTO}) {
        SiteRecord site = DefaultSiteRecord();
        SetSiteCodePage(site, codePage);
        const std::optional<SiteRecord> loaded = DecodeSiteRecord(EncodeSiteRecord(site));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(GetSiteCodePage(*loaded), codePage);
        EXPECT_TRUE(PrefersMlsd(*loaded));
    }
    SiteRecord site = DefaultSiteRecord();
    SetSiteCodePage(site, 437); // not offered
    EXPECT_EQ(GetSiteCodePage(site), nsFTP::CODE_PAGE_AUTO);
    site.codePage = 28591; // from a later copy
    EXPECT_EQ(GetSiteCodePage(site), nsFTP::CODE_PAGE_AUTO);
}

TEST(SiteText, TextIsCutTo95UnitsWithoutSplittingAPairAndTheArrayTailIsZeroed)
{
    SiteRecord record;
    std::memset(&record, 0x7F, sizeof record);
    SetText(record.host, std::wstring(200, L'h'));
    EXPECT_EQ(GetText(record.host), std::wstring(95, L'h'));
    EXPECT_EQ(record.port, 0x7F7F7F7F) << "the next field is untouched";
    SetText(record.host, L"ab");
    EXPECT_EQ(std::count(std::begin(record.host), std::end(record.host), u'\0'), 94);

    // U+1F600 is two units in the record and one wchar_t natively.
    SetText(record.label, L"a\U0001F600b");
    EXPECT_EQ(GetText(record.label), L"a\U0001F600b");
    EXPECT_EQ(record.label[1], 0xD83D);
    SetText(record.label, std::wstring(94, L'x') + L"\U0001F600");
    EXPECT_EQ(GetText(record.label), std::wstring(94, L'x'));

    // A lone low surrogate is how the wire codec keeps an undecodable byte.
    const std::wstring loneByte(1, static_cast<wchar_t>(0xDCE9));
    SetText(record.label, loneByte);
    EXPECT_EQ(GetText(record.label), loneByte);

    std::fill(std::begin(record.user), std::end(record.user), u'u');
    EXPECT_EQ(GetText(record.user), std::wstring(SITE_TEXT_UNITS, L'u')) << "a stored array without terminator";
}

TEST(SiteLabels, CompareWithoutRegardToCaseInLatinGreekAndCyrillic)
{
    EXPECT_TRUE(LabelsEqual(L"\u00C4BC", L"\u00E4bc"));                     // ÄBC, äbc
    EXPECT_TRUE(LabelsEqual(L"\u0178\u00D8", L"\u00FF\u00F8"));             // ŸØ, ÿø
    EXPECT_TRUE(LabelsEqual(L"\u017D\u0139\u0100", L"\u017E\u013A\u0101")); // ŽĹĀ, žĺā
    EXPECT_TRUE(LabelsEqual(L"\u0391\u03A3", L"\u03B1\u03C2"));             // ΑΣ, ας
    EXPECT_TRUE(LabelsEqual(L"\u042F\u0401", L"\u044F\u0451"));             // ЯЁ, яё
    EXPECT_FALSE(LabelsEqual(L"\u00D7", L"\u00F7")) << "multiplication and division signs";
    EXPECT_FALSE(LabelsEqual(L"[", L"{"));
    EXPECT_LT(CompareLabels(L"alpha", L"BETA"), 0);
    EXPECT_GT(CompareLabels(L"ABC", L"ab"), 0);
}

TEST(SiteList, FindSiteIgnoresCaseAndTakesTheFirstMatch)
{
    SiteList list;
    for (const wchar_t* label : {L"Work", L"Home", L"HOME"})
        list.Append(Named(label));
    list.Append(Named(std::wstring(95, L'L')));

    EXPECT_EQ(list.FindSite(L"hOmE"), &list[1]);
    EXPECT_EQ(list.FindSite(L"Nowhere"), nullptr);
    EXPECT_EQ(list.IndexOf(std::wstring(120, L'l')), 3) << "matched as a record would hold it";

    EXPECT_TRUE(list.RemoveFirst(L"home"));
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(GetText(list[0].label), L"Work");
    EXPECT_EQ(GetText(list[1].label), L"HOME");
}

TEST(SiteList, GroupIdsAndParents)
{
    SiteList list;
    EXPECT_EQ(list.NextGroupId(), 0);
    list.Append(Named(L"orphan", NO_GROUP, 9));
    EXPECT_EQ(list.NextGroupId(), 0) << "a site's parent id does not count";
    for (std::int32_t id : {0, 4, 1})
        list.Append(Named(L"g" + std::to_wstring(id), id));
    EXPECT_EQ(list.NextGroupId(), 5);
    list.RemoveFirst(L"g4");
    EXPECT_EQ(list.NextGroupId(), 2);
    list.Append(Named(L"damaged", std::numeric_limits<std::int32_t>::max()));
    EXPECT_EQ(list.NextGroupId(), 2) << "no overflow; the lowest free id instead";

    EXPECT_EQ(list.ParentGroupOf(list[0]), nullptr) << "a missing group leaves the site at the top";
    list.Append(Named(L"g9", 9));
    ASSERT_NE(list.ParentGroupOf(list[0]), nullptr);
    EXPECT_EQ(GetText(list.ParentGroupOf(list[0])->label), L"g9");
    EXPECT_EQ(list.ParentGroupOf(list[1]), nullptr) << "groups do not nest";
}
