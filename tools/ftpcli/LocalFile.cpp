#include "LocalFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>

#include "engine/TextCodec.h"
#endif

namespace ftpcli {

LocalFile::~LocalFile()
{
    if (file != nullptr) std::fclose(file);
}

bool LocalFile::Open(const std::string& name, const char* mode)
{
    path = name;
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    file = _wfopen(nsFTP::WireToWide(name).c_str(), wideMode.c_str());
#else
    file = std::fopen(name.c_str(), mode);
#endif
    if (file == nullptr) {
        errorText = "cannot open " + name + ": " + std::strerror(errno);
        return false;
    }
    // The transfers move 1 MiB blocks; stdio's own buffer would only add a copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return true;
}

long LocalFile::Read(char* buffer, std::size_t capacity)
{
    const std::size_t count = std::fread(buffer, 1, capacity, file);
    if (count == 0 && std::ferror(file)) {
        errorText = "cannot read " + path + ": " + std::strerror(errno);
        return -1;
    }
    return static_cast<long>(count);
}

bool LocalFile::Write(const char* bytes, std::size_t length)
{
    if (std::fwrite(bytes, 1, length, file) == length) return true;
    errorText = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

bool LocalFile::Seek(std::uint64_t offset)
{
    std::uint64_t size = 0;
    if (!Size(size)) return false;
#ifdef _WIN32
    const bool moved = offset <= size && _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    const bool moved = offset <= size && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    if (!moved) errorText = "cannot continue " + path + " at byte " + std::to_string(offset);
    return moved;
}

bool LocalFile::Size(std::uint64_t& size)
{
#ifdef _WIN32
    struct _stat64 status {};
    const bool known = _fstat64(_fileno(file), &status) == 0;
#else
    struct stat status {};
    const bool known = fstat(fileno(file), &status) == 0;
#endif
    if (!known) {
        errorText = "cannot read the size of " + path + ": " + std::strerror(errno);
        return false;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool LocalFile::Close()
{
    if (file == nullptr) return true;
    const int result = std::fclose(file);
    file = nullptr;
    if (result == 0) return true;
    errorText = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

bool IsDirectory(const std::string& path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(nsFTP::WireToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

bool RemoveFile(const std::string& path)
{
#ifdef _WIN32
    return _wremove(nsFTP::WireToWide(path).c_str()) == 0;
#else
    return std::remove(path.c_str()) == 0;
#endif
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty()) return name;
    const char last = directory.back();
#ifdef _WIN32
    if (last == '/' || last == '\\') return directory + name;
    return directory + '\\' + name;
#else
    if (last == '/') return directory + name;
    return directory + '/' + name;
#endif
}

} // namespace ftpcli
