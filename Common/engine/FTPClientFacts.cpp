// Facts about single remote files: SIZE, MDTM and MFMT (RFC 3659), REST STREAM, and the
// server's digest of a file (HASH, or the older XSHA256, XSHA1, XMD5 and XCRC).
#include <array>

#include "engine/FTPClient.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"

namespace nsFTP {

const wchar_t* const RESUME_NOT_OFFERED_TEXT =
    L"The server cannot continue a transfer where it stopped (it offers no REST STREAM).";

namespace {

constexpr std::int64_t SECONDS_PER_DAY = 86400;
constexpr std::int64_t SECONDS_PER_HOUR = 3600;
constexpr std::int64_t SECONDS_PER_MINUTE = 60;
constexpr std::size_t FACT_TIME_DIGITS = 14;
constexpr int MAX_YEAR = 9999;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month)
{
    static constexpr std::array<int, 12> DAYS{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : DAYS[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t Digits(std::wstring_view text)
{
    std::int64_t value = 0;
    for (wchar_t c : text)
        value = value * 10 + (c - L'0');
    return value;
}

// A decimal of at most 19 digits (it fits 64 bits then) without sign or blanks.
std::optional<std::uint64_t> ParseCount(std::wstring_view text)
{
    constexpr std::size_t MAX_DIGITS = 19;
    if (text.empty() || text.size() > MAX_DIGITS) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return value;
}

// Exactly length hex digits, in lower case.
std::optional<std::string> ParseHex(std::wstring_view text, std::size_t length)
{
    if (text.size() != length) return std::nullopt;
    std::string hex;
    hex.reserve(length);
    for (wchar_t c : text) {
        if (IsDigit(c) || (c >= L'a' && c <= L'f'))
            hex.push_back(static_cast<char>(c));
        else if (c >= L'A' && c <= L'F')
            hex.push_back(static_cast<char>(c - L'A' + L'a'));
        else
            return std::nullopt;
    }
    return hex;
}

std::wstring UnclearReply(const std::wstring& command, std::wstring_view value)
{
    const std::wstring name = command.substr(0, command.find(L' '));
    return L"The server's answer to " + name + L" cannot be understood: \"" + std::wstring(value) + L"\".";
}

// The algorithms of HASH's parameters ("SHA-256*;SHA-1;MD5"), the selected one marked.
struct OfferedAlgorithms {
    bool offered[4] = {};
    std::optional<HashAlgorithm> selected;
};

OfferedAlgorithms ParseHashParameters(std::wstring_view parameters)
{
    OfferedAlgorithms result;
    while (!parameters.empty()) {
        const std::size_t end = parameters.find(L';');
        std::wstring_view name = parameters.substr(0, end);
        parameters = end == std::wstring_view::npos ? std::wstring_view() : parameters.substr(end + 1);
        const bool selected = !name.empty() && name.back() == L'*';
        if (selected) name.remove_suffix(1);
        const auto algorithm = HashAlgorithmFromName(name);
        if (!algorithm) continue;
        result.offered[static_cast<int>(*algorithm)] = true;
        if (selected) result.selected = algorithm;
    }
    return result;
}

constexpr HashAlgorithm PREFERENCE[] = {HashAlgorithm::Sha256, HashAlgorithm::Sha1, HashAlgorithm::Md5};

// The older single-algorithm commands, best first.
struct LegacyHashCommand {
    const wchar_t* name;
    HashAlgorithm algorithm;
};
constexpr LegacyHashCommand LEGACY_HASH_COMMANDS[] = {{L"XSHA256", HashAlgorithm::Sha256},
                                                      {L"XSHA1", HashAlgorithm::Sha1},
                                                      {L"XMD5", HashAlgorithm::Md5},
                                                      {L"XCRC", HashAlgorithm::Crc32}};

} // namespace

std::optional<std::int64_t> ParseFactTime(std::wstring_view text)
{
    if (text.size() < FACT_TIME_DIGITS) return std::nullopt;
    for (std::size_t i = 0; i < FACT_TIME_DIGITS; ++i)
        if (!IsDigit(text[i])) return std::nullopt;
    const std::wstring_view fraction = text.substr(FACT_TIME_DIGITS);
    if (!fraction.empty()) {
        if (fraction.size() < 2 || fraction[0] != L'.') return std::nullopt;
        for (wchar_t c : fraction.substr(1))
            if (!IsDigit(c)) return std::nullopt;
    }
    const std::int64_t year = Digits(text.substr(0, 4));
    const int month = static_cast<int>(Digits(text.substr(4, 2)));
    const int day = static_cast<int>(Digits(text.substr(6, 2)));
    const std::int64_t hour = Digits(text.substr(8, 2));
    const std::int64_t minute = Digits(text.substr(10, 2));
    const std::int64_t second = Digits(text.substr(12, 2));
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    return DaysFromCivil(year, month, day) * SECONDS_PER_DAY + hour * SECONDS_PER_HOUR + minute * SECONDS_PER_MINUTE +
           second;
}

std::wstring FactTimeText(std::int64_t utcSeconds)
{
    std::int64_t days = utcSeconds / SECONDS_PER_DAY;
    std::int64_t rest = utcSeconds % SECONDS_PER_DAY;
    if (rest < 0) {
        rest += SECONDS_PER_DAY;
        --days;
    }
    // civil_from_days, the inverse of DaysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1) year = 1;
    if (year > MAX_YEAR) year = MAX_YEAR;
    wchar_t text[FACT_TIME_DIGITS + 1];
    swprintf(text, FACT_TIME_DIGITS + 1, L"%04d%02d%02d%02d%02d%02d", static_cast<int>(year), static_cast<int>(month),
             static_cast<int>(day), static_cast<int>(rest / SECONDS_PER_HOUR),
             static_cast<int>(rest % SECONDS_PER_HOUR / SECONDS_PER_MINUTE),
             static_cast<int>(rest % SECONDS_PER_MINUTE));
    return text;
}

int CFTPClient::FactReply(const std::wstring& command, std::wstring& value, std::wstring& failure, bool accept250)
{
    failure.clear();
    value.clear();
    ServerReply reply;
    if (!SendCommand(command, true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (reply.code[0] == L'4' || reply.code[0] == L'5') {
        failure = reply.text;
        return REPLY_REFUSED;
    }
    // "213 value", on the last line of a reply whose earlier lines tell of progress (a
    // digest of a large file takes a while); another code leaves nothing to trust.
    const std::size_t lineBreak = reply.text.rfind(L'\n');
    const std::wstring_view last =
        std::wstring_view(reply.text).substr(lineBreak == std::wstring::npos ? 0 : lineBreak + 1);
    const bool expected = reply.Code() == L"213" || (accept250 && reply.Code() == L"250");
    if (!expected || last.size() < 5 || last.substr(0, 3) != reply.Code() || last[3] != L' ') {
        failure = UnclearReply(command, reply.text);
        return REPLY_OTHER;
    }
    value = last.substr(4);
    return REPLY_OK;
}

int CFTPClient::FileSize(const std::wstring& path, std::uint64_t& size, std::wstring& failure)
{
    failure.clear();
    if (HoldsLineBreak(path, true) ||
        !SelectRepresentation(RepresentationType{RepresentationType::IMAGE, RepresentationType::NON_PRINT}))
        return REPLY_OTHER;
    std::wstring value;
    const int result = FactReply(L"SIZE " + path, value, failure);
    if (result != REPLY_OK) return result;
    const auto parsed = ParseCount(value);
    if (!parsed || *parsed == SIZE_UNKNOWN) {
        failure = UnclearReply(L"SIZE", value);
        return REPLY_OTHER;
    }
    size = *parsed;
    return REPLY_OK;
}

int CFTPClient::FileModified(const std::wstring& path, std::int64_t& utcSeconds, std::wstring& failure)
{
    failure.clear();
    if (HoldsLineBreak(path, true)) return REPLY_OTHER;
    std::wstring value;
    const int result = FactReply(L"MDTM " + path, value, failure);
    if (result != REPLY_OK) return result;
    const auto parsed = ParseFactTime(value);
    if (!parsed) {
        failure = UnclearReply(L"MDTM", value);
        return REPLY_OTHER;
    }
    utcSeconds = *parsed;
    return REPLY_OK;
}

int CFTPClient::SetFileModified(const std::wstring& path, std::int64_t utcSeconds, std::wstring& failure)
{
    failure.clear();
    if (!CanSetModified()) return REPLY_REFUSED;
    if (HoldsLineBreak(path, true)) return REPLY_OTHER;
    // The reply ("213 Modify=...; path") says what was set; its form varies, and the
    // code is all that is needed.
    ServerReply reply;
    if (!SendCommand(L"MFMT " + FactTimeText(utcSeconds) + L" " + path, true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (reply.Result() != REPLY_OK) failure = reply.text;
    return reply.Result();
}

bool CFTPClient::CanResume() const
{
    const std::wstring parameters = features.Parameters(L"REST");
    if (!features.Has(L"REST") || parameters.size() != 6) return false;
    static constexpr std::wstring_view STREAM = L"STREAM";
    for (std::size_t i = 0; i < STREAM.size(); ++i)
        if ((parameters[i] & ~0x20) != STREAM[i]) return false;
    return true;
}

std::optional<HashAlgorithm> CFTPClient::OfferedHash() const
{
    if (features.Has(L"HASH")) {
        const OfferedAlgorithms offered = ParseHashParameters(features.Parameters(L"HASH"));
        for (HashAlgorithm algorithm : PREFERENCE)
            if (offered.offered[static_cast<int>(algorithm)]) return algorithm;
    }
    for (const LegacyHashCommand& command : LEGACY_HASH_COMMANDS)
        if (features.Has(command.name)) return command.algorithm;
    return std::nullopt;
}

int CFTPClient::FileHash(const std::wstring& path, RemoteHash& hash, std::wstring& failure)
{
    failure.clear();
    const auto algorithm = OfferedHash();
    if (!algorithm) return REPLY_REFUSED;
    if (HoldsLineBreak(path, true)) return REPLY_OTHER;
    std::wstring value;
    const OfferedAlgorithms offered = ParseHashParameters(features.Parameters(L"HASH"));
    if (features.Has(L"HASH") && offered.offered[static_cast<int>(*algorithm)]) {
        // HASH answers with the selected algorithm; OPTS selects another.
        if (offered.selected != algorithm) {
            ServerReply reply;
            if (!SendCommand(std::wstring(L"OPTS HASH ") + HashAlgorithmName(*algorithm), true) ||
                !ReadReply(reply, true)) {
                if (!reply.text.empty()) ReportError(reply.text);
                return REPLY_OTHER;
            }
            if (reply.Result() != REPLY_OK) {
                failure = reply.text;
                return reply.Result();
            }
        }
        const int result = FactReply(L"HASH " + path, value, failure);
        if (result != REPLY_OK) return result;
        // "<algorithm> <start>-<end> <hex> <path>": the whole file, by the algorithm asked.
        const std::size_t first = value.find(L' ');
        const std::size_t second = first == std::wstring::npos ? first : value.find(L' ', first + 1);
        const std::size_t third = second == std::wstring::npos ? second : value.find(L' ', second + 1);
        if (third == std::wstring::npos ||
            HashAlgorithmFromName(std::wstring_view(value).substr(0, first)) != algorithm) {
            failure = UnclearReply(L"HASH", value);
            return REPLY_OTHER;
        }
        const std::wstring_view range = std::wstring_view(value).substr(first + 1, second - first - 1);
        const std::size_t dash = range.find(L'-');
        auto hex = ParseHex(std::wstring_view(value).substr(second + 1, third - second - 1), HashHexLength(*algorithm));
        if (dash == std::wstring_view::npos || range.substr(0, dash) != L"0" || !ParseCount(range.substr(dash + 1)) ||
            !hex) {
            failure = UnclearReply(L"HASH", value);
            return REPLY_OTHER;
        }
        hash = RemoteHash{*algorithm, std::move(*hex)};
        return REPLY_OK;
    }
    for (const LegacyHashCommand& command : LEGACY_HASH_COMMANDS) {
        if (command.algorithm != *algorithm || !features.Has(command.name)) continue;
        const int result = FactReply(std::wstring(command.name) + L" " + path, value, failure, true);
        if (result != REPLY_OK) return result;
        // The digest, then the path on some servers.
        const std::wstring_view digest = std::wstring_view(value).substr(0, value.find(L' '));
        auto hex = ParseHex(digest, HashHexLength(*algorithm));
        if (!hex) {
            failure = UnclearReply(command.name, value);
            return REPLY_OTHER;
        }
        hash = RemoteHash{*algorithm, std::move(*hex)};
        return REPLY_OK;
    }
    return REPLY_REFUSED;
}

} // namespace nsFTP
