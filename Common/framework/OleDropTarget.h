#pragma once
// A window's drop target. Derived classes decide each drag's effect; the base keeps the
// registration and hands them points in the registered window's client coordinates,
// together with the window that lies under the cursor.
//
// Reference counted like any COM object; it starts with one reference, its creator's.
// Registration holds a reference of its own until Revoke.
#include <windows.h>

#include <ole2.h>

#include <atomic>

namespace fw {

class OleDropTarget : public IDropTarget {
public:
    OleDropTarget() noexcept = default;
    OleDropTarget(const OleDropTarget&) = delete;
    OleDropTarget& operator=(const OleDropTarget&) = delete;

    // Makes the object the window's drop target; false when OLE refused. A target already
    // registered elsewhere is revoked first.
    bool Register(HWND window);
    void Revoke();
    HWND Window() const noexcept { return registered; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

protected:
    virtual ~OleDropTarget();
    // window: the window under the cursor; point: in the registered window's client area.
    // Each returns the effect the drop would have (DROPEFFECT_NONE to refuse it).
    virtual DWORD OnDragEnter(HWND window, IDataObject* data, DWORD keys, POINT point);
    virtual DWORD OnDragOver(HWND window, IDataObject* data, DWORD keys, POINT point);
    virtual DWORD OnDrop(HWND window, IDataObject* data, DWORD effect, POINT point);
    virtual void OnDragLeave(HWND window);

private:
    POINT ClientPoint(POINTL point) const;
    HWND WindowAt(POINTL point) const;
    void ForgetData();

    std::atomic<ULONG> references{1};
    HWND registered = nullptr;
    // The data object of the drag in progress, between enter and leave or drop.
    IDataObject* current = nullptr;
};

} // namespace fw
