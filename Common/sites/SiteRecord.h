#pragma once
// One site or group as it is kept in memory and stored in the registry: a fixed record of
// 1792 bytes, copied byte for byte, with its texts as fixed arrays of 96 UTF-16 units.
// Stored form: the record's bytes, each XORed with 0xE4, as one REG_BINARY value named
// after the record's label. The same record and scrambling serve both programs.
//
// The connection's encryption, the certificate trusted for the site and the plain-FTP
// answer live in the first reserved range, which older copies write back as read. They
// count only behind SITE_TLS_MARKER: a record without it (one an older copy made) loads as
// "if available", with nothing trusted or allowed, whatever those bytes hold.
//
// The character set and the listing command live behind SITE_PROTOCOL_MARKER in the same
// range: a record without it loads as Auto with MLSD where offered.
//
// Portable: compiles for Windows and natively, so the codec can be tested under the
// sanitizers. Nothing here touches the registry.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

constexpr std::size_t SITE_RECORD_SIZE = 1792;
constexpr std::size_t SITE_TEXT_UNITS = 96;
// One unit of every text array is kept for the terminating zero.
constexpr std::size_t SITE_TEXT_MAX_UNITS = SITE_TEXT_UNITS - 1;
constexpr std::uint8_t SITE_SCRAMBLE_KEY = 0xE4;

// groupId of a site, and parentId of a site outside any group (and of every group).
constexpr std::int32_t NO_GROUP = -1;

constexpr std::int32_t DEFAULT_SITE_PORT = 21;
constexpr std::uint32_t DEFAULT_SITE_TIMEOUT_SECONDS = 60;
// The timeouts a site may have. Every wait of a connection is bounded by it: 0 would fail
// each one at once, and a day would let a silent server hold the program.
constexpr std::uint32_t MIN_SITE_TIMEOUT_SECONDS = 1;
constexpr std::uint32_t MAX_SITE_TIMEOUT_SECONDS = 3600;
constexpr std::uint16_t DEFAULT_FIREWALL_PORT = 21;
constexpr std::int32_t FIREWALL_TYPE_NONE = 0;
constexpr std::int32_t IMPLICIT_TLS_PORT = 990;

// The site's "Encryption" as stored (the values are the stored bytes).
enum class SiteEncryption : std::uint8_t {
    IfAvailable = 0,     // explicit FTP over TLS if the server has it; records of older copies
    RequireExplicit = 1, // the default for new sites
    RequireImplicit = 2,
    PlainOnly = 3,
};
inline constexpr std::uint8_t SITE_TLS_MARKER[4] = {'T', 'L', 'S', '1'};
constexpr std::size_t CERTIFICATE_HASH_BYTES = 32; // SHA-256
inline constexpr std::uint8_t SITE_PROTOCOL_MARKER[4] = {'P', 'R', 'O', '1'};

using SiteText = char16_t[SITE_TEXT_UNITS];

// Field order, sizes and the reserved gaps are those of the stored record; integers are
// little-endian as stored because the record is copied whole on a little-endian machine.
struct SiteRecord {
    SiteText label; // also the registry value name; unique without regard to case
    SiteText host;
    std::int32_t port;     // only the low 16 bits are used when connecting
    std::uint32_t passive; // flag
    SiteText user;
    SiteText password;              // in clear inside the record
    std::uint32_t anonymous;        // flag; user and password are then ignored
    std::uint8_t tlsMarker[4];      // SITE_TLS_MARKER when the four fields below are ours
    std::uint8_t encryption;        // SiteEncryption
    std::uint8_t allowPlain;        // flag: "Always allow plain FTP for this site"
    std::uint8_t passwordProtected; // flag: the password is kept in a protected value
    std::uint8_t reserved1a;
    std::uint8_t trustedCertificate[CERTIFICATE_HASH_BYTES]; // SHA-256 trusted always; zeros: none
    std::uint8_t protocolMarker[4];                          // SITE_PROTOCOL_MARKER when the two fields below are ours
    std::uint32_t codePage;                                  // LogonSettings::codePage
    std::uint8_t listOnly;                                   // flag: LIST even where the server offers MLSD
    std::uint8_t reserved1b[3];
    std::uint8_t reserved1[156]; // written back as read
    std::uint32_t timeout;       // seconds
    SiteText directory;          // start directory on the server
    std::uint32_t keepAlive;     // flag
    std::uint8_t reserved2[4];
    std::int32_t groupId;  // NO_GROUP for a site; 0 or more for a group
    std::int32_t parentId; // a site's group, or NO_GROUP; groups keep NO_GROUP
    std::int32_t reserved3;
    SiteText firewallHost;
    SiteText firewallUser;
    SiteText firewallPassword;
    std::uint16_t firewallPort;
    std::uint8_t reserved4[2];
    std::int32_t firewallType; // FIREWALL_TYPE_NONE, or a firewall logon type of the engine
    std::uint8_t reserved5[4];
};

static_assert(std::endian::native == std::endian::little, "the record is stored as the machine holds it");
static_assert(std::is_trivially_copyable_v<SiteRecord> && std::is_standard_layout_v<SiteRecord>);
static_assert(sizeof(SiteRecord) == SITE_RECORD_SIZE);
static_assert(offsetof(SiteRecord, label) == 0);
static_assert(offsetof(SiteRecord, host) == 192);
static_assert(offsetof(SiteRecord, port) == 384);
static_assert(offsetof(SiteRecord, passive) == 388);
static_assert(offsetof(SiteRecord, user) == 392);
static_assert(offsetof(SiteRecord, password) == 584);
static_assert(offsetof(SiteRecord, anonymous) == 776);
static_assert(offsetof(SiteRecord, tlsMarker) == 780);
static_assert(offsetof(SiteRecord, encryption) == 784);
static_assert(offsetof(SiteRecord, trustedCertificate) == 788);
static_assert(offsetof(SiteRecord, protocolMarker) == 820);
static_assert(offsetof(SiteRecord, codePage) == 824);
static_assert(offsetof(SiteRecord, listOnly) == 828);
static_assert(offsetof(SiteRecord, reserved1) == 832);
static_assert(offsetof(SiteRecord, timeout) == 988);
static_assert(offsetof(SiteRecord, directory) == 992);
static_assert(offsetof(SiteRecord, keepAlive) == 1184);
static_assert(offsetof(SiteRecord, reserved2) == 1188);
static_assert(offsetof(SiteRecord, groupId) == 1192);
static_assert(offsetof(SiteRecord, parentId) == 1196);
static_assert(offsetof(SiteRecord, reserved3) == 1200);
static_assert(offsetof(SiteRecord, firewallHost) == 1204);
static_assert(offsetof(SiteRecord, firewallUser) == 1396);
static_assert(offsetof(SiteRecord, firewallPassword) == 1588);
static_assert(offsetof(SiteRecord, firewallPort) == 1780);
static_assert(offsetof(SiteRecord, reserved4) == 1782);
static_assert(offsetof(SiteRecord, firewallType) == 1784);
static_assert(offsetof(SiteRecord, reserved5) == 1788);

// Zero-fills the whole record, then sets the defaults (port 21, passive, timeout 60,
// keep-alive, a site outside any group, firewall port 21, no firewall, explicit FTP over TLS
// required). SiteRecord{} is the all-zero record instead.
void InitSiteRecord(SiteRecord& record);
SiteRecord DefaultSiteRecord();

// The site's timeout brought into [MIN_SITE_TIMEOUT_SECONDS, MAX_SITE_TIMEOUT_SECONDS]; a
// stored record may hold any value.
std::uint32_t SiteTimeoutSeconds(const SiteRecord& site);

// The TLS fields, read as SITE_TLS_MARKER says (see the top of this file). A stored
// encryption this program does not know reads as "Require explicit".
SiteEncryption GetSiteEncryption(const SiteRecord& site);
bool AllowsPlainFtp(const SiteRecord& site);
bool HasProtectedPassword(const SiteRecord& site);
// The trusted certificate's SHA-256 as lower-case hex, or empty.
std::string TrustedCertificate(const SiteRecord& site);
// Each setter first makes the fields ours (marker set, the others as an older record reads).
void SetSiteEncryption(SiteRecord& site, SiteEncryption encryption);
void SetAllowsPlainFtp(SiteRecord& site, bool allow);
void SetHasProtectedPassword(SiteRecord& site, bool isProtected);
// sha256Hex: 64 hex digits, or empty for none. Anything else is refused (false).
bool SetTrustedCertificate(SiteRecord& site, std::string_view sha256Hex);

// The character set and the listing command, read as SITE_PROTOCOL_MARKER says. A stored code
// page this program does not offer reads as Auto.
std::uint32_t GetSiteCodePage(const SiteRecord& site);
bool PrefersMlsd(const SiteRecord& site);
// Each setter first makes both fields ours. A code page that is not offered is stored as Auto.
void SetSiteCodePage(SiteRecord& site, std::uint32_t codePage);
void SetPrefersMlsd(SiteRecord& site, bool prefer);

// The text up to the terminating zero (or the whole array when a stored record lacks one).
std::wstring GetText(const SiteText& field);
// Stores at most SITE_TEXT_MAX_UNITS UTF-16 units of text, never splitting a surrogate
// pair and stopping at an embedded zero, and zeroes the rest of the array.
void SetText(SiteText& field, std::wstring_view text);
// The text as SetText would store it.
std::wstring FitSiteText(std::wstring_view text);

// Labels compare per UTF-16 unit after upper-case folding of ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic, the way registry value names compare. The folding
// is our own table, so both builds behave the same whatever the C library's locale.
char16_t FoldLabelUnit(char16_t unit);
bool LabelsEqual(std::wstring_view a, std::wstring_view b);
// Negative, zero or positive, for sorting labels without regard to case.
int CompareLabels(std::wstring_view a, std::wstring_view b);

inline bool IsGroup(const SiteRecord& record) { return record.groupId != NO_GROUP; }

// XOR with SITE_SCRAMBLE_KEY; the same call scrambles and unscrambles.
void ScrambleSiteBytes(std::span<std::uint8_t> bytes);

using SiteRecordBytes = std::array<std::uint8_t, SITE_RECORD_SIZE>;
// The record's 1792 bytes, scrambled, as they are written to the registry.
SiteRecordBytes EncodeSiteRecord(const SiteRecord& record);
// A record from a stored value: nothing when the value is longer than a record; otherwise
// the unscrambled bytes over a record with the defaults, so a short value keeps the
// defaults in its missing tail.
std::optional<SiteRecord> DecodeSiteRecord(std::span<const std::uint8_t> stored);

// The sites and groups in order: the registry's enumeration order, then records appended
// in this run. Records are held by value; a pointer or reference into the list is valid
// only until the list next changes.
class SiteList {
public:
    std::size_t Size() const noexcept { return records_.size(); }
    bool Empty() const noexcept { return records_.empty(); }
    SiteRecord& operator[](std::size_t index) { return records_[index]; }
    const SiteRecord& operator[](std::size_t index) const { return records_[index]; }
    auto begin() noexcept { return records_.begin(); }
    auto end() noexcept { return records_.end(); }
    auto begin() const noexcept { return records_.begin(); }
    auto end() const noexcept { return records_.end(); }

    void Clear() noexcept { records_.clear(); }
    // Returns the new record's position.
    std::size_t Append(const SiteRecord& record);
    // Later records move down by one.
    void RemoveAt(std::size_t index);

    // Labels are matched as a record would hold them (FitSiteText) and without regard to
    // case; the first match wins. -1 or nullptr when there is none.
    int IndexOf(std::wstring_view label) const;
    SiteRecord* FindSite(std::wstring_view label);
    const SiteRecord* FindSite(std::wstring_view label) const;
    // Removes the first record with the label, keeping the order of the others.
    bool RemoveFirst(std::wstring_view label);

    // One more than the highest groupId among the groups, or 0 when there is none. Ids
    // live only in the records, so the id of a deleted highest group is handed out again.
    std::int32_t NextGroupId() const;
    // The first group with this id; nullptr for NO_GROUP or an id that no group has.
    const SiteRecord* FindGroup(std::int32_t groupId) const;
    // The group a site is listed under, or nullptr for a site at the top level (also when
    // its parentId names no group) and for a group.
    const SiteRecord* ParentGroupOf(const SiteRecord& record) const;

private:
    std::vector<SiteRecord> records_;
};
