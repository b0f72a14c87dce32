#pragma once
// Writes a download's blocks to its local file on a thread of its own, so that the next
// block comes off the network while the last one goes to the disk. Two buffers take turns:
// one is written while the caller fills the other; memory stays two blocks whatever the
// file's size. The same thread feeds what it wrote to the download's digest, if any, so
// that checking a file costs no second read.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "engine/Digest.h"
#include "framework/Handles.h"

class CBlockWriter {
public:
    // The buffers are the caller's, of one size each, and so is the digest (may be null);
    // they must outlive the writer.
    CBlockWriter(HANDLE file, std::vector<char>& first, std::vector<char>& second, nsFTP::Digest* digest = nullptr);
    ~CBlockWriter();
    CBlockWriter(const CBlockWriter&) = delete;
    CBlockWriter& operator=(const CBlockWriter&) = delete;

    // False when the writer's thread could not start; the caller then writes by itself.
    bool Started() const noexcept { return static_cast<bool>(thread); }
    // The buffer to fill next.
    std::vector<char>& Buffer() noexcept { return *buffers[next]; }
    // Hands over the first count bytes of Buffer() and waits until the block before it is
    // written. False once a write has failed: nothing more is written then.
    bool Write(DWORD count);
    // Waits until everything handed over is written; the first write's error, or
    // ERROR_SUCCESS.
    DWORD Finish();
    // Bytes written to the file so far (complete after Finish).
    std::uint64_t Written() const noexcept { return written; }

private:
    static DWORD WINAPI ThreadMain(LPVOID parameter);
    void WaitForLastWrite();

    HANDLE file;
    std::vector<char>* buffers[2];
    nsFTP::Digest* digest;
    int next = 0;
    // The block handed over: which buffer and how many bytes; read by the thread only
    // between handedOver and writtenOut.
    int pendingBuffer = 0;
    DWORD pendingCount = 0;
    bool stopping = false;
    bool writing = false;
    DWORD error = ERROR_SUCCESS;
    std::uint64_t written = 0;
    fw::KernelHandle handedOver;
    fw::KernelHandle writtenOut;
    fw::KernelHandle thread;
};
