#pragma once
// The pane's remote files as the shell sees them on the clipboard or in a drag: virtual
// files described by "FileGroupDescriptorW" and read through "FileContents" streams, and
// the "Orvid_CFM" marker that keeps the pane from accepting its own drags. Nothing is read
// from the server until the shell asks; directories are listed when it asks for the
// descriptors, on a thread of their own, with a window to cancel the walk.
//
// Every Copy and every drag makes an object of its own: the clipboard, or a shell that
// still copies after the drop, keeps exactly the files it was offered, whatever is offered
// later. Only names that can be local names are offered, at every level.
#include <windows.h>

#include <shldisp.h>

#include <atomic>
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
// Shown when the walk behind the descriptors ran out of memory; the shell gets nothing.
extern const wchar_t* const OFFER_OUT_OF_MEMORY_TEXT;

// The session that a view's offers reach, shared by all of them. When the view goes it
// cuts the link, and every offer still held by the clipboard or the shell is out of reach.
struct OfferLink {
    std::atomic<ConnectionSession*> session{nullptr};
    // Owns the walk's window while this thread renders.
    HWND owner = nullptr;
};

class CMyDataSource : public fw::OleDataSource {
public:
    // The selected entries, in row order, become the offered items, and the three formats
    // are offered. A name that can't be a local name is left out, and named once with
    // what the walk leaves out.
    CMyDataSource(std::shared_ptr<OfferLink> link, const std::vector<RemoteEntry>& selected);
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
    // Lists the offered directories on a worker while this thread waits; false when the
    // user cancelled or memory ran out.
    bool ListTrees(ConnectionSession& session);

    std::shared_ptr<OfferLink> link;
    std::unique_ptr<TransferList> items;
    // Set once the offered directories have been listed (and what did not fit a
    // descriptor has been named), at the first request for the descriptors.
    bool treesListed = false;
    // Set while they are listed: a request that comes meanwhile is refused.
    bool listing = false;
    // Set when the user cancelled the walk: the object offers nothing from then on.
    bool withdrawn = false;
    XAsyncOperation asyncOperation{*this};
};
