#pragma once
// The pane's remote files as the shell sees them on the clipboard or in a drag: virtual
// files described by "FileGroupDescriptorW" and read through "FileContents" streams, and
// the "Orvid_CFM" marker that keeps the pane from accepting its own drags. Nothing is read
// from the server until the shell asks; directories are listed when it asks for the
// descriptors.
#include <windows.h>

#include <shldisp.h>

#include <memory>
#include <vector>

#include "framework/OleDataSource.h"
#include "session/ConnectionSession.h"
#include "transfer/TransferList.h"

// The shell's name for the interface through which a data object says the shell may copy
// on a thread of its own after the drop.
using IAsyncOperation = IDataObjectAsyncCapability;

// Shown in the status bar when the shell can't have the connection because a job uses it.
extern const wchar_t* const SHELL_COPY_BUSY_TEXT;

class CMyDataSource : public fw::OleDataSource {
public:
    explicit CMyDataSource(ConnectionSession* session);

    // The selected entries, in row order, become the offered items, and the three formats
    // are offered anew.
    void Offer(const std::vector<RemoteEntry>& selected);
    // The view is going: the session is out of reach from now on, whoever still holds
    // the object.
    void Disown() noexcept { session = nullptr; }
    const TransferList& OfferedItems() const noexcept { return *items; }

protected:
    HRESULT OnRenderData(const FORMATETC& format, STGMEDIUM& medium) override;
    IUnknown* QueryExtraInterface(REFIID iid) override;

private:
    class XAsyncOperation : public IAsyncOperation {
    public:
        explicit XAsyncOperation(CMyDataSource& outer) noexcept : outer(outer) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE SetAsyncMode(BOOL asynchronous) override;
        HRESULT STDMETHODCALLTYPE GetAsyncMode(BOOL* asynchronous) override;
        HRESULT STDMETHODCALLTYPE StartOperation(IBindCtx* context) override;
        HRESULT STDMETHODCALLTYPE InOperation(BOOL* inOperation) override;
        HRESULT STDMETHODCALLTYPE EndOperation(HRESULT result, IBindCtx* context, DWORD effects) override;

    private:
        CMyDataSource& outer;
    };

    ~CMyDataSource() override = default;
    HRESULT RenderDescriptors(STGMEDIUM& medium);
    HRESULT RenderContents(const FORMATETC& format, STGMEDIUM& medium);

    ConnectionSession* session;
    std::unique_ptr<TransferList> items;
    // Set once the offered directories have been listed (and what did not fit a
    // descriptor has been named), at the first request for the descriptors.
    bool treesListed = false;
    XAsyncOperation asyncOperation{*this};
};
