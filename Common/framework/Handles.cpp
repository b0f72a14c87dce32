#include "Handles.h"

namespace fw {

GlobalLockGuard::GlobalLockGuard(HGLOBAL memory) noexcept
    : memory_(memory), data_(memory ? ::GlobalLock(memory) : nullptr)
{
}

GlobalLockGuard::~GlobalLockGuard()
{
    if (data_) ::GlobalUnlock(memory_);
}

SIZE_T GlobalLockGuard::Size() const noexcept { return data_ ? ::GlobalSize(memory_) : 0; }

OleInitializer::OleInitializer() noexcept : result_(::OleInitialize(nullptr)) {}

OleInitializer::~OleInitializer()
{
    if (SUCCEEDED(result_)) ::OleUninitialize();
}

ComInitializer::ComInitializer(DWORD model) noexcept : result_(::CoInitializeEx(nullptr, model)) {}

ComInitializer::~ComInitializer()
{
    if (SUCCEEDED(result_)) ::CoUninitialize();
}

RegistryKey RegistryKey::Create(HKEY root, const std::wstring& subKey, REGSAM access)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return RegistryKey();
    }
    return RegistryKey(key);
}

RegistryKey RegistryKey::Open(HKEY root, const std::wstring& subKey, REGSAM access)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegistryKey();
    return RegistryKey(key);
}

bool RegistryKey::DeleteTree(HKEY root, const std::wstring& subKey)
{
    LSTATUS status = ::RegDeleteTreeW(root, subKey.c_str());
    if (status != ERROR_SUCCESS) return false;
    // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
    status = ::RegDeleteKeyW(root, subKey.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RegistryKey::ReadBinary(const std::wstring& name, void* buffer, DWORD size, DWORD* bytesRead) const
{
    if (!IsOpen()) return false;
    DWORD length = size;
    if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, nullptr, static_cast<BYTE*>(buffer), &length) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (bytesRead) *bytesRead = length;
    return true;
}

bool RegistryKey::ReadBinary(const std::wstring& name, std::vector<BYTE>& data) const
{
    if (!IsOpen()) return false;
    DWORD length = 0;
    if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, nullptr, nullptr, &length) != ERROR_SUCCESS) {
        return false;
    }
    data.resize(length);
    if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, nullptr, data.data(), &length) != ERROR_SUCCESS) {
        data.clear();
        return false;
    }
    data.resize(length);
    return true;
}

bool RegistryKey::ReadDword(const std::wstring& name, DWORD& value) const
{
    if (!IsOpen()) return false;
    DWORD type = 0;
    DWORD read = 0;
    DWORD length = sizeof(read);
    if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&read), &length) !=
            ERROR_SUCCESS ||
        length != sizeof(read)) {
        return false;
    }
    value = read;
    return true;
}

bool RegistryKey::WriteBinary(const std::wstring& name, const void* data, DWORD size)
{
    return IsOpen() && ::RegSetValueExW(key_.Get(), name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data),
                                        size) == ERROR_SUCCESS;
}

bool RegistryKey::WriteDword(const std::wstring& name, DWORD value)
{
    return IsOpen() && ::RegSetValueExW(key_.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                        sizeof(value)) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::wstring& name)
{
    return IsOpen() && ::RegDeleteValueW(key_.Get(), name.c_str()) == ERROR_SUCCESS;
}

bool RegistryKey::EnumValue(DWORD index, std::wstring& name, std::vector<BYTE>* data, DWORD* type) const
{
    if (!IsOpen()) return false;
    DWORD maxName = 0;
    DWORD maxData = 0;
    if (::RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                           &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring nameBuffer(maxName + 1, L'\0');
    std::vector<BYTE> dataBuffer(maxData);
    DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
    DWORD dataLength = maxData;
    DWORD valueType = 0;
    if (::RegEnumValueW(key_.Get(), index, nameBuffer.data(), &nameLength, nullptr, &valueType,
                        data ? dataBuffer.data() : nullptr, data ? &dataLength : nullptr) != ERROR_SUCCESS) {
        return false;
    }
    nameBuffer.resize(nameLength);
    name = std::move(nameBuffer);
    if (data) {
        dataBuffer.resize(dataLength);
        *data = std::move(dataBuffer);
    }
    if (type) *type = valueType;
    return true;
}

} // namespace fw
