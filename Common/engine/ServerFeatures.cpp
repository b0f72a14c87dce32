#include "engine/ServerFeatures.h"

namespace nsFTP {

namespace {

// Feature names are ASCII; other characters are left as they are.
wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameName(std::wstring_view upper, std::wstring_view name)
{
    if (upper.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (upper[i] != UpperAscii(name[i])) return false;
    return true;
}

} // namespace

ServerFeatures ServerFeatures::Parse(std::wstring_view replyText)
{
    ServerFeatures parsed;
    if (replyText.substr(0, 3) != L"211") return parsed;
    std::size_t start = 0;
    while (start < replyText.size()) {
        std::size_t end = replyText.find(L"\r\n", start);
        if (end == std::wstring_view::npos) end = replyText.size();
        std::wstring_view line = replyText.substr(start, end - start);
        start = end + 2;
        // The first and last lines carry the reply code; features are the lines between,
        // marked by their leading space.
        if (line.empty() || line[0] != L' ') continue;
        line.remove_prefix(1);
        const std::size_t space = line.find(L' ');
        const std::wstring_view name = line.substr(0, space);
        if (name.empty()) continue;
        std::wstring upper;
        upper.reserve(name.size());
        for (wchar_t c : name)
            upper.push_back(UpperAscii(c));
        std::wstring parameters(space == std::wstring_view::npos ? std::wstring_view() : line.substr(space + 1));
        if (parsed.Find(upper) == nullptr) parsed.features.emplace_back(std::move(upper), std::move(parameters));
    }
    return parsed;
}

const std::pair<std::wstring, std::wstring>* ServerFeatures::Find(std::wstring_view name) const
{
    for (const auto& feature : features)
        if (SameName(feature.first, name)) return &feature;
    return nullptr;
}

std::wstring ServerFeatures::Parameters(std::wstring_view name) const
{
    const auto* feature = Find(name);
    return feature ? feature->second : std::wstring();
}

} // namespace nsFTP
