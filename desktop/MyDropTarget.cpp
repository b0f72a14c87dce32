#include "MyDropTarget.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "ClipboardFormats.h"
#include "transfer/TransferList.h"

namespace {

FORMATETC Request(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

bool HasFormat(IDataObject* data, CLIPFORMAT format)
{
    FORMATETC request = Request(format);
    return data != nullptr && data->QueryGetData(&request) == S_OK;
}

} // namespace

bool DropFiles(IDataObject* data, ConnectionSession* session, HWND list)
{
    if (data == nullptr) return false;
    FORMATETC request = Request(CF_HDROP);
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&request, &medium))) return false;
    std::vector<std::wstring> paths;
    bool read = false;
    if (medium.tymed == TYMED_HGLOBAL) {
        fw::GlobalLockGuard lock(medium.hGlobal);
        if (lock) {
            read = true;
            auto* drop = static_cast<HDROP>(medium.hGlobal);
            const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT index = 0; index < count; ++index) {
                // Each path whole, however long: a cut one would name another file.
                const UINT length = DragQueryFileW(drop, index, nullptr, 0);
                std::wstring path(length + 1, L'\0');
                path.resize(DragQueryFileW(drop, index, path.data(), length + 1));
                if (!path.empty()) paths.push_back(path);
            }
        }
    }
    ReleaseStgMedium(&medium);
    if (!read) return false;

    auto items = std::make_unique<TransferList>();
    items->owner = session;
    AddLocalPaths(items.get(), paths);
    if (!PostMessageW(GetParent(list), WM_UPLOAD_LIST, reinterpret_cast<WPARAM>(items.get()), 0)) return false;
    items.release();
    return true;
}

CMyDropTarget::CMyDropTarget(ConnectionSession* session, HWND list) : session(session), list(list)
{
    helperPresent = SUCCEEDED(
        CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper, helper.PutVoid()));
}

DWORD CMyDropTarget::Effect(IDataObject* data)
{
    if (!HasFormat(data, CF_HDROP)) return DROPEFFECT_NONE;
    if (HasFormat(data, RegisteredClipboardFormats().marker)) return DROPEFFECT_NONE;
    return DROPEFFECT_COPY;
}

POINT CMyDropTarget::ScreenPoint(POINT point) const
{
    ClientToScreen(list.Handle(), &point);
    return point;
}

DWORD CMyDropTarget::OnDragEnter(HWND window, IDataObject* data, DWORD, POINT point)
{
    if (window != list.Handle()) return DROPEFFECT_NONE;
    SetForegroundWindow(GetAncestor(list.Handle(), GA_ROOT));
    list.SetFocus();
    const DWORD effect = Effect(data);
    POINT screen = ScreenPoint(point);
    if (helperPresent) helper->DragEnter(list.Handle(), data, &screen, effect);
    return effect;
}

DWORD CMyDropTarget::OnDragOver(HWND window, IDataObject* data, DWORD, POINT point)
{
    if (window != list.Handle()) return DROPEFFECT_NONE;
    const DWORD effect = Effect(data);
    POINT screen = ScreenPoint(point);
    if (helperPresent) helper->DragOver(&screen, effect);
    if (effect == DROPEFFECT_NONE) return effect;

    list.SelectOnly(list.HitTest(point));
    return DROPEFFECT_COPY;
}

DWORD CMyDropTarget::OnDrop(HWND window, IDataObject* data, DWORD effect, POINT point)
{
    DWORD result = DROPEFFECT_NONE;
    if (window == list.Handle() && Effect(data) != DROPEFFECT_NONE && DropFiles(data, session, list.Handle()))
        result = DROPEFFECT_COPY;
    POINT screen = ScreenPoint(point);
    if (helperPresent) helper->Drop(data, &screen, effect);
    return result;
}

void CMyDropTarget::OnDragLeave(HWND)
{
    if (helperPresent) helper->DragLeave();
}
