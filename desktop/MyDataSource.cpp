#include "MyDataSource.h"

#include <shlobj.h>

#include <cstring>

#include "ClipboardFormats.h"
#include "MyIStream.h"
#include "OfferListingDlg.h"
#include "framework/Handles.h"
#include "session/Win32Reporter.h"
#include "shell/StatusText.h"
#include "transfer/UploadDlg.h"

const wchar_t* const SHELL_COPY_BUSY_TEXT =
    L"The connection is busy with a transfer job. Copy the files again when the job has ended.";
const wchar_t* const OFFER_OUT_OF_MEMORY_TEXT =
    L"The folders to copy hold more files than there is memory for. Nothing was copied.";

namespace {

constexpr LONG ALL_FILES_INDEX = -1;
constexpr DWORD DESCRIPTOR_FLAGS =
    FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME | FD_FILESIZE | FD_PROGRESSUI;
constexpr int DWORD_BITS = 32;
// Windows' "shell async copy" capability: the shell may copy after the drop on a thread
// of its own.
constexpr BOOL ASYNC_MODE_ON = -1;

bool NeedsListing(const TransferList& list)
{
    for (const TransferItem* item = list.head; item != nullptr; item = item->next)
        if (item->isDirectory != 0 && item->expanded == 0) return true;
    return false;
}

struct TreeWalk {
    TransferList* items;
    bool outOfMemory;
};

DWORD WINAPI WalkOnWorker(LPVOID parameter)
{
    auto* walk = static_cast<TreeWalk*>(parameter);
    try {
        ExpandRemote(walk->items);
    } catch (...) {
        walk->outOfMemory = true;
    }
    return 0;
}

} // namespace

CMyDataSource::CMyDataSource(std::shared_ptr<OfferLink> link, const std::vector<RemoteEntry>& selected)
    // The shell joins the descriptors' names to its target as given. The view offers only
    // while it has a session.
    : link(std::move(link)), items(MakeTransferList(*this->link->session, selected, true))
{
    const ClipboardFormats& formats = RegisteredClipboardFormats();
    DelayRenderData(formats.fileGroupDescriptor);
    DelayRenderData(formats.fileContents);
    DelayRenderData(formats.marker);
}

HRESULT CMyDataSource::OnRenderData(const FORMATETC& format, STGMEDIUM& medium)
{
    const ClipboardFormats& formats = RegisteredClipboardFormats();
    if (format.cfFormat == formats.fileGroupDescriptor) return RenderDescriptors(medium);
    if (format.cfFormat == formats.fileContents) return RenderContents(format, medium);
    return fw::OleDataSource::OnRenderData(format, medium);
}

HRESULT CMyDataSource::RenderDescriptors(STGMEDIUM& medium)
{
    if (withdrawn) return E_ABORT;
    ConnectionSession* session = link->session;
    if (session == nullptr) return E_UNEXPECTED;
    // The trees are listed at the first request only: the shell asks more than once in
    // one drop, and the file indexes it was given must keep naming the same files.
    if (!treesListed) {
        if (listing) return E_FAIL;
        if (NeedsListing(*items)) {
            if (!session->TryClaimEngine()) {
                SetStatusText(STATUS_PANE_MESSAGE, SHELL_COPY_BUSY_TEXT);
                return E_FAIL;
            }
            listing = true;
            const bool listed = ListTrees(*session);
            listing = false;
            session->ReleaseEngine();
            if (!listed) {
                withdrawn = true;
                ClearList(items.get());
                return E_ABORT;
            }
        }
        treesListed = true;
        if (!RefusedAsTooLarge(*items)) ShowLeftOut(*items);
    }
    if (items->tooLarge) return E_FAIL;

    // One descriptor more than needed, as the shell's structure already holds one.
    const std::uint64_t count = items->fileCount;
    const std::uint64_t bytes = sizeof(FILEGROUPDESCRIPTORW) + count * sizeof(FILEDESCRIPTORW);
    if (bytes > MAXDWORD) return E_OUTOFMEMORY;
    fw::GlobalHandle memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, static_cast<SIZE_T>(bytes)));
    if (!memory) return E_OUTOFMEMORY;
    {
        fw::GlobalLockGuard lock(memory.Get());
        auto* group = lock.As<FILEGROUPDESCRIPTORW>();
        if (group == nullptr) return E_OUTOFMEMORY;
        group->cItems = static_cast<UINT>(count);
        for (const TransferItem* item = items->head; item != nullptr; item = item->next) {
            if (item->isDirectory != 0) continue;
            FILEDESCRIPTORW& descriptor = group->fgd[item->fileIndex];
            // Without a size the shell must not expect one: it reads the stream to its end.
            descriptor.dwFlags = item->sizeUnknown != 0 ? DESCRIPTOR_FLAGS & ~FD_FILESIZE : DESCRIPTOR_FLAGS;
            descriptor.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
            descriptor.ftCreationTime = item->lastWrite;
            descriptor.ftLastAccessTime = item->lastWrite;
            descriptor.ftLastWriteTime = item->lastWrite;
            // The whole size: a file of 4 GiB or more must not arrive cut to its low word.
            descriptor.nFileSizeHigh = static_cast<DWORD>(item->size >> DWORD_BITS);
            descriptor.nFileSizeLow = static_cast<DWORD>(item->size);
            // The list only holds names that fit, terminator included.
            std::wcscpy(descriptor.cFileName, item->name.c_str());
        }
    }
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = memory.Release();
    medium.pUnkForRelease = nullptr;
    return S_OK;
}

bool CMyDataSource::ListTrees(ConnectionSession& session)
{
    fw::KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return false;
    items->stopEvent = stop.Get();
    TreeWalk walk{items.get(), false};
    fw::KernelHandle worker(CreateThread(nullptr, 0, WalkOnWorker, &walk, 0, nullptr));
    bool finished = false;
    if (worker) {
        // A directory that can't be listed has been reported by the engine; the shell
        // gets what could be listed.
        finished = WaitForOfferListing(worker.Get(), link->owner, [&session, &stop] {
            SetEvent(stop.Get());
            session.Engine().InterruptDataTransfer();
        });
    }
    items->stopEvent = nullptr;
    if (walk.outOfMemory) {
        MessageBoxW(nullptr, OFFER_OUT_OF_MEMORY_TEXT, Win32Reporter().Caption().c_str(),
                    MB_ICONERROR | MB_OK | MB_TOPMOST);
        return false;
    }
    return finished;
}

HRESULT CMyDataSource::RenderContents(const FORMATETC& format, STGMEDIUM& medium)
{
    if (withdrawn) return E_ABORT;
    if (format.lindex == ALL_FILES_INDEX) return DV_E_LINDEX;
    if ((format.tymed & TYMED_ISTREAM) == 0) return DV_E_TYMED;
    const TransferItem* file = nullptr;
    for (const TransferItem* item = items->head; item != nullptr && file == nullptr; item = item->next)
        if (item->isDirectory == 0 && item->fileIndex == static_cast<std::uint32_t>(format.lindex)) file = item;
    if (file == nullptr) return DV_E_LINDEX;
    ConnectionSession* session = link->session;
    if (session == nullptr) return E_UNEXPECTED;
    if (!session->TryClaimEngine()) {
        SetStatusText(STATUS_PANE_MESSAGE, SHELL_COPY_BUSY_TEXT);
        return E_FAIL;
    }
    std::unique_ptr<nsSocket::IBlockingSocket> transfer = session->OpenRemoteTransfer(file->path, false);
    // The engine has said why; an empty stream would leave the shell an empty file that
    // looks copied.
    if (!transfer) {
        session->ReleaseEngine();
        return E_FAIL;
    }
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = new CMyIStream(session, std::move(transfer), file->path,
                                 file->sizeUnknown != 0 ? REMOTE_SIZE_UNKNOWN : file->size);
    medium.pUnkForRelease = nullptr;
    return S_OK;
}

IUnknown* CMyDataSource::QueryExtraInterface(REFIID iid)
{
    if (iid == IID_IDataObjectAsyncCapability) return &asyncOperation;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::QueryInterface(REFIID iid, void** object)
{
    return outer.QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::AddRef() { return outer.AddRef(); }

ULONG STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::Release() { return outer.Release(); }

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::SetAsyncMode(BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::GetAsyncMode(BOOL* asynchronous)
{
    if (asynchronous == nullptr) return E_INVALIDARG;
    *asynchronous = ASYNC_MODE_ON;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::StartOperation(IBindCtx*) { return S_OK; }

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::InOperation(BOOL*) { return S_OK; }

HRESULT STDMETHODCALLTYPE CMyDataSource::XAsyncOperation::EndOperation(HRESULT, IBindCtx*, DWORD) { return S_OK; }
