#include "engine/TextCodec.h"

#include <algorithm>
#include <cstdint>

namespace nsFTP {
namespace {

constexpr char32_t kEscapeBase = 0xDC00; // a byte b that is not UTF-8 becomes U+DC00 + b
constexpr char32_t kEscapeFirst = 0xDC80;
constexpr char32_t kEscapeLast = 0xDCFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
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

std::size_t AppendWireToWide(std::string_view bytes, std::wstring& out, bool moreMayFollow)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        // Runs of ASCII, nearly all of any listing, are widened in one step.
        std::size_t run = i;
        while (run < size && data[run] < 0x80)
            ++run;
        if (run > i) {
            const std::size_t start = out.size();
            out.resize(start + (run - i));
            std::copy(data + i, data + run, out.begin() + static_cast<std::ptrdiff_t>(start));
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
