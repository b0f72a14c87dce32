#ifdef _WIN32
#include "WineHost.h"

#include "Text.h"
#include "Wait.h"

namespace testsupport {

namespace {

using UnixFileNameFunction = char*(CDECL*)(LPCWSTR);
// Wine's name for a drive's entry in the prefix's device folder, as in ".../dosdevices/c:/".
const char* const DRIVE_C_SUFFIX = "c:/";

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

std::optional<std::string> UnixPathOf(const std::wstring& windowsPath)
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto convert = reinterpret_cast<UnixFileNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (convert == nullptr) return std::nullopt;
    char* unixPath = convert(windowsPath.c_str());
    if (unixPath == nullptr) return std::nullopt;
    std::string path = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return path;
}

bool StartHostProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    if (!UnixPathOf(L"C:\\")) return false;
    std::string commandLine = Quoted(program);
    for (const std::string& argument : arguments)
        commandLine += " " + Quoted(argument);
    std::wstring wideCommand = Wide(commandLine);
    // Wine starts a Linux program given by its path on drive Z:, the host's root.
    std::wstring image = L"Z:" + Wide(program);
    for (wchar_t& unit : image)
        if (unit == L'/') unit = L'\\';
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(image.c_str(), wideCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    return true;
}

HostSymlink::HostSymlink(const std::wstring& target, const std::wstring& link) : link(link)
{
    const std::optional<std::string> unixLink = UnixPathOf(link);
    const bool relative = target.find_first_of(L"\\:") == std::wstring::npos;
    const std::optional<std::string> unixTarget =
        relative ? std::optional<std::string>(std::string(target.begin(), target.end())) : UnixPathOf(target);
    if (unixLink && unixTarget && StartHostProgram("/bin/ln", {"-s", *unixTarget, *unixLink}) &&
        PollUntil([&] { return Exists(link); }))
        linkPath = *unixLink;
}

HostSymlink::~HostSymlink()
{
    if (linkPath.empty() || !StartHostProgram("/bin/rm", {"-f", linkPath})) return;
    PollUntil([this] { return !Exists(link); });
}

HostDrive::HostDrive(const std::wstring& directory)
{
    const std::optional<std::string> driveC = UnixPathOf(L"C:\\");
    const std::optional<std::string> target = UnixPathOf(directory);
    if (!driveC || !target || driveC->size() < std::char_traits<char>::length(DRIVE_C_SUFFIX)) return;
    const std::string devices = driveC->substr(0, driveC->size() - std::char_traits<char>::length(DRIVE_C_SUFFIX));
    const DWORD used = GetLogicalDrives();
    for (wchar_t candidate = L'Q'; candidate <= L'Y'; ++candidate) {
        if ((used & (1u << (candidate - L'A'))) != 0) continue;
        const std::string link = devices + static_cast<char>(candidate - L'A' + 'a') + ":";
        const std::wstring root = std::wstring(1, candidate) + L":\\";
        if (!StartHostProgram("/bin/ln", {"-s", *target, link}) || !PollUntil([&] { return Exists(root); })) return;
        letter = candidate;
        linkPath = link;
        return;
    }
}

HostDrive::~HostDrive()
{
    if (linkPath.empty() || !StartHostProgram("/bin/rm", {"-f", linkPath})) return;
    PollUntil([this] { return !Exists(Root()); });
}

} // namespace testsupport
#endif
