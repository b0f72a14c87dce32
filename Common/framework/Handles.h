#pragma once
// Owning wrappers for every kind of handle the programs hold, so that no feature code
// closes a handle by hand. Each wrapper is move-only and closes on destruction.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

namespace fw {

// Traits name the handle type, its "no handle" value and how to close it.
template <typename Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Type Get() const noexcept { return handle_; }
    bool IsValid() const noexcept { return handle_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives up ownership without closing.
    Type Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    void Reset(Type handle = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // Closes the current handle and returns the slot for an API that fills it in.
    Type* Put() noexcept
    {
        Reset();
        return &handle_;
    }

private:
    Type handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
// Files use INVALID_HANDLE_VALUE, not null, for "no handle".
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyIcon(h); }
};
struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::ImageList_Destroy(h); }
};
template <typename T> struct GdiObjectTraits {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyMenu(h); }
};
struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::GlobalFree(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>; // events, threads, mutexes
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKeyHandle = UniqueHandle<RegKeyTraits>;
using IconHandle = UniqueHandle<IconTraits>;
using ImageListHandle = UniqueHandle<ImageListTraits>;
using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using BrushHandle = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using GdiObjectHandle = UniqueHandle<GdiObjectTraits<HGDIOBJ>>;
using MenuHandle = UniqueHandle<MenuTraits>;
using GlobalHandle = UniqueHandle<GlobalMemoryTraits>;

// Keeps an HGLOBAL locked while alive. Does not own the memory itself.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL memory) noexcept;
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard();

    void* Get() const noexcept { return data_; }
    template <typename T> T* As() const noexcept { return static_cast<T*>(data_); }
    SIZE_T Size() const noexcept;
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    HGLOBAL memory_;
    void* data_;
};

// A counted COM interface pointer.
template <typename T> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference of its own.
    explicit ComPtr(T* p) noexcept : p_(p)
    {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void Reset() noexcept
    {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Adopts a reference the caller already owns (no AddRef).
    void Attach(T* p) noexcept
    {
        Reset();
        p_ = p;
    }
    // Hands the reference to the caller (no Release).
    T* Detach() noexcept { return std::exchange(p_, nullptr); }
    // Releases the current pointer and returns the slot for an out parameter.
    T** Put() noexcept
    {
        Reset();
        return &p_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    template <typename U> HRESULT As(ComPtr<U>& out) const noexcept
    {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(__uuidof(U), out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

// OleInitialize for the calling thread (drag and drop and the clipboard need OLE, not
// just COM); uninitialises only if it succeeded.
class OleInitializer {
public:
    OleInitializer() noexcept;
    OleInitializer(const OleInitializer&) = delete;
    OleInitializer& operator=(const OleInitializer&) = delete;
    ~OleInitializer();
    HRESULT Result() const noexcept { return result_; }

private:
    HRESULT result_;
};

// CoInitializeEx for the calling thread.
class ComInitializer {
public:
    explicit ComInitializer(DWORD model = COINIT_APARTMENTTHREADED) noexcept;
    ComInitializer(const ComInitializer&) = delete;
    ComInitializer& operator=(const ComInitializer&) = delete;
    ~ComInitializer();
    HRESULT Result() const noexcept { return result_; }

private:
    HRESULT result_;
};

// An open registry key with the few reads and writes the programs need.
class RegistryKey {
public:
    RegistryKey() noexcept = default;
    explicit RegistryKey(HKEY key) noexcept : key_(key) {}

    // Opens the key, creating it (and its parents) if missing.
    static RegistryKey Create(HKEY root, const std::wstring& subKey, REGSAM access = KEY_ALL_ACCESS);
    // Opens an existing key; the result is not open when the key is missing.
    static RegistryKey Open(HKEY root, const std::wstring& subKey, REGSAM access = KEY_READ);
    // Deletes the key with all its subkeys and values.
    static bool DeleteTree(HKEY root, const std::wstring& subKey);

    bool IsOpen() const noexcept { return key_.IsValid(); }
    HKEY Get() const noexcept { return key_.Get(); }
    void Close() noexcept { key_.Reset(); }

    // Reads up to size bytes of any type into buffer; bytesRead gets the stored length.
    // Fails when the value is missing or longer than the buffer.
    bool ReadBinary(const std::wstring& name, void* buffer, DWORD size, DWORD* bytesRead = nullptr) const;
    // Reads the whole value, whatever its length.
    bool ReadBinary(const std::wstring& name, std::vector<BYTE>& data) const;
    bool ReadDword(const std::wstring& name, DWORD& value) const;
    bool WriteBinary(const std::wstring& name, const void* data, DWORD size);
    bool WriteDword(const std::wstring& name, DWORD value);
    bool DeleteValue(const std::wstring& name);
    // The value at index (0, 1, ...); false when there are no more values.
    bool EnumValue(DWORD index, std::wstring& name, std::vector<BYTE>* data = nullptr, DWORD* type = nullptr) const;

private:
    RegKeyHandle key_;
};

} // namespace fw
