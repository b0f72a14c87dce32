#pragma once
// Conversion between the engine's wide strings and the bytes on the wire.
// The wire is UTF-8 unless a connection names a code page. A byte b that is not part of valid text
// (always 0x80-0xFF) becomes U+DC00 + b, one of U+DC80-U+DCFF (lone low surrogates that valid text never
// holds), and turns back into the same byte, so any name a server sends can be sent back byte for byte.
// ASCII maps to itself in every encoding offered.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nsFTP {

// The character sets a connection can use. The values are the Windows code page numbers and are kept
// with the sites, so they never change. Besides the code pages, LogonSettings::codePage may be
// CODE_PAGE_UTF8, or Auto: UTF-8, with OPTS UTF8 ON only when FEAT offers UTF8.
constexpr std::uint32_t CODE_PAGE_AUTO = 0;
constexpr std::uint32_t CODE_PAGE_WESTERN = 1252;
constexpr std::uint32_t CODE_PAGE_CYRILLIC = 1251;
constexpr std::uint32_t CODE_PAGE_CENTRAL_EUROPEAN = 1250;
constexpr std::uint32_t CODE_PAGE_JAPANESE = 932;
constexpr std::uint32_t CODE_PAGE_CHINESE_SIMPLIFIED = 936;
// The code pages offered, in the order a list shows them.
inline constexpr std::uint32_t CODE_PAGES[] = {CODE_PAGE_WESTERN, CODE_PAGE_CYRILLIC, CODE_PAGE_CENTRAL_EUROPEAN,
                                               CODE_PAGE_JAPANESE, CODE_PAGE_CHINESE_SIMPLIFIED};

// The UTF-8 conversions, for every text that is UTF-8 whatever the connection uses.
std::string WideToWire(std::wstring_view text);
void AppendWideToWire(std::wstring_view text, std::string& out);
std::wstring WireToWide(std::string_view bytes);

// Decodes bytes onto out. When more bytes may follow, an incomplete sequence at the end
// is left undecoded; the result is the number of bytes consumed.
std::size_t AppendWireToWide(std::string_view bytes, std::wstring& out, bool moreMayFollow);

struct CodePageTable;

// One connection's conversion: UTF-8, or one of the code pages above. A code page converts through
// the platform (MultiByteToWideChar and WideCharToMultiByte on Windows, iconv elsewhere). A byte
// sequence the code page doesn't define, or whose character would go back as other bytes, is
// escaped byte by byte as above. Copies are cheap and may be used from any thread.
class TextCodec {
public:
    TextCodec() = default; // UTF-8
    // Any number not listed above gives UTF-8.
    explicit TextCodec(std::uint32_t codePage);

    bool IsUtf8() const { return table == nullptr; }

    std::string Encode(std::wstring_view text) const;
    void AppendEncoded(std::wstring_view text, std::string& out) const;
    std::wstring Decode(std::string_view bytes) const;
    // As AppendWireToWide.
    std::size_t AppendDecoded(std::string_view bytes, std::wstring& out, bool moreMayFollow) const;

private:
    const CodePageTable* table = nullptr;
};

} // namespace nsFTP
