#include "MyIStream.h"

#include <climits>

#include "engine/Reporter.h"
#include "session/ConnectionSession.h"

namespace {

std::wstring SizeMismatchText(const std::wstring& path, std::uint64_t delivered, std::uint64_t listed)
{
    return L"The copy of " + path + L" failed: the server sent " + std::to_wstring(delivered) +
           L" bytes, but listed the file with " + std::to_wstring(listed) + L".";
}

} // namespace

CMyIStream::CMyIStream(ConnectionSession* session, std::unique_ptr<nsSocket::IBlockingSocket> transfer,
                       std::wstring path, std::uint64_t expectedSize)
    : session(session), transfer(std::move(transfer)), path(std::move(path)), expectedSize(expectedSize)
{
}

CMyIStream::~CMyIStream() { CloseTransfer(); }

bool CMyIStream::CloseTransfer()
{
    if (!transfer) return true;
    bool confirmed = false;
    if (session != nullptr) {
        confirmed = session->Engine().CloseDataTransfer(std::move(transfer));
        session->ReleaseEngine();
    }
    transfer.reset();
    return confirmed;
}

HRESULT CMyIStream::Fail()
{
    failed = true;
    CloseTransfer();
    return STG_E_READFAULT;
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
    if (failed) return STG_E_READFAULT;
    // The end was reached and confirmed: every later read is the end again.
    if (!transfer) return S_OK;
    if (count == 0) return S_OK;
    // Nothing may leave towards the shell; a read that ran out of memory fails the copy.
    try {
        return ReadOpen(buffer, count, bytesRead);
    } catch (...) {
        return Fail();
    }
}

HRESULT CMyIStream::ReadOpen(void* buffer, ULONG count, ULONG* bytesRead)
{
    if (session == nullptr) return Fail();
    const int capacity = count > static_cast<ULONG>(INT_MAX) ? INT_MAX : static_cast<int>(count);
    int received = 0;
    // A failed receive has been shown by the engine and has closed the data connection.
    if (!session->Engine().ReadData(*transfer, static_cast<char*>(buffer), capacity, received)) return Fail();
    if (received > 0) {
        delivered += static_cast<std::uint64_t>(received);
        if (bytesRead != nullptr) *bytesRead = static_cast<ULONG>(received);
        return S_OK;
    }
    // The end of the file frees the engine. Unless the server confirms it, and the bytes
    // are as many as the listing said, the file may be cut short; the engine has said why
    // when the server didn't confirm.
    if (!CloseTransfer()) return Fail();
    if (expectedSize != REMOTE_SIZE_UNKNOWN && delivered != expectedSize) {
        nsFTP::ReportError(SizeMismatchText(path, delivered, expectedSize));
        return Fail();
    }
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
