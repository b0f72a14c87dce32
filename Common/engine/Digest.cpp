#include "engine/Digest.h"

#include <cstdint>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <openssl/evp.h>
#include <zlib.h>
#endif

#ifdef _WIN32
// Exported by ntdll, which every Windows and Wine has; the SDK declares it nowhere.
extern "C" DWORD WINAPI RtlComputeCrc32(DWORD initial, const BYTE* data, INT length);
#endif

namespace nsFTP {

namespace {

constexpr std::size_t CRC32_BYTES = 4;
constexpr unsigned BITS_PER_BYTE = 8;
constexpr unsigned BYTE_MASK = 0xFF;

std::string Hex(const unsigned char* bytes, std::size_t count)
{
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(DIGITS[bytes[i] >> 4]);
        text.push_back(DIGITS[bytes[i] & 0x0F]);
    }
    return text;
}

std::string CrcHex(std::uint32_t crc)
{
    unsigned char bytes[CRC32_BYTES];
    for (std::size_t i = 0; i < CRC32_BYTES; ++i)
        bytes[i] = static_cast<unsigned char>((crc >> (BITS_PER_BYTE * (CRC32_BYTES - 1 - i))) & BYTE_MASK);
    return Hex(bytes, CRC32_BYTES);
}

} // namespace

const wchar_t* HashAlgorithmName(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256: return L"SHA-256";
    case HashAlgorithm::Sha1: return L"SHA-1";
    case HashAlgorithm::Md5: return L"MD5";
    case HashAlgorithm::Crc32: return L"CRC32";
    }
    return L"";
}

std::size_t HashHexLength(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256: return 64;
    case HashAlgorithm::Sha1: return 40;
    case HashAlgorithm::Md5: return 32;
    case HashAlgorithm::Crc32: return 8;
    }
    return 0;
}

std::optional<HashAlgorithm> HashAlgorithmFromName(std::wstring_view name)
{
    for (HashAlgorithm algorithm :
         {HashAlgorithm::Sha256, HashAlgorithm::Sha1, HashAlgorithm::Md5, HashAlgorithm::Crc32}) {
        const std::wstring_view known = HashAlgorithmName(algorithm);
        if (known.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            const wchar_t c =
                name[i] >= L'a' && name[i] <= L'z' ? static_cast<wchar_t>(name[i] - L'a' + L'A') : name[i];
            same = c == known[i];
        }
        if (same) return algorithm;
    }
    return std::nullopt;
}

#ifdef _WIN32

struct Digest::State {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD crc = 0;
    bool failed = false;

    ~State()
    {
        if (hash) BCryptDestroyHash(hash);
        if (provider) BCryptCloseAlgorithmProvider(provider, 0);
    }
};

Digest::Digest(HashAlgorithm algorithm) : algorithm(algorithm), state(std::make_unique<State>())
{
    if (algorithm == HashAlgorithm::Crc32) return;
    const wchar_t* id = algorithm == HashAlgorithm::Sha256 ? BCRYPT_SHA256_ALGORITHM
                        : algorithm == HashAlgorithm::Sha1 ? BCRYPT_SHA1_ALGORITHM
                                                           : BCRYPT_MD5_ALGORITHM;
    state->failed = !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state->provider, id, nullptr, 0)) ||
                    !BCRYPT_SUCCESS(BCryptCreateHash(state->provider, &state->hash, nullptr, 0, nullptr, 0, 0));
}

Digest::~Digest() = default;

void Digest::Update(const void* bytes, std::size_t count)
{
    // Both take 32-bit lengths; a larger block goes in pieces.
    constexpr std::size_t MAX_PIECE = 0x40000000;
    const auto* data = static_cast<const BYTE*>(bytes);
    while (count > 0 && !state->failed) {
        const std::size_t piece = count < MAX_PIECE ? count : MAX_PIECE;
        if (algorithm == HashAlgorithm::Crc32)
            state->crc = RtlComputeCrc32(state->crc, data, static_cast<INT>(piece));
        else
            state->failed =
                !BCRYPT_SUCCESS(BCryptHashData(state->hash, const_cast<BYTE*>(data), static_cast<ULONG>(piece), 0));
        data += piece;
        count -= piece;
    }
}

std::string Digest::Final()
{
    if (state->failed) return {};
    if (algorithm == HashAlgorithm::Crc32) return CrcHex(state->crc);
    std::vector<unsigned char> value(HashHexLength(algorithm) / 2);
    state->failed = !BCRYPT_SUCCESS(BCryptFinishHash(state->hash, value.data(), static_cast<ULONG>(value.size()), 0));
    if (state->failed) return {};
    // A finished CNG hash takes no more data.
    state->failed = true;
    return Hex(value.data(), value.size());
}

#else

struct Digest::State {
    EVP_MD_CTX* context = nullptr;
    uLong crc = 0;
    bool failed = false;

    ~State() { EVP_MD_CTX_free(context); }
};

Digest::Digest(HashAlgorithm algorithm) : algorithm(algorithm), state(std::make_unique<State>())
{
    if (algorithm == HashAlgorithm::Crc32) {
        state->crc = crc32(0, nullptr, 0);
        return;
    }
    const EVP_MD* method = algorithm == HashAlgorithm::Sha256 ? EVP_sha256()
                           : algorithm == HashAlgorithm::Sha1 ? EVP_sha1()
                                                              : EVP_md5();
    state->context = EVP_MD_CTX_new();
    state->failed = state->context == nullptr || EVP_DigestInit_ex(state->context, method, nullptr) != 1;
}

Digest::~Digest() = default;

void Digest::Update(const void* bytes, std::size_t count)
{
    if (state->failed) return;
    if (algorithm != HashAlgorithm::Crc32) {
        state->failed = EVP_DigestUpdate(state->context, bytes, count) != 1;
        return;
    }
    // zlib takes 32-bit lengths; a larger block goes in pieces.
    constexpr std::size_t MAX_PIECE = 0x40000000;
    const auto* data = static_cast<const Bytef*>(bytes);
    while (count > 0) {
        const std::size_t piece = count < MAX_PIECE ? count : MAX_PIECE;
        state->crc = crc32(state->crc, data, static_cast<uInt>(piece));
        data += piece;
        count -= piece;
    }
}

std::string Digest::Final()
{
    if (state->failed) return {};
    if (algorithm == HashAlgorithm::Crc32) return CrcHex(static_cast<std::uint32_t>(state->crc));
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    state->failed = true;
    if (EVP_DigestFinal_ex(state->context, value, &length) != 1) return {};
    return Hex(value, length);
}

#endif

} // namespace nsFTP
