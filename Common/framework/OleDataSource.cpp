#include "OleDataSource.h"

#include "OutOfMemory.h"

#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <new>

namespace fw {
namespace {

constexpr LONG ANY_INDEX = -1;

bool SameRequest(const FORMATETC& offered, const FORMATETC& requested)
{
    // The medium is the renderer's to judge: a consumer often asks for several at once.
    return offered.cfFormat == requested.cfFormat && offered.dwAspect == requested.dwAspect &&
           (offered.lindex == ANY_INDEX || offered.lindex == requested.lindex);
}

// The drag loop of a left-button drag: Esc cancels, releasing the button drops.
class LeftButtonDropSource : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDropSource) {
            *object = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keys) override
    {
        if (escapePressed) return DRAGDROP_S_CANCEL;
        if ((keys & MK_LBUTTON) == 0) return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    virtual ~LeftButtonDropSource() = default;
    std::atomic<ULONG> references{1};
};

} // namespace

OleDataSource::~OleDataSource() { Empty(); }

HRESULT STDMETHODCALLTYPE OleDataSource::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDataObject) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    if (IUnknown* extra = QueryExtraInterface(iid)) {
        *object = extra;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE OleDataSource::AddRef() { return ++references; }

ULONG STDMETHODCALLTYPE OleDataSource::Release()
{
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
}

const FORMATETC* OleDataSource::FindOffered(const FORMATETC& format) const
{
    auto found = std::find_if(offered.begin(), offered.end(),
                              [&](const FORMATETC& candidate) { return SameRequest(candidate, format); });
    return found != offered.end() ? &*found : nullptr;
}

OleDataSource::StoredMedium* OleDataSource::FindStored(const FORMATETC& format)
{
    auto found = std::find_if(stored.begin(), stored.end(),
                              [&](const StoredMedium& candidate) { return SameRequest(candidate.format, format); });
    return found != stored.end() ? &*found : nullptr;
}

bool OleDataSource::Offers(const FORMATETC& format) const
{
    if (FindOffered(format) != nullptr) return true;
    return std::any_of(stored.begin(), stored.end(),
                       [&](const StoredMedium& candidate) { return SameRequest(candidate.format, format); });
}

HRESULT STDMETHODCALLTYPE OleDataSource::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    if (StoredMedium* kept = FindStored(*format)) {
        if ((format->tymed & kept->medium.tymed) == 0) return DV_E_TYMED;
        HANDLE copy = OleDuplicateData(kept->medium.hGlobal, kept->format.cfFormat, 0);
        if (copy == nullptr) return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        return S_OK;
    }
    if (FindOffered(*format) == nullptr) return DV_E_FORMATETC;
    // A consumer in another process asks for this; running out of memory while rendering
    // must fail its request, not end this program.
    try {
        return OnRenderData(*format, *medium);
    } catch (const std::bad_alloc&) {
        ReleaseStgMedium(medium);
        *medium = STGMEDIUM{};
        ShowOutOfMemory(nullptr);
        return E_OUTOFMEMORY;
    }
}

// A consumer's own storage is never written: rendering always hands over a new medium.
HRESULT STDMETHODCALLTYPE OleDataSource::GetDataHere(FORMATETC* format, STGMEDIUM* medium)
{
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    return Offers(*format) ? DV_E_TYMED : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE OleDataSource::QueryGetData(FORMATETC* format)
{
    if (format == nullptr) return E_INVALIDARG;
    return Offers(*format) ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE OleDataSource::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* canonical)
{
    if (canonical == nullptr) return E_INVALIDARG;
    canonical->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

// Only global memory is kept: it is all the shell stores (its notes on a drop's effect).
HRESULT STDMETHODCALLTYPE OleDataSource::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release)
{
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (medium->tymed != TYMED_HGLOBAL || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    StoredMedium entry = {*format, STGMEDIUM{}};
    entry.format.ptd = nullptr;
    entry.format.tymed = TYMED_HGLOBAL;
    entry.medium.tymed = TYMED_HGLOBAL;
    if (release) {
        entry.medium.hGlobal = medium->hGlobal;
        entry.medium.pUnkForRelease = medium->pUnkForRelease;
    } else {
        entry.medium.hGlobal = OleDuplicateData(medium->hGlobal, format->cfFormat, 0);
        if (entry.medium.hGlobal == nullptr) return E_OUTOFMEMORY;
    }
    if (StoredMedium* kept = FindStored(entry.format)) {
        ReleaseStgMedium(&kept->medium);
        *kept = entry;
        return S_OK;
    }
    try {
        stored.push_back(entry);
    } catch (const std::bad_alloc&) {
        // Not kept: a medium handed over stays the caller's, as it does on every failure.
        if (!release) ReleaseStgMedium(&entry.medium);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleDataSource::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats)
{
    if (formats == nullptr) return E_INVALIDARG;
    *formats = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    try {
        std::vector<FORMATETC> all = offered;
        for (const StoredMedium& kept : stored)
            all.push_back(kept.format);
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(all.size()), all.data(), formats);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE OleDataSource::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE OleDataSource::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT STDMETHODCALLTYPE OleDataSource::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

void OleDataSource::DelayRenderData(CLIPFORMAT format, const FORMATETC* description)
{
    FORMATETC entry = {format, nullptr, DVASPECT_CONTENT, ANY_INDEX, TYMED_HGLOBAL};
    if (description != nullptr) {
        entry = *description;
        entry.cfFormat = format;
        entry.ptd = nullptr;
    }
    offered.push_back(entry);
}

void OleDataSource::Empty()
{
    offered.clear();
    for (StoredMedium& kept : stored)
        ReleaseStgMedium(&kept.medium);
    stored.clear();
}

bool OleDataSource::SetClipboard() { return SUCCEEDED(OleSetClipboard(this)); }

DWORD OleDataSource::DoDragDrop(DWORD allowedEffects)
{
    auto* source = new LeftButtonDropSource;
    DWORD effect = DROPEFFECT_NONE;
    if (::DoDragDrop(this, source, allowedEffects, &effect) != DRAGDROP_S_DROP) effect = DROPEFFECT_NONE;
    source->Release();
    return effect;
}

HRESULT OleDataSource::OnRenderData(const FORMATETC&, STGMEDIUM&) { return DV_E_FORMATETC; }

IUnknown* OleDataSource::QueryExtraInterface(REFIID) { return nullptr; }

} // namespace fw
