#include "OleDropTarget.h"

#include <new>

#include "OutOfMemory.h"

namespace fw {

OleDropTarget::~OleDropTarget()
{
    ForgetData();
    Revoke();
}

bool OleDropTarget::Register(HWND window)
{
    Revoke();
    if (window == nullptr || FAILED(RegisterDragDrop(window, this))) return false;
    registered = window;
    return true;
}

void OleDropTarget::Revoke()
{
    if (registered == nullptr) return;
    RevokeDragDrop(registered);
    registered = nullptr;
}

HRESULT STDMETHODCALLTYPE OleDropTarget::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE OleDropTarget::AddRef() { return ++references; }

ULONG STDMETHODCALLTYPE OleDropTarget::Release()
{
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
}

POINT OleDropTarget::ClientPoint(POINTL point) const
{
    POINT client = {point.x, point.y};
    if (registered != nullptr) ScreenToClient(registered, &client);
    return client;
}

HWND OleDropTarget::WindowAt(POINTL point) const { return WindowFromPoint(POINT{point.x, point.y}); }

void OleDropTarget::ForgetData()
{
    if (current != nullptr) current->Release();
    current = nullptr;
}

HRESULT STDMETHODCALLTYPE OleDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect)
{
    if (data == nullptr || effect == nullptr) return E_INVALIDARG;
    ForgetData();
    current = data;
    current->AddRef();
    *effect = OnDragEnter(WindowAt(point), data, keys, ClientPoint(point));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleDropTarget::DragOver(DWORD keys, POINTL point, DWORD* effect)
{
    if (effect == nullptr) return E_INVALIDARG;
    *effect = current != nullptr ? OnDragOver(WindowAt(point), current, keys, ClientPoint(point)) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleDropTarget::DragLeave()
{
    OnDragLeave(registered);
    ForgetData();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
    if (data == nullptr || effect == nullptr) return E_INVALIDARG;
    // The drag source's process calls in here; running out of memory while taking the drop
    // fails the drop, not this program.
    try {
        *effect = OnDrop(WindowAt(point), data, *effect, ClientPoint(point));
    } catch (const std::bad_alloc&) {
        *effect = DROPEFFECT_NONE;
        ShowOutOfMemory(registered);
    }
    ForgetData();
    return S_OK;
}

DWORD OleDropTarget::OnDragEnter(HWND, IDataObject*, DWORD, POINT) { return DROPEFFECT_NONE; }

DWORD OleDropTarget::OnDragOver(HWND, IDataObject*, DWORD, POINT) { return DROPEFFECT_NONE; }

DWORD OleDropTarget::OnDrop(HWND, IDataObject*, DWORD, POINT) { return DROPEFFECT_NONE; }

void OleDropTarget::OnDragLeave(HWND) {}

} // namespace fw
