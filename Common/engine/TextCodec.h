#pragma once
// Conversion between the engine's wide strings and the bytes on the wire.
// The wire is UTF-8. A byte b that is not part of valid UTF-8 (always 0x80-0xFF) becomes
// U+DC00 + b, one of U+DC80-U+DCFF (lone low surrogates that valid text never holds), and turns back into the same
// byte, so any name a server sends can be sent back byte for byte. ASCII maps to itself.
#include <cstddef>
#include <string>
#include <string_view>

namespace nsFTP {

std::string WideToWire(std::wstring_view text);
void AppendWideToWire(std::wstring_view text, std::string& out);
std::wstring WireToWide(std::string_view bytes);

// Decodes bytes onto out. When more bytes may follow, an incomplete sequence at the end
// is left undecoded; the result is the number of bytes consumed.
std::size_t AppendWireToWide(std::string_view bytes, std::wstring& out, bool moreMayFollow);

} // namespace nsFTP
