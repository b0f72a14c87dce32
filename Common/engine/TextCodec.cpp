#include "engine/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace nsFTP {
namespace {

constexpr char32_t kEscapeBase = 0xDC00; // a byte b that is not UTF-8 becomes U+DC00 + b
constexpr char32_t kEscapeFirst = 0xDC80;
constexpr char32_t kEscapeLast = 0xDCFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kLastBmp = 0xFFFF;
constexpr char kUnencodable = '?';

void AppendCodePoint(char32_t cp, std::wstring& out)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Length of the valid UTF-8 sequence starting at bytes[0], 0 when it is invalid, or -1
// when the bytes present are a valid but incomplete start.
int SequenceLength(const unsigned char* bytes, std::size_t available)
{
    const unsigned char lead = bytes[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F; // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= available) return -1;
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (bytes[i] < lo || bytes[i] > hi) return 0;
    }
    return length;
}

void AppendUtf8(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

// What the platform's converter says about a code page, asked once per process: every byte and byte
// pair is decoded, and kept only when its character encodes back to the same bytes, which is what lets
// an escape stand for everything else.
struct CodePageTable {
    static constexpr char16_t kNone = 0;               // no byte 0x80-0xFF decodes to U+0000
    std::array<char16_t, 256> single{};                // the character of a byte 0x80-0xFF alone
    std::array<bool, 256> lead{};                      // a byte that starts two-byte characters
    std::vector<char16_t> pairs;                       // lead * 256 + trail, for two-byte code pages
    std::unordered_map<char16_t, std::uint16_t> bytes; // a character's byte, or lead * 256 + trail
};

namespace {

constexpr int kByteValues = 256;
constexpr int kFirstNonAscii = 0x80;

#ifdef _WIN32
class PlatformConverter {
public:
    explicit PlatformConverter(std::uint32_t codePage) : codePage(codePage) {}
    bool Usable() const { return IsValidCodePage(codePage) != 0; }
    // The single UTF-16 unit the bytes make, or kNone.
    char16_t Decode(const char* bytes, int count) const
    {
        wchar_t out[2];
        const int made = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, out, 2);
        return made == 1 ? static_cast<char16_t>(out[0]) : CodePageTable::kNone;
    }
    // The number of bytes written to out; 0 when the character has none of its own.
    int Encode(char16_t character, char (&out)[2]) const
    {
        const wchar_t in = static_cast<wchar_t>(character);
        BOOL substituted = FALSE;
        const int made = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &in, 1, out, 2, nullptr, &substituted);
        return substituted ? 0 : made;
    }

private:
    UINT codePage;
};
#else
class PlatformConverter {
public:
    explicit PlatformConverter(std::uint32_t codePage)
    {
        const std::string name = "CP" + std::to_string(codePage);
        toUtf16 = iconv_open("UTF-16LE", name.c_str());
        fromUtf16 = iconv_open(name.c_str(), "UTF-16LE");
    }
    PlatformConverter(const PlatformConverter&) = delete;
    PlatformConverter& operator=(const PlatformConverter&) = delete;
    ~PlatformConverter()
    {
        if (toUtf16 != kNoConverter) iconv_close(toUtf16);
        if (fromUtf16 != kNoConverter) iconv_close(fromUtf16);
    }
    bool Usable() const { return toUtf16 != kNoConverter && fromUtf16 != kNoConverter; }
    char16_t Decode(const char* bytes, int count) const
    {
        char out[4];
        const std::size_t made = Convert(toUtf16, bytes, static_cast<std::size_t>(count), out, sizeof out);
        if (made != 2) return CodePageTable::kNone;
        return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
    }
    int Encode(char16_t character, char (&out)[2]) const
    {
        const char in[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
        return static_cast<int>(Convert(fromUtf16, in, sizeof in, out, sizeof out));
    }

private:
    // The bytes written; 0 when iconv refuses any part of the input.
    static std::size_t Convert(iconv_t converter, const char* in, std::size_t inSize, char* out, std::size_t outSize)
    {
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        char* input = const_cast<char*>(in);
        char* output = out;
        std::size_t outLeft = outSize;
        if (iconv(converter, &input, &inSize, &output, &outLeft) == static_cast<std::size_t>(-1) || inSize != 0)
            return 0;
        return outSize - outLeft;
    }

    static inline const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
    iconv_t toUtf16 = kNoConverter;
    iconv_t fromUtf16 = kNoConverter;
};
#endif

// Windows gives C1 controls for the bytes its single-byte code pages leave undefined, and the private
// use area for the rows two-byte code pages leave to vendors, where iconv calls both undefined. Neither
// is a character a name means, so both platforms escape them alike.
bool IsKept(char16_t character)
{
    constexpr char16_t kC1Last = 0x9F;
    constexpr char16_t kPrivateUseFirst = 0xE000;
    constexpr char16_t kPrivateUseLast = 0xF8FF;
    return character > kC1Last && !(character >= kSurrogateFirst && character <= kSurrogateLast) &&
           !(character >= kPrivateUseFirst && character <= kPrivateUseLast);
}

std::unique_ptr<CodePageTable> BuildTable(std::uint32_t codePage)
{
    auto table = std::make_unique<CodePageTable>();
    const PlatformConverter converter(codePage);
    // Without the platform's conversion every byte beyond ASCII is escaped: names still round-trip.
    if (!converter.Usable()) return table;
    const auto keep = [&](const char* bytes, int count) {
        const char16_t character = converter.Decode(bytes, count);
        char back[2];
        if (!IsKept(character) || converter.Encode(character, back) != count ||
            std::memcmp(back, bytes, static_cast<std::size_t>(count)) != 0)
            return CodePageTable::kNone;
        const auto packed = static_cast<std::uint16_t>(count == 1 ? static_cast<unsigned char>(bytes[0])
                                                                  : static_cast<unsigned char>(bytes[0]) << 8 |
                                                                        static_cast<unsigned char>(bytes[1]));
        table->bytes.emplace(character, packed);
        return character;
    };
    for (int b = kFirstNonAscii; b < kByteValues; ++b) {
        const char one = static_cast<char>(b);
        table->single[b] = keep(&one, 1);
        if (table->single[b] != CodePageTable::kNone) continue;
        for (int trail = 0; trail < kByteValues; ++trail) {
            const char two[2] = {one, static_cast<char>(trail)};
            const char16_t character = keep(two, 2);
            if (character == CodePageTable::kNone) continue;
            if (table->pairs.empty()) table->pairs.resize(kByteValues * kByteValues, CodePageTable::kNone);
            table->pairs[b * kByteValues + trail] = character;
            table->lead[b] = true;
        }
    }
    return table;
}

template <std::uint32_t CodePage> const CodePageTable* CachedTable()
{
    static const std::unique_ptr<CodePageTable> table = BuildTable(CodePage);
    return table.get();
}

const CodePageTable* TableFor(std::uint32_t codePage)
{
    switch (codePage) {
    case CODE_PAGE_WESTERN: return CachedTable<CODE_PAGE_WESTERN>();
    case CODE_PAGE_CYRILLIC: return CachedTable<CODE_PAGE_CYRILLIC>();
    case CODE_PAGE_CENTRAL_EUROPEAN: return CachedTable<CODE_PAGE_CENTRAL_EUROPEAN>();
    case CODE_PAGE_JAPANESE: return CachedTable<CODE_PAGE_JAPANESE>();
    case CODE_PAGE_CHINESE_SIMPLIFIED: return CachedTable<CODE_PAGE_CHINESE_SIMPLIFIED>();
    default: return nullptr;
    }
}

// Widens the ASCII run at data[i], nearly all of any listing, in one step; the index after it.
std::size_t AppendAsciiRun(const unsigned char* data, std::size_t i, std::size_t size, std::wstring& out)
{
    std::size_t run = i;
    while (run < size && data[run] < 0x80)
        ++run;
    if (run > i) {
        const std::size_t start = out.size();
        out.resize(start + (run - i));
        std::copy(data + i, data + run, out.begin() + static_cast<std::ptrdiff_t>(start));
    }
    return run;
}

std::size_t AppendCodePageToWide(const CodePageTable& table, std::string_view bytes, std::wstring& out,
                                 bool moreMayFollow)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        const std::size_t run = AppendAsciiRun(data, i, size, out);
        if (run > i) {
            i = run;
            continue;
        }
        const unsigned char b = data[i];
        if (table.single[b] != CodePageTable::kNone) {
            out.push_back(static_cast<wchar_t>(table.single[b]));
            ++i;
            continue;
        }
        if (table.lead[b]) {
            if (i + 1 == size && moreMayFollow) break;
            const char16_t character = i + 1 < size ? table.pairs[b * kByteValues + data[i + 1]] : CodePageTable::kNone;
            if (character != CodePageTable::kNone) {
                out.push_back(static_cast<wchar_t>(character));
                i += 2;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(kEscapeBase + b));
        ++i;
    }
    return i;
}

void AppendWideToCodePage(const CodePageTable& table, std::wstring_view text, std::string& out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::make_unsigned_t<wchar_t>>(text[i]);
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (unit >= kEscapeFirst && unit <= kEscapeLast) {
            out.push_back(static_cast<char>(unit - kEscapeBase));
        } else if (const auto found = static_cast<char32_t>(unit) <= kLastBmp
                                          ? table.bytes.find(static_cast<char16_t>(unit))
                                          : table.bytes.end();
                   found != table.bytes.end()) {
            if (found->second > 0xFF) out.push_back(static_cast<char>(found->second >> 8));
            out.push_back(static_cast<char>(found->second & 0xFF));
        } else {
            // A character beyond the code page is one '?', even when it takes a surrogate pair.
            if constexpr (sizeof(wchar_t) == 2) {
                if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                    static_cast<char16_t>(text[i + 1]) >= 0xDC00 && static_cast<char16_t>(text[i + 1]) <= 0xDFFF)
                    ++i;
            }
            out.push_back(kUnencodable);
        }
    }
}

} // namespace

TextCodec::TextCodec(std::uint32_t codePage) : table(TableFor(codePage)) {}

std::string TextCodec::Encode(std::wstring_view text) const
{
    std::string out;
    out.reserve(text.size());
    AppendEncoded(text, out);
    return out;
}

void TextCodec::AppendEncoded(std::wstring_view text, std::string& out) const
{
    if (table == nullptr)
        AppendWideToWire(text, out);
    else
        AppendWideToCodePage(*table, text, out);
}

std::wstring TextCodec::Decode(std::string_view bytes) const
{
    std::wstring out;
    out.reserve(bytes.size());
    AppendDecoded(bytes, out, false);
    return out;
}

std::size_t TextCodec::AppendDecoded(std::string_view bytes, std::wstring& out, bool moreMayFollow) const
{
    if (table == nullptr) return AppendWireToWide(bytes, out, moreMayFollow);
    return AppendCodePageToWide(*table, bytes, out, moreMayFollow);
}

std::size_t AppendWireToWide(std::string_view bytes, std::wstring& out, bool moreMayFollow)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        const std::size_t run = AppendAsciiRun(data, i, size, out);
        if (run > i) {
            i = run;
            continue;
        }
        const unsigned char b = data[i];
        const int length = SequenceLength(data + i, size - i);
        if (length < 0 && moreMayFollow) break;
        if (length <= 0) {
            out.push_back(static_cast<wchar_t>(kEscapeBase + b));
            ++i;
            continue;
        }
        char32_t cp = b & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k)
            cp = (cp << 6) | (data[i + k] & 0x3F);
        AppendCodePoint(cp, out);
        i += static_cast<std::size_t>(length);
    }
    return i;
}

std::wstring WireToWide(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    AppendWireToWide(bytes, out, false);
    return out;
}

std::string WideToWire(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendWideToWire(text, out);
    return out;
}

void AppendWideToWire(std::wstring_view text, std::string& out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t run = i;
        while (run < text.size() && static_cast<std::make_unsigned_t<wchar_t>>(text[run]) < 0x80)
            ++run;
        if (run > i) {
            const std::size_t start = out.size();
            out.resize(start + (run - i));
            std::copy(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(run),
                      out.begin() + static_cast<std::ptrdiff_t>(start));
            i = run - 1;
            continue;
        }
        char32_t cp = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const char32_t next = static_cast<char16_t>(text[i + 1]);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    AppendUtf8(0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00), out);
                    ++i;
                    continue;
                }
            }
        }
        if (cp >= kEscapeFirst && cp <= kEscapeLast) {
            out.push_back(static_cast<char>(cp - kEscapeBase));
        } else if ((cp >= kSurrogateFirst && cp <= kSurrogateLast) || cp > kMaxCodePoint) {
            out.push_back(kUnencodable);
        } else {
            AppendUtf8(cp, out);
        }
    }
}

} // namespace nsFTP
