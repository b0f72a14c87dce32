// Under a bare X server no window manager runs, yet Wine hands captioned windows to one and
// waits up to 2 s for it whenever such a window closes; every job dialog would cost that.
// Before the first window exists, this executable asks Wine (through its per-program
// settings) to keep its windows to itself. Windows itself ignores the key.
#include <windows.h>

#include <string>

namespace {

bool KeepWindowsUnmanaged()
{
    wchar_t module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring program(module, length);
    program = program.substr(program.find_last_of(L"\\/") + 1);
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + program + L"\\X11 Driver";
    const wchar_t value[] = L"N";
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Managed", REG_SZ, value, sizeof value) == ERROR_SUCCESS;
}

[[maybe_unused]] const bool unmanaged = KeepWindowsUnmanaged();

} // namespace
