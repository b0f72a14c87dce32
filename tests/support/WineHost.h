#pragma once
// What a Windows test under Wine can do on the Linux side: name a file by its Unix path and
// run a Linux program, for example to make a symbolic link as a user of the host would.
// Outside Wine there is no host: each call then fails.
#ifdef _WIN32
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The Unix path of a Windows path; none outside Wine.
std::optional<std::string> UnixPathOf(const std::wstring& windowsPath);
// Starts a Linux program (its Unix path) with the arguments. Wine hands out no handle for
// a Linux process, so the caller waits for what the program does, not for its end.
bool StartHostProgram(const std::string& program, const std::vector<std::string>& arguments);
// A symbolic link made on the host (`ln -s target link`, both Windows paths, target also
// relative), for as long as the object lives. Wine can't remove a link to a directory
// itself, so the host removes it again.
class HostSymlink {
public:
    HostSymlink(const std::wstring& target, const std::wstring& link);
    ~HostSymlink();
    HostSymlink(const HostSymlink&) = delete;
    HostSymlink& operator=(const HostSymlink&) = delete;

    // True once the link is there.
    bool Made() const noexcept { return !linkPath.empty(); }

private:
    std::wstring link;
    std::string linkPath;
};

// A drive letter of the Wine prefix that shows a directory as its root, for as long as the
// object lives; Letter() is 0 when none could be made.
class HostDrive {
public:
    explicit HostDrive(const std::wstring& directory);
    ~HostDrive();
    HostDrive(const HostDrive&) = delete;
    HostDrive& operator=(const HostDrive&) = delete;

    wchar_t Letter() const noexcept { return letter; }
    std::wstring Root() const { return std::wstring(1, letter) + L":\\"; }

private:
    wchar_t letter = 0;
    std::string linkPath;
};

} // namespace testsupport
#endif
