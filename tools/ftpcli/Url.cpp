#include "Url.h"

#include <charconv>

namespace ftpcli {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool PercentDecode(std::string_view text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

bool ParseFtpUrl(std::string_view text, FtpUrl& url, std::string& error)
{
    url = FtpUrl{};
    constexpr std::string_view plainScheme = "ftp://";
    constexpr std::string_view implicitScheme = "ftps://";
    constexpr std::uint16_t implicitTlsPort = 990;
    std::string_view rest;
    if (text.substr(0, plainScheme.size()) == plainScheme) {
        rest = text.substr(plainScheme.size());
    } else if (text.substr(0, implicitScheme.size()) == implicitScheme) {
        rest = text.substr(implicitScheme.size());
        url.implicitTls = true;
        url.port = implicitTlsPort;
    } else {
        error = "not an ftp:// or ftps:// URL: " + std::string(text);
        return false;
    }
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

    // The password may hold '@' only escaped, but be lenient: the last '@' ends the account.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view account = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const std::size_t colon = account.find(':');
        if (!PercentDecode(account.substr(0, colon), url.user) ||
            (colon != std::string_view::npos && !PercentDecode(account.substr(colon + 1), url.password))) {
            error = "bad percent escape in the account of " + std::string(text);
            return false;
        }
        if (url.user.empty()) url.user = "anonymous";
    }

    // An IPv6 address is written in brackets ("[::1]:2121"), which the engine takes as they are.
    const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') : 0;
    if (hostEnd == std::string_view::npos) {
        error = "no closing bracket in " + std::string(text);
        return false;
    }
    const std::size_t colon = authority.find(':', hostEnd);
    std::string_view host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
        const std::string_view portText = authority.substr(colon + 1);
        unsigned value = 0;
        const auto [end, failure] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (failure != std::errc() || end != portText.data() + portText.size() || value == 0 || value > 65535) {
            error = "bad port in " + std::string(text);
            return false;
        }
        url.port = static_cast<std::uint16_t>(value);
    }
    if (host.empty()) {
        error = "no host in " + std::string(text);
        return false;
    }
    url.host.assign(host);
    if (!PercentDecode(path, url.path)) {
        error = "bad percent escape in the path of " + std::string(text);
        return false;
    }
    return true;
}

std::string BaseName(std::string_view path)
{
#ifdef _WIN32
    const std::size_t cut = path.find_last_of("/\\");
#else
    const std::size_t cut = path.rfind('/');
#endif
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace ftpcli
