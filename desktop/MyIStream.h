#pragma once
// One remote file's contents for the shell, read straight from its data connection into
// the shell's buffer. The shell reads it from start to end; nothing else is offered.
//
// While the data connection is open the stream counts as a shell use of the session, so
// the window starts no engine command meanwhile. The connection closes, and the server's
// final reply is read, when the end of the file is reached, when a read fails, or when the
// shell releases the stream, whichever comes first.
#include <windows.h>

#include <objidl.h>

#include <memory>

#include "engine/BlockingSocket.h"

class ConnectionSession;

class CMyIStream final : public IStream {
public:
    // transfer: the file opened for reading, or null when it could not be opened (every
    // read then ends at once). A non-null transfer must come with a shell use of the
    // session begun for it; the stream ends that use.
    CMyIStream(ConnectionSession* session, std::unique_ptr<nsSocket::IBlockingSocket> transfer);
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
    // True when the server confirmed the whole transfer (or none was open).
    bool CloseTransfer();

    volatile LONG references = 1;
    ConnectionSession* session;
    std::unique_ptr<nsSocket::IBlockingSocket> transfer;
};
