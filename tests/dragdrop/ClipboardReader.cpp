// Plays the shell from a process of its own: takes the clipboard's virtual files and
// prints one line per file, "name<TAB>size<TAB>bytes read<TAB>hash", so a test can see
// what a paste in Explorer would have produced.
#include <windows.h>

#include <ole2.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "VirtualFiles.h"

int wmain()
{
    // Lines end in LF alone, whatever the C library's text mode would make of them.
    _setmode(_fileno(stdout), _O_BINARY);
    if (FAILED(OleInitialize(nullptr))) return 2;
    int status = 1;
    IDataObject* data = nullptr;
    if (SUCCEEDED(OleGetClipboard(&data))) {
        std::vector<dragdroptests::VirtualFile> files;
        if (dragdroptests::ReadDescriptors(data, files)) {
            status = 0;
            for (std::size_t index = 0; index < files.size(); ++index) {
                std::string bytes;
                IStream* stream = dragdroptests::OpenContents(data, static_cast<LONG>(index));
                if (stream == nullptr || !dragdroptests::ReadToEnd(stream, bytes)) status = 1;
                if (stream != nullptr) stream->Release();
                std::printf("%ls\t%llu\t%llu\t%016llx\n", files[index].name.c_str(),
                            static_cast<unsigned long long>(files[index].size),
                            static_cast<unsigned long long>(bytes.size()),
                            static_cast<unsigned long long>(dragdroptests::ContentHash(bytes)));
            }
        }
        data->Release();
    }
    std::fflush(stdout);
    OleUninitialize();
    return status;
}
