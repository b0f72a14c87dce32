#pragma once
// Message digests of file data, computed by the platform's own code: CNG (BCrypt) and
// ntdll's CRC-32 on Windows, OpenSSL and zlib natively. Both give the same lower-case hex.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nsFTP {

enum class HashAlgorithm { Sha256, Sha1, Md5, Crc32 };

// The algorithm's name as the HASH command spells it ("SHA-256", "CRC32").
const wchar_t* HashAlgorithmName(HashAlgorithm algorithm);
// Hex digits in the algorithm's digest.
std::size_t HashHexLength(HashAlgorithm algorithm);
// The algorithm a HASH name names, compared without regard to case.
std::optional<HashAlgorithm> HashAlgorithmFromName(std::wstring_view name);

class Digest {
public:
    explicit Digest(HashAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    HashAlgorithm Algorithm() const { return algorithm; }
    void Update(const void* bytes, std::size_t count);
    // The digest in lower-case hex; empty when the platform could not compute it. The
    // digest is finished afterwards: Update starts nothing new.
    std::string Final();

private:
    struct State;
    HashAlgorithm algorithm;
    std::unique_ptr<State> state;
};

} // namespace nsFTP
