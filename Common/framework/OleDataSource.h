#pragma once
// A data object for the clipboard and for drag and drop. Formats are offered first and
// rendered only when a consumer asks for them (delayed rendering), so that nothing costly
// happens for a copy that is never pasted. Media that a consumer stores with SetData (the
// shell's drop-effect notes, for example) are kept and served back.
//
// The object is reference counted and starts with one reference, which belongs to its
// creator; the clipboard and the drag loop take references of their own, so the creator's
// release never pulls the object from under them.
#include <windows.h>

#include <objidl.h>

#include <atomic>
#include <vector>

namespace fw {

class OleDataSource : public IDataObject {
public:
    OleDataSource() noexcept = default;
    OleDataSource(const OleDataSource&) = delete;
    OleDataSource& operator=(const OleDataSource&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advises) override;

    // Offers a format for delayed rendering. Without a description: global memory, the
    // content aspect, any index.
    void DelayRenderData(CLIPFORMAT format, const FORMATETC* description = nullptr);
    // Withdraws every offered format and frees every stored medium.
    void Empty();
    // Whether a consumer's request names a format this object offers or stores.
    bool Offers(const FORMATETC& format) const;

    // Puts the object on the clipboard.
    bool SetClipboard();
    // Runs the drag loop with the left button; the effect the drop ended with
    // (DROPEFFECT_NONE when cancelled).
    DWORD DoDragDrop(DWORD allowedEffects);

protected:
    virtual ~OleDataSource();
    // Renders an offered format into a medium the consumer will own. The default has no
    // data for any format.
    virtual HRESULT OnRenderData(const FORMATETC& format, STGMEDIUM& medium);
    // Further interfaces of a derived object; null when it has none for iid. The returned
    // interface shares this object's reference count.
    virtual IUnknown* QueryExtraInterface(REFIID iid);

private:
    struct StoredMedium {
        FORMATETC format;
        STGMEDIUM medium;
    };
    const FORMATETC* FindOffered(const FORMATETC& format) const;
    StoredMedium* FindStored(const FORMATETC& format);

    std::atomic<ULONG> references{1};
    std::vector<FORMATETC> offered;
    std::vector<StoredMedium> stored;
};

} // namespace fw
