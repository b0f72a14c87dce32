#include "MyIStream.h"

#include <climits>

#include "session/ConnectionSession.h"

CMyIStream::CMyIStream(ConnectionSession* session, std::unique_ptr<nsSocket::IBlockingSocket> transfer)
    : session(session), transfer(std::move(transfer))
{
}

CMyIStream::~CMyIStream() { CloseTransfer(); }

bool CMyIStream::CloseTransfer()
{
    if (!transfer) return true;
    bool confirmed = false;
    if (session != nullptr) {
        confirmed = session->Engine().CloseDataTransfer(std::move(transfer));
        session->EndShellUse();
    }
    transfer.reset();
    return confirmed;
}

HRESULT STDMETHODCALLTYPE CMyIStream::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IStream) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CMyIStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references)); }

ULONG STDMETHODCALLTYPE CMyIStream::Release()
{
    const LONG left = InterlockedDecrement(&references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE CMyIStream::Read(void* buffer, ULONG count, ULONG* bytesRead)
{
    if (buffer == nullptr && count > 0) return E_INVALIDARG;
    if (bytesRead != nullptr) *bytesRead = 0;
    if (!transfer || session == nullptr) return S_FALSE;
    if (count == 0) return S_OK;
    const int capacity = count > static_cast<ULONG>(INT_MAX) ? INT_MAX : static_cast<int>(count);
    int received = 0;
    // A failed receive has been shown by the engine and has closed the data connection.
    if (!session->Engine().ReadData(*transfer, static_cast<char*>(buffer), capacity, received)) {
        CloseTransfer();
        return S_FALSE;
    }
    // The end of the file frees the engine. Unless the server confirms it, the file may be
    // cut short: that ends like a failed read, and the engine has said why.
    if (received == 0 && !CloseTransfer()) return S_FALSE;
    if (bytesRead != nullptr) *bytesRead = static_cast<ULONG>(received);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMyIStream::Write(const void*, ULONG, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CMyIStream::Commit(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::Revert() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::Stat(STATSTG*, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMyIStream::Clone(IStream**) { return E_NOTIMPL; }
