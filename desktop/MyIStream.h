#pragma once
// One remote file's contents for the shell, read straight from its data connection into
// the shell's buffer. The shell reads it from start to end; nothing else is offered.
//
// While the data connection is open the stream holds the session's claim on the engine, so
// the window starts no engine command meanwhile. The connection closes, and the server's
// final reply is read, when the end of the file is reached, when a read fails, or when the
// shell releases the stream, whichever comes first.
//
// A file that did not arrive whole fails its read, so that the shell never keeps a cut
// copy under the real name: a failed receive, an end the server doesn't confirm, and a
// byte count other than the listed size all read as STG_E_READFAULT, now and after.
#include <windows.h>

#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/BlockingSocket.h"

class ConnectionSession;

class CMyIStream final : public IStream {
public:
    // transfer: the file opened for reading, with the session's engine claimed for it; the
    // stream releases the claim. path: the remote file, as the user is told of it;
    // expectedSize: its listed size, or REMOTE_SIZE_UNKNOWN.
    CMyIStream(ConnectionSession* session, std::unique_ptr<nsSocket::IBlockingSocket> transfer, std::wstring path,
               std::uint64_t expectedSize);
    CMyIStream(const CMyIStream&) = delete;
    CMyIStream& operator=(const CMyIStream&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ISequentialStream
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* bytesRead) override;
    HRESULT STDMETHODCALLTYPE Write(const void* bytes, ULONG count, ULONG* written) override;

    // IStream: none of these is served.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

private:
    ~CMyIStream();
    HRESULT ReadOpen(void* buffer, ULONG count, ULONG* bytesRead);
    // True when the server confirmed the whole transfer (or none was open).
    bool CloseTransfer();
    HRESULT Fail();

    volatile LONG references = 1;
    ConnectionSession* session;
    std::unique_ptr<nsSocket::IBlockingSocket> transfer;
    std::wstring path;
    std::uint64_t expectedSize;
    std::uint64_t delivered = 0;
    bool failed = false;
};
