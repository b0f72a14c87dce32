#include "sites/SiteRecord.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "engine/FTPDataTypes.h"
#include "engine/TextCodec.h"
#include "engine/TlsEngine.h"

namespace {

constexpr char32_t FIRST_SUPPLEMENTARY = 0x10000;
constexpr char32_t LAST_CODE_POINT = 0x10FFFF;
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr char16_t HIGH_SURROGATE_FIRST = 0xD800;
constexpr char16_t HIGH_SURROGATE_LAST = 0xDBFF;
constexpr char16_t LOW_SURROGATE_FIRST = 0xDC00;
constexpr char16_t LOW_SURROGATE_LAST = 0xDFFF;
constexpr unsigned SURROGATE_SHIFT = 10;
constexpr char32_t SURROGATE_MASK = 0x3FF;

bool IsHighSurrogate(char16_t unit) { return unit >= HIGH_SURROGATE_FIRST && unit <= HIGH_SURROGATE_LAST; }
bool IsLowSurrogate(char16_t unit) { return unit >= LOW_SURROGATE_FIRST && unit <= LOW_SURROGATE_LAST; }

// wchar_t is UTF-16 on Windows and UTF-32 natively. Lone surrogates (the wire codec's
// stand-ins for undecodable bytes) pass through unchanged in both directions.
std::u16string ToUtf16(std::wstring_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t c : text) {
        auto point = static_cast<char32_t>(c);
        if (point < FIRST_SUPPLEMENTARY) {
            units.push_back(static_cast<char16_t>(point));
        } else if (point <= LAST_CODE_POINT) {
            point -= FIRST_SUPPLEMENTARY;
            units.push_back(static_cast<char16_t>(HIGH_SURROGATE_FIRST + (point >> SURROGATE_SHIFT)));
            units.push_back(static_cast<char16_t>(LOW_SURROGATE_FIRST + (point & SURROGATE_MASK)));
        } else {
            units.push_back(static_cast<char16_t>(REPLACEMENT_CHARACTER));
        }
    }
    return units;
}

std::wstring FromUtf16(std::u16string_view units)
{
    std::wstring text;
    text.reserve(units.size());
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        for (char16_t unit : units)
            text.push_back(static_cast<wchar_t>(unit));
    } else {
        for (std::size_t i = 0; i < units.size(); ++i) {
            char16_t unit = units[i];
            if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
                char32_t point = FIRST_SUPPLEMENTARY +
                                 ((static_cast<char32_t>(unit - HIGH_SURROGATE_FIRST)) << SURROGATE_SHIFT) +
                                 (units[i + 1] - LOW_SURROGATE_FIRST);
                text.push_back(static_cast<wchar_t>(point));
                ++i;
            } else {
                text.push_back(static_cast<wchar_t>(unit));
            }
        }
    }
    return text;
}

std::u16string_view FieldView(const SiteText& field)
{
    const char16_t* end = std::find(std::begin(field), std::end(field), u'\0');
    return std::u16string_view(field, static_cast<std::size_t>(end - field));
}

// What a text array can hold of the text: up to the first zero, at most the array's
// limit, and never the first half of a surrogate pair without its second half.
std::u16string FitUnits(std::wstring_view text)
{
    std::u16string units = ToUtf16(text);
    units.resize(std::min(units.find(u'\0'), units.size()));
    if (units.size() > SITE_TEXT_MAX_UNITS) {
        std::size_t keep = SITE_TEXT_MAX_UNITS;
        if (IsHighSurrogate(units[keep - 1]) && IsLowSurrogate(units[keep])) --keep;
        units.resize(keep);
    }
    return units;
}

int CompareFolded(std::u16string_view a, std::u16string_view b)
{
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        char16_t left = FoldLabelUnit(a[i]);
        char16_t right = FoldLabelUnit(b[i]);
        if (left != right) return left < right ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Upper-case folding tables: ranges whose lower-case letters sit a fixed distance above
// their capitals, and ranges where capital and small letter alternate.
struct OffsetRange {
    char16_t first;
    char16_t last;
    char16_t distance;
};
constexpr OffsetRange OFFSET_RANGES[] = {
    {u'a', u'z', 0x20},     // a-z
    {0x00E0, 0x00F6, 0x20}, // à-ö
    {0x00F8, 0x00FE, 0x20}, // ø-þ
    {0x03B1, 0x03C1, 0x20}, // Greek α-ρ
    {0x03C3, 0x03C9, 0x20}, // Greek σ-ω
    {0x0430, 0x044F, 0x20}, // Cyrillic а-я
    {0x0450, 0x045F, 0x50}, // Cyrillic ѐ-џ
};
// In each range the capital comes first; capitalOdd tells whether capitals have odd codes.
struct AlternatingRange {
    char16_t first;
    char16_t last;
    bool capitalOdd;
};
constexpr AlternatingRange ALTERNATING_RANGES[] = {
    {0x0100, 0x012F, false}, // Ā-į
    {0x0132, 0x0137, false}, // Ĳ-ķ
    {0x0139, 0x0148, true},  // Ĺ-ň
    {0x014A, 0x0177, false}, // Ŋ-ŷ
    {0x0179, 0x017E, true},  // Ź-ž
};
constexpr char16_t SMALL_Y_DIAERESIS = 0x00FF;
constexpr char16_t CAPITAL_Y_DIAERESIS = 0x0178;
constexpr char16_t GREEK_FINAL_SIGMA = 0x03C2;
constexpr char16_t GREEK_CAPITAL_SIGMA = 0x03A3;

} // namespace

void InitSiteRecord(SiteRecord& record)
{
    std::memset(&record, 0, sizeof record);
    record.port = DEFAULT_SITE_PORT;
    record.passive = 1;
    record.anonymous = 0;
    record.timeout = DEFAULT_SITE_TIMEOUT_SECONDS;
    record.keepAlive = 1;
    record.groupId = NO_GROUP;
    record.parentId = NO_GROUP;
    record.reserved3 = 0;
    record.firewallPort = DEFAULT_FIREWALL_PORT;
    record.firewallType = FIREWALL_TYPE_NONE;
    SetSiteEncryption(record, SiteEncryption::RequireExplicit);
}

namespace {

bool HasTlsFields(const SiteRecord& site)
{
    return std::memcmp(site.tlsMarker, SITE_TLS_MARKER, sizeof site.tlsMarker) == 0;
}

void AdoptTlsFields(SiteRecord& site)
{
    if (HasTlsFields(site)) return;
    std::memcpy(site.tlsMarker, SITE_TLS_MARKER, sizeof site.tlsMarker);
    site.encryption = static_cast<std::uint8_t>(SiteEncryption::IfAvailable);
    site.allowPlain = 0;
    site.passwordProtected = 0;
    site.reserved1a = 0;
    std::memset(site.trustedCertificate, 0, sizeof site.trustedCertificate);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

SiteEncryption GetSiteEncryption(const SiteRecord& site)
{
    if (!HasTlsFields(site)) return SiteEncryption::IfAvailable;
    if (site.encryption > static_cast<std::uint8_t>(SiteEncryption::PlainOnly)) return SiteEncryption::RequireExplicit;
    return static_cast<SiteEncryption>(site.encryption);
}

bool AllowsPlainFtp(const SiteRecord& site) { return HasTlsFields(site) && site.allowPlain != 0; }

bool HasProtectedPassword(const SiteRecord& site) { return HasTlsFields(site) && site.passwordProtected != 0; }

std::string TrustedCertificate(const SiteRecord& site)
{
    if (!HasTlsFields(site)) return {};
    const bool any = std::any_of(std::begin(site.trustedCertificate), std::end(site.trustedCertificate),
                                 [](std::uint8_t byte) { return byte != 0; });
    return any ? nsSocket::LowerHex(site.trustedCertificate, sizeof site.trustedCertificate) : std::string();
}

void SetSiteEncryption(SiteRecord& site, SiteEncryption encryption)
{
    AdoptTlsFields(site);
    site.encryption = static_cast<std::uint8_t>(encryption);
}

void SetAllowsPlainFtp(SiteRecord& site, bool allow)
{
    AdoptTlsFields(site);
    site.allowPlain = allow ? 1 : 0;
}

void SetHasProtectedPassword(SiteRecord& site, bool isProtected)
{
    AdoptTlsFields(site);
    site.passwordProtected = isProtected ? 1 : 0;
}

bool SetTrustedCertificate(SiteRecord& site, std::string_view sha256Hex)
{
    std::uint8_t bytes[CERTIFICATE_HASH_BYTES] = {};
    if (!sha256Hex.empty()) {
        if (sha256Hex.size() != 2 * CERTIFICATE_HASH_BYTES) return false;
        for (std::size_t i = 0; i < CERTIFICATE_HASH_BYTES; ++i) {
            const int high = HexDigit(sha256Hex[2 * i]), low = HexDigit(sha256Hex[2 * i + 1]);
            if (high < 0 || low < 0) return false;
            bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        }
    }
    AdoptTlsFields(site);
    std::memcpy(site.trustedCertificate, bytes, sizeof bytes);
    return true;
}

namespace {

bool HasProtocolFields(const SiteRecord& site)
{
    return std::memcmp(site.protocolMarker, SITE_PROTOCOL_MARKER, sizeof site.protocolMarker) == 0;
}

void AdoptProtocolFields(SiteRecord& site)
{
    if (HasProtocolFields(site)) return;
    std::memcpy(site.protocolMarker, SITE_PROTOCOL_MARKER, sizeof site.protocolMarker);
    site.codePage = nsFTP::CODE_PAGE_AUTO;
    site.listOnly = 0;
    std::memset(site.reserved1b, 0, sizeof site.reserved1b);
}

bool IsOfferedCodePage(std::uint32_t codePage)
{
    return codePage == nsFTP::CODE_PAGE_AUTO || codePage == nsFTP::CODE_PAGE_UTF8 ||
           std::find(std::begin(nsFTP::CODE_PAGES), std::end(nsFTP::CODE_PAGES), codePage) !=
               std::end(nsFTP::CODE_PAGES);
}

} // namespace

std::uint32_t GetSiteCodePage(const SiteRecord& site)
{
    if (!HasProtocolFields(site) || !IsOfferedCodePage(site.codePage)) return nsFTP::CODE_PAGE_AUTO;
    return site.codePage;
}

bool PrefersMlsd(const SiteRecord& site) { return !HasProtocolFields(site) || site.listOnly == 0; }

void SetSiteCodePage(SiteRecord& site, std::uint32_t codePage)
{
    AdoptProtocolFields(site);
    site.codePage = IsOfferedCodePage(codePage) ? codePage : nsFTP::CODE_PAGE_AUTO;
}

void SetPrefersMlsd(SiteRecord& site, bool prefer)
{
    AdoptProtocolFields(site);
    site.listOnly = prefer ? 0 : 1;
}

SiteRecord DefaultSiteRecord()
{
    SiteRecord record;
    InitSiteRecord(record);
    return record;
}

std::uint32_t SiteTimeoutSeconds(const SiteRecord& site)
{
    return std::clamp(site.timeout, MIN_SITE_TIMEOUT_SECONDS, MAX_SITE_TIMEOUT_SECONDS);
}

std::wstring GetText(const SiteText& field) { return FromUtf16(FieldView(field)); }

void SetText(SiteText& field, std::wstring_view text)
{
    std::u16string units = FitUnits(text);
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy(units.begin(), units.end(), field);
}

std::wstring FitSiteText(std::wstring_view text) { return FromUtf16(FitUnits(text)); }

char16_t FoldLabelUnit(char16_t unit)
{
    for (const OffsetRange& range : OFFSET_RANGES) {
        if (unit >= range.first && unit <= range.last) return static_cast<char16_t>(unit - range.distance);
    }
    for (const AlternatingRange& range : ALTERNATING_RANGES) {
        if (unit >= range.first && unit <= range.last) {
            bool odd = (unit & 1) != 0;
            return odd == range.capitalOdd ? unit : static_cast<char16_t>(unit - 1);
        }
    }
    if (unit == SMALL_Y_DIAERESIS) return CAPITAL_Y_DIAERESIS;
    if (unit == GREEK_FINAL_SIGMA) return GREEK_CAPITAL_SIGMA;
    return unit;
}

bool LabelsEqual(std::wstring_view a, std::wstring_view b) { return CompareLabels(a, b) == 0; }

int CompareLabels(std::wstring_view a, std::wstring_view b) { return CompareFolded(ToUtf16(a), ToUtf16(b)); }

void ScrambleSiteBytes(std::span<std::uint8_t> bytes)
{
    for (std::uint8_t& byte : bytes)
        byte ^= SITE_SCRAMBLE_KEY;
}

SiteRecordBytes EncodeSiteRecord(const SiteRecord& record)
{
    SiteRecordBytes bytes;
    std::memcpy(bytes.data(), &record, SITE_RECORD_SIZE);
    ScrambleSiteBytes(bytes);
    return bytes;
}

std::optional<SiteRecord> DecodeSiteRecord(std::span<const std::uint8_t> stored)
{
    if (stored.size() > SITE_RECORD_SIZE) return std::nullopt;
    SiteRecord record = DefaultSiteRecord();
    std::span<std::uint8_t> head(reinterpret_cast<std::uint8_t*>(&record), stored.size());
    std::copy(stored.begin(), stored.end(), head.begin());
    ScrambleSiteBytes(head);
    return record;
}

std::size_t SiteList::Append(const SiteRecord& record)
{
    records_.push_back(record);
    return records_.size() - 1;
}

void SiteList::RemoveAt(std::size_t index)
{
    if (index < records_.size()) records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
}

int SiteList::IndexOf(std::wstring_view label) const
{
    std::u16string wanted = FitUnits(label);
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (CompareFolded(FieldView(records_[i].label), wanted) == 0) return static_cast<int>(i);
    }
    return -1;
}

SiteRecord* SiteList::FindSite(std::wstring_view label)
{
    int index = IndexOf(label);
    return index < 0 ? nullptr : &records_[static_cast<std::size_t>(index)];
}

const SiteRecord* SiteList::FindSite(std::wstring_view label) const
{
    int index = IndexOf(label);
    return index < 0 ? nullptr : &records_[static_cast<std::size_t>(index)];
}

bool SiteList::RemoveFirst(std::wstring_view label)
{
    int index = IndexOf(label);
    if (index < 0) return false;
    RemoveAt(static_cast<std::size_t>(index));
    return true;
}

std::int32_t SiteList::NextGroupId() const
{
    // Starting from NO_GROUP makes an empty list give 0 and keeps a corrupt negative id
    // from producing NO_GROUP itself.
    std::int32_t highest = NO_GROUP;
    for (const SiteRecord& record : records_) {
        if (IsGroup(record)) highest = std::max(highest, record.groupId);
    }
    if (highest < std::numeric_limits<std::int32_t>::max()) return highest + 1;
    // Only a damaged value can hold the largest id; then the lowest free one is unique.
    std::int32_t candidate = 0;
    while (FindGroup(candidate) != nullptr)
        ++candidate;
    return candidate;
}

const SiteRecord* SiteList::FindGroup(std::int32_t groupId) const
{
    if (groupId == NO_GROUP) return nullptr;
    for (const SiteRecord& record : records_) {
        if (IsGroup(record) && record.groupId == groupId) return &record;
    }
    return nullptr;
}

const SiteRecord* SiteList::ParentGroupOf(const SiteRecord& record) const
{
    return IsGroup(record) ? nullptr : FindGroup(record.parentId);
}
