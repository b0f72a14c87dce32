#pragma once
// Reading the pane's virtual files as the shell does: the descriptors, then each file's
// contents through its stream. Shared by the tests and by the reader that plays the shell
// from a second process.
#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/OleDataSource.h"

namespace dragdroptests {

struct VirtualFile {
    std::wstring name;
    std::uint64_t size = 0;
    DWORD flags = 0;
};

inline CLIPFORMAT Format(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

// The descriptors; false when the object has none to give.
inline bool ReadDescriptors(IDataObject* data, std::vector<VirtualFile>& files)
{
    FORMATETC request = {Format(CFSTR_FILEDESCRIPTORW), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&request, &medium))) return false;
    const auto* group = static_cast<const FILEGROUPDESCRIPTORW*>(GlobalLock(medium.hGlobal));
    if (group != nullptr) {
        for (UINT index = 0; index < group->cItems; ++index) {
            const FILEDESCRIPTORW& descriptor = group->fgd[index];
            files.push_back({descriptor.cFileName,
                             (static_cast<std::uint64_t>(descriptor.nFileSizeHigh) << 32) | descriptor.nFileSizeLow,
                             descriptor.dwFlags});
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return group != nullptr;
}

// The stream of one file; null when the object refused it (result says how).
inline IStream* OpenContents(IDataObject* data, LONG index, HRESULT* result = nullptr)
{
    FORMATETC request = {Format(CFSTR_FILECONTENTS), nullptr, DVASPECT_CONTENT, index, TYMED_ISTREAM};
    STGMEDIUM medium = {};
    const HRESULT got = data->GetData(&request, &medium);
    if (result != nullptr) *result = got;
    if (FAILED(got) || medium.tymed != TYMED_ISTREAM) return nullptr;
    return medium.pstm;
}

// Reads to the end as the shell does, in blocks of blockSize; false when a read failed.
inline bool ReadToEnd(IStream* stream, std::string& bytes, ULONG blockSize = 64 * 1024)
{
    std::vector<char> block(blockSize);
    for (;;) {
        ULONG got = 0;
        const HRESULT result = stream->Read(block.data(), blockSize, &got);
        if (FAILED(result)) return false;
        bytes.append(block.data(), got);
        if (got == 0) return result == S_OK;
    }
}

// FNV-1a, 64 bits: enough to tell a wrong byte from the right one across processes.
inline std::uint64_t ContentHash(const std::string& bytes)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return hash;
}

// A data object such as the shell offers for files it drags or copies; with the marker it
// looks like the pane's own drag.
inline fw::ComPtr<IDataObject> ShellFileDrop(const std::vector<std::wstring>& paths, bool withMarker)
{
    std::wstring list;
    for (const std::wstring& path : paths)
        list += path + L'\0';
    list += L'\0';
    const SIZE_T bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);

    fw::ComPtr<IDataObject> data;
    data.Attach(new fw::OleDataSource);
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {TYMED_HGLOBAL, {}, nullptr};
    medium.hGlobal = memory;
    data->SetData(&format, &medium, TRUE);
    if (withMarker) {
        HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 1);
        FORMATETC marker = {Format(L"Orvid_CFM"), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM markerMedium = {TYMED_HGLOBAL, {}, nullptr};
        markerMedium.hGlobal = empty;
        data->SetData(&marker, &markerMedium, TRUE);
    }
    return data;
}

} // namespace dragdroptests
