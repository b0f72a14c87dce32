#pragma once
// What a server says it can do, from its reply to FEAT (RFC 2389): one feature per line,
// each line starting with a space, the name before the first space and its parameters
// after it. Names compare without regard to case; a server that refuses FEAT offers none.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nsFTP {

class ServerFeatures {
public:
    // The features of a FEAT reply (its whole text, lines joined by CR LF); none unless the
    // reply is a 211.
    static ServerFeatures Parse(std::wstring_view replyText);

    bool Has(std::wstring_view name) const { return Find(name) != nullptr; }
    // The text after the name ("SHA-256*;SHA-1;MD5" for HASH); empty when absent.
    std::wstring Parameters(std::wstring_view name) const;
    bool Empty() const { return features.empty(); }

private:
    const std::pair<std::wstring, std::wstring>* Find(std::wstring_view name) const;

    // Upper-case name and its parameters as sent.
    std::vector<std::pair<std::wstring, std::wstring>> features;
};

} // namespace nsFTP
