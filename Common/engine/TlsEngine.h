#pragma once
// A TLS client as a transform of bytes, with no socket of its own: the engine's TlsChannel
// moves the bytes over a connected CBlockingSocket, so that the socket's deadlines, caps
// and interrupts hold unchanged. Windows builds implement it with Schannel (secur32,
// crypt32), native builds with OpenSSL.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nsSocket {

// What a step of the transform produced or needs.
enum class TlsStatus {
    Ok,       // done: the handshake is complete, or the bytes were decrypted
    NeedMore, // give it more bytes from the peer, then call again
    Closed,   // the peer closed the TLS session (close_notify)
    Failed,   // the peer's bytes are not TLS, or the handshake failed: Error() says why
};

// The peer certificate as a user is shown it and as a site remembers it.
struct TlsCertificate {
    std::vector<unsigned char> der; // the leaf certificate, DER
    std::wstring subject;           // e.g. "CN=ftp.example.com, O=Example"
    std::wstring issuer;
    std::wstring validFrom; // UTC, "YYYY-MM-DD HH:MM:SS"
    std::wstring validTo;
    std::string sha256; // of der: 64 lower-case hex digits
};

// How the chain and the host name were judged against the system's trusted roots.
enum class TlsTrust {
    Trusted,        // the chain ends in a trusted root and the name matches
    UntrustedChain, // self-signed, an unknown root, a partial chain, expired, revoked
    NameMismatch,   // a good chain for another host name
};

struct TlsSessionInfo {
    std::wstring version; // "TLS 1.2", "TLS 1.3"
    std::wstring cipher;  // e.g. "ECDHE-RSA-AES256-GCM-SHA384"
    TlsCertificate certificate;
    TlsTrust trust = TlsTrust::UntrustedChain;
    std::wstring trustDetail; // why it isn't trusted, for the dialog; empty when trusted
};

class ITlsEngine {
public:
    virtual ~ITlsEngine() = default;

    // The handshake, as the client. Call first with no input: out then holds the
    // ClientHello. Each later call takes what the peer sent (consumed says how much of it
    // was used; keep the rest for the next call) and may append records to send to out.
    // Ok once the session is up (send out first); it never decides trust: Info() tells.
    virtual TlsStatus Handshake(const char* in, std::size_t length, std::size_t& consumed, std::string& out) = 0;
    // Appends the records that carry these bytes to out.
    virtual void Encrypt(const char* plain, std::size_t length, std::string& out) = 0;
    // Takes records from the peer and appends their plaintext to plain (consumed as above).
    // NeedMore while a record is incomplete; Closed on close_notify.
    virtual TlsStatus Decrypt(const char* in, std::size_t length, std::size_t& consumed, std::string& plain) = 0;
    // Appends a close_notify to out.
    virtual void Shutdown(std::string& out) = 0;

    // After a completed handshake.
    virtual TlsSessionInfo Info() const = 0;
    // Why Handshake or Decrypt failed, as a sentence for the error box.
    virtual std::wstring Error() const = 0;
};

// Bytes as lower-case hex, as TlsCertificate::sha256 holds a fingerprint.
inline std::string LowerHex(const unsigned char* bytes, std::size_t count)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    return hex;
}

// A client for host (the name that is checked against the certificate; an IP literal is
// checked as an address). resumeFrom: the control connection's engine, whose session a
// data connection resumes where the library can; null for the control connection.
std::unique_ptr<ITlsEngine> MakeTlsClient(const std::string& host, const ITlsEngine* resumeFrom);

} // namespace nsSocket
