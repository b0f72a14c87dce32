#pragma once
// Local files named by UTF-8 bytes: wide paths through _wfopen on Windows, the bytes
// themselves elsewhere.
#include <cstdint>
#include <cstdio>
#include <string>

namespace ftpcli {

class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // mode is "rb", "wb" or "ab"; false with errorText set when the file cannot be opened.
    bool Open(const std::string& path, const char* mode);
    // Bytes read, 0 at the end; -1 on a read error.
    long Read(char* buffer, std::size_t capacity);
    bool Write(const char* bytes, std::size_t length);
    // Moves the read position; false with errorText set past the end or on failure.
    bool Seek(std::uint64_t offset);
    // The file's size; false with errorText set on failure.
    bool Size(std::uint64_t& size);
    // Flushes and closes; false when the data did not reach the file.
    bool Close();
    const std::string& ErrorText() const { return errorText; }

private:
    std::FILE* file = nullptr;
    std::string path;
    std::string errorText;
};

bool IsDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// path + separator + name.
std::string JoinPath(const std::string& directory, const std::string& name);

} // namespace ftpcli
