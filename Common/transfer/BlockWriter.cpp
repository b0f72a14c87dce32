#include "transfer/BlockWriter.h"

CBlockWriter::CBlockWriter(HANDLE file, std::vector<char>& first, std::vector<char>& second, nsFTP::Digest* digest)
    : file(file), buffers{&first, &second}, digest(digest), handedOver(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      writtenOut(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (handedOver && writtenOut) thread.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
}

CBlockWriter::~CBlockWriter() { Finish(); }

DWORD WINAPI CBlockWriter::ThreadMain(LPVOID parameter)
{
    auto* self = static_cast<CBlockWriter*>(parameter);
    for (;;) {
        WaitForSingleObject(self->handedOver.Get(), INFINITE);
        if (self->stopping) return 0;
        DWORD count = 0;
        const char* bytes = self->buffers[self->pendingBuffer]->data();
        if (!WriteFile(self->file, bytes, self->pendingCount, &count, nullptr) || count != self->pendingCount) {
            self->error = GetLastError();
            if (self->error == ERROR_SUCCESS) self->error = ERROR_WRITE_FAULT;
        }
        if (self->digest != nullptr) self->digest->Update(bytes, count);
        self->written += count;
        SetEvent(self->writtenOut.Get());
    }
}

void CBlockWriter::WaitForLastWrite()
{
    if (!writing) return;
    WaitForSingleObject(writtenOut.Get(), INFINITE);
    writing = false;
}

bool CBlockWriter::Write(DWORD count)
{
    WaitForLastWrite();
    if (error != ERROR_SUCCESS) return false;
    pendingBuffer = next;
    pendingCount = count;
    writing = true;
    SetEvent(handedOver.Get());
    next = 1 - next;
    return true;
}

DWORD CBlockWriter::Finish()
{
    if (!thread) return error;
    WaitForLastWrite();
    stopping = true;
    SetEvent(handedOver.Get());
    WaitForSingleObject(thread.Get(), INFINITE);
    thread.Reset();
    return error;
}
