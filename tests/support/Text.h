#pragma once
// Text conversions the tests share.
#include <string>
#include <string_view>

namespace testsupport {

// Widens ASCII text unit by unit (test names, paths and replies are ASCII).
inline std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

} // namespace testsupport
