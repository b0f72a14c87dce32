#include "shell/TempDirectory.h"

#include <windows.h>

#include <vector>

#include "framework/Handles.h"

const wchar_t* const SETTINGS_KEY = L"Software\\FTPClient\\Settings";
const wchar_t* const TEMP_DIRECTORY_VALUE = L"Tep";

namespace {

constexpr DWORD STORED_TEXT_BYTES = 8192;
constexpr DWORD SYSTEM_PATH_CAPACITY = 4096;

std::wstring SystemTempDirectory()
{
    std::vector<wchar_t> buffer(SYSTEM_PATH_CAPACITY + 1, L'\0');
    DWORD length = GetTempPathW(SYSTEM_PATH_CAPACITY, buffer.data());
    if (length == 0 || length > SYSTEM_PATH_CAPACITY) return {};
    return std::wstring(buffer.data(), length);
}

} // namespace

std::wstring GetTempDirectory()
{
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (key.IsOpen()) {
        // Zero-filled with room for a terminator beyond what is read, since the stored
        // length is odd and need not include a whole terminator.
        std::vector<wchar_t> buffer(STORED_TEXT_BYTES / sizeof(wchar_t) + 1, L'\0');
        if (key.ReadBinary(TEMP_DIRECTORY_VALUE, buffer.data(), STORED_TEXT_BYTES) && buffer[0] != L'\0')
            return buffer.data();
    }
    return SystemTempDirectory();
}

void SetTempDirectoryValue(const std::wstring& directory)
{
    fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (!key.IsOpen()) return;
    std::wstring terminated = directory + L'\0';
    key.WriteBinary(TEMP_DIRECTORY_VALUE, terminated.c_str(),
                    static_cast<DWORD>(directory.size() * sizeof(wchar_t) + 1));
}
