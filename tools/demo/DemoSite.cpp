// demosite: puts the demo server's site into the Site Manager's store of the current user,
// as the Site Manager itself would store it, without touching any other site.
//   demosite port LABEL
//       prints the port of the site with that label; status 3 when there is none
//   demosite add LABEL HOST PORT USER PASSWORD [--trust SHA256] [--replace]
//       adds the site when no site has that label (labels compare without regard to case)
//       and prints "added PORT"; otherwise leaves it as it is and prints "kept PORT" with
//       the port it has. The site requires explicit FTP over TLS; --trust names the
//       server's certificate (64 hex digits), which the site then trusts always.
//       --replace writes the site afresh instead (for a prefix of the demo's own, where
//       no site is the user's).
// Status 2: usage error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "sites/SiteStore.h"

namespace {

constexpr int USAGE_ERROR = 2;
constexpr int NO_SUCH_SITE = 3;
constexpr int FAILED = 1;
constexpr int MAX_PORT = 65535;

int Usage()
{
    std::fputs("usage: demosite port LABEL | demosite add LABEL HOST PORT USER PASSWORD [--trust SHA256] [--replace]\n",
               stderr);
    return USAGE_ERROR;
}

bool ParsePort(const wchar_t* text, std::int32_t& port)
{
    wchar_t* end = nullptr;
    const long value = std::wcstol(text, &end, 10);
    if (end == text || *end != L'\0' || value < 1 || value > MAX_PORT) return false;
    port = static_cast<std::int32_t>(value);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return Usage();
    const std::wstring command = argv[1];
    const std::wstring label = argv[2];
    SiteList sites;
    LoadSites(sites);
    const SiteRecord* existing = sites.FindSite(label);

    if (command == L"port" && argc == 3) {
        if (existing == nullptr) return NO_SUCH_SITE;
        std::printf("%d\n", static_cast<int>(existing->port));
        return 0;
    }
    if (command != L"add" || argc < 7) return Usage();
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, label);
    SetText(site.host, argv[3]);
    if (!ParsePort(argv[4], site.port)) return Usage();
    SetText(site.user, argv[5]);
    SetText(site.password, argv[6]);
    bool replace = false;
    for (int i = 7; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--replace") {
            replace = true;
        } else if (option == L"--trust" && i + 1 < argc) {
            std::string hex;
            for (const wchar_t* c = argv[++i]; *c != L'\0'; ++c)
                hex += *c < 0x80 ? static_cast<char>(*c) : '?';
            if (hex.empty() || !SetTrustedCertificate(site, hex)) return Usage();
        } else {
            return Usage();
        }
    }

    if (existing != nullptr && !replace) {
        std::printf("kept %d\n", static_cast<int>(existing->port));
        return 0;
    }
    if (existing != nullptr) RemoveSite(sites, GetText(existing->label), true);
    if (AddSite(sites, site) < 0) return FAILED;
    // Read back, so that a store that could not be written is not reported as done.
    LoadSites(sites);
    const SiteRecord* stored = sites.FindSite(label);
    if (stored == nullptr || stored->port != site.port) {
        std::fputs("demosite: the site could not be stored\n", stderr);
        return FAILED;
    }
    std::printf("added %d\n", static_cast<int>(site.port));
    return 0;
}
