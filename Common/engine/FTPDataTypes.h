#pragma once
// The value types that cross the engine's boundary.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/SmartPointer.h"
#include "engine/TextCodec.h"

namespace nsFTP {

constexpr std::uint16_t DEFAULT_FTP_PORT = 21;

// The firewall (proxy) logon sequences. The values are stored in site records and are the
// indices of the firewall dialog's Mode list, so they never change.
enum FirewallMode : std::int32_t {
    FIREWALL_NONE = 0,
    FIREWALL_SITE_HOSTNAME = 1,
    FIREWALL_USER_AFTER_LOGON = 2,
    FIREWALL_PROXY_OPEN = 3,
    FIREWALL_TRANSPARENT = 4,
    FIREWALL_USER_NO_LOGON = 5,
    FIREWALL_USER_FIREID_AT_HOST = 6,
    FIREWALL_USER_REMOTEID_AT_HOST_FIREID = 7,
    FIREWALL_USER_REMOTEID_AT_FIREID_AT_HOST = 8,
};
constexpr int FIREWALL_MODE_COUNT = 9;

// The labels of the Mode list, in value order.
extern const std::array<const wchar_t*, FIREWALL_MODE_COUNT> FirewallModeLabels;

// How a logon uses FTP over TLS (RFC 4217). The values are kept with the sites, so they
// never change. Explicit: AUTH TLS on the FTP port before the logon; implicit: TLS from the
// first byte (the port that speaks it is the site's to choose).
enum class TlsMode : std::int32_t {
    REQUIRE_EXPLICIT = 0,
    EXPLICIT_IF_AVAILABLE = 1,
    REQUIRE_IMPLICIT = 2,
    PLAIN_ONLY = 3,
};

struct LogonSettings {
    std::wstring host;
    std::uint16_t port = DEFAULT_FTP_PORT;
    std::wstring user = L"anonymous";
    std::wstring password;
    std::wstring account;
    std::wstring firewallHost;
    std::wstring firewallUser;
    std::wstring firewallPassword;
    std::uint16_t firewallPort = DEFAULT_FTP_PORT;
    FirewallMode firewallMode = FIREWALL_NONE;
    // What a site asks for is the site's business; a logon that names nothing speaks plain FTP.
    TlsMode tls = TlsMode::PLAIN_ONLY;
    // How names and replies are encoded: 0 is Auto (UTF-8, OPTS UTF8 ON when offered),
    // CODE_PAGE_UTF8 asks for UTF-8 in any case, anything else is a Windows code page.
    std::uint32_t codePage = 0;
    // Whether listings use MLSD when FEAT offers MLST; LIST otherwise.
    bool preferMlsd = true;
    // Passive mode asks EPSV first; false sends PASV at once on IPv4 (IPv6 needs EPSV).
    bool extendedPassive = true;
};
constexpr std::uint32_t CODE_PAGE_UTF8 = 65001;

// The target server as the logon commands name it: the host, with ":port" unless 21.
std::wstring TargetText(const LogonSettings& settings);

// The logon commands the step table refers to by number.
enum LogonCommand : std::int32_t {
    LOGON_USER = 0,                             // USER user
    LOGON_PASS = 1,                             // PASS password
    LOGON_ACCT = 2,                             // ACCT account
    LOGON_FIREWALL_USER = 3,                    // USER firewallUser
    LOGON_FIREWALL_PASS = 4,                    // PASS firewallPassword
    LOGON_SITE = 5,                             // SITE target
    LOGON_USER_AT_TARGET = 6,                   // USER user@target
    LOGON_OPEN = 7,                             // OPEN target
    LOGON_FIREWALL_USER_AT_TARGET = 8,          // USER firewallUser@target
    LOGON_USER_AT_TARGET_FIREWALL_USER = 9,     // USER user@target firewallUser
    LOGON_USER_AT_FIREWALL_USER_AT_TARGET = 10, // USER user@firewallUser@target
    LOGON_PASS_AT_FIREWALL_PASS = 11,           // PASS password@firewallPassword
};
constexpr int LOGON_COMMAND_COUNT = 12;

// The text of a logon command; empty for a number outside 0-11.
std::wstring LogonCommandText(int command, const LogonSettings& settings);

// One row per firewall mode: six steps of three numbers (command, next step on 2xx,
// next step on 3xx). Steps are addressed by the index of their first number; the walk
// starts at 0, -2 means logged on and -1 means the logon failed.
constexpr int LOGON_STEP_COUNT = 6;
constexpr int LOGON_STEP_WIDTH = 3;
constexpr int LOGON_ROW_LENGTH = LOGON_STEP_COUNT * LOGON_STEP_WIDTH;
constexpr int LOGON_STEP_LOGGED_ON = -2;
constexpr int LOGON_STEP_FAILED = -1;
extern const int LogonSteps[FIREWALL_MODE_COUNT][LOGON_ROW_LENGTH];

struct RepresentationType {
    enum DataType : std::int32_t { ASCII = 0, EBCDIC = 1, IMAGE = 2, LOCAL_BYTE = 3 };
    enum FormatControl : std::int32_t { NON_PRINT = 0, TELNET_FORMAT = 1, CARRIAGE_CONTROL = 2 };

    DataType dataType = ASCII;
    FormatControl formatControl = NON_PRINT;

    bool operator==(const RepresentationType&) const = default;
    std::wstring CommandText() const;
};

enum TransferCommand : std::int32_t {
    TRANSFER_LIST = 0,
    TRANSFER_NAME_LIST = 1,
    TRANSFER_RETRIEVE = 2,
    TRANSFER_STORE = 3,
    TRANSFER_STORE_UNIQUE = 4,
    TRANSFER_APPEND = 5,
    TRANSFER_MACHINE_LIST = 6, // MLSD
};
// The command line for a data-channel command; empty for an unknown kind.
std::wstring TransferCommandText(TransferCommand command, const std::wstring& path);
// Kinds 0-2 and 6 receive data from the server, 3-5 send data to it.
bool TransferReceivesData(TransferCommand command);

// The engine-wide reply result: 0 for 2xx, 1 for 4xx/5xx, -1 for anything else or when
// no reply could be had.
constexpr int REPLY_OK = 0;
constexpr int REPLY_REFUSED = 1;
constexpr int REPLY_OTHER = -1;

struct ServerReply {
    std::wstring text;
    std::array<wchar_t, 4> code{}; // three digits and a NUL; all zero without a valid code

    // A code is valid when the text has at least three characters, the first '1'-'5'
    // and the second '0'-'5'; the third is not checked.
    static bool IsValidCode(std::wstring_view text);
    // Takes the text and its code; returns whether the code was valid.
    bool Assign(std::wstring replyText);
    void Clear();
    bool HasCode() const { return code[0] != 0; }
    std::wstring_view Code() const { return HasCode() ? std::wstring_view(code.data(), 3) : std::wstring_view(); }
    int Result() const;
};

// Sizes are 64-bit so that files of 4 GiB and more list and move correctly.
constexpr std::uint64_t SIZE_UNKNOWN = ~std::uint64_t{0};

// One entry of a remote directory listing.
struct CFTPFileStatus {
    std::wstring name;
    std::wstring path;
    bool isDirectory = false;
    bool isRetrievable = false;
    std::int32_t sizeKnown = 0;
    std::uint64_t size = 0; // SIZE_UNKNOWN when the listing had no usable size
    std::int64_t modified = 0;
    // The listing gave modified as an instant (MLSD's UTC modify fact), not a calendar
    // time read in some zone.
    bool modifiedExact = false;
    std::wstring attributes;
    std::wstring owner;
    std::wstring group;
    std::wstring linkCount;
    std::int32_t hasId = 0;
    std::wstring id;

    // Back to a new entry's values; the texts keep their buffers, so that an entry reused
    // line by line allocates nothing once they are large enough.
    void Reset()
    {
        for (std::wstring* text : {&name, &path, &attributes, &owner, &group, &linkCount, &id})
            text->clear();
        isDirectory = false;
        isRetrievable = false;
        sizeKnown = 0;
        size = 0;
        modified = 0;
        modifiedExact = false;
        hasId = 0;
    }
};
using FileStatusPtr = nsSP::RCIPtr<CFTPFileStatus>;

// Hands data-channel bytes to their consumer and takes them from their producer.
class ITransferNotification {
public:
    // After every receive of a downloading command that returned at least one byte.
    virtual void OnBytesReceived(const unsigned char* buffer, std::int32_t count) = 0;
    // Before every send of an uploading command; place at most capacity bytes and set
    // count. A count of 0 ends the upload.
    virtual void OnPreBytesSend(unsigned char* buffer, std::size_t capacity, std::int32_t& count) = 0;

protected:
    ~ITransferNotification() = default;
};

// Collects a listing in memory and hands it out line by line.
class COutputStream final : public ITransferNotification {
public:
    explicit COutputStream(std::wstring separator, TextCodec codec = {}) : separator(std::move(separator)), codec(codec)
    {
    }

    void OnBytesReceived(const unsigned char* buffer, std::int32_t count) override;
    void OnPreBytesSend(unsigned char*, std::size_t, std::int32_t&) override {}

    // The next complete line (text before the next separator); text after the last
    // separator is never returned.
    bool GetNextLine(std::wstring& line);
    void SetStartPosition();
    const std::wstring& GetText();
    // Decodes what was held back for a character the next block would complete; at
    // the end of the data, those bytes are all there is.
    void DecodePendingBytes();
    // Forgets the lines already handed out, so that a listing read as it arrives keeps
    // only its unfinished last line.
    void DiscardReadText();

private:
    std::wstring separator;
    TextCodec codec;
    std::wstring text;
    std::size_t readPosition = 0;
    std::string pendingBytes; // the start of a character that the next receive completes
};

} // namespace nsFTP
