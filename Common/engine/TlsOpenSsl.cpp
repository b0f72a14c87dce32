// The TLS client of native builds: OpenSSL over memory BIOs, so that OpenSSL never touches
// the socket and the engine's channel keeps its deadlines and interrupts.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <limits>
#include <mutex>

#include "engine/TextCodec.h"
#include "engine/TlsEngine.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace nsSocket {
namespace {

// What one SSL_read hands over at most; a TLS record carries at most 16 KiB.
constexpr std::size_t READ_CHUNK = 16 * 1024;

// One context for the process: loading the system's CA store costs far more than a
// handshake, and data connections must share the context to resume the control's session.
SSL_CTX* SharedContext()
{
    static SSL_CTX* const context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (made == nullptr) return made;
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(made);
        // The chain is judged after the handshake and the user decides: OpenSSL must not
        // end the handshake over it.
        SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_session_cache_mode(made, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        return made;
    }();
    return context;
}

std::wstring LastOpenSslError(const wchar_t* fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    return nsFTP::WireToWide(text.data());
}

std::wstring NameText(const X509_NAME* name)
{
    if (name == nullptr) return {};
    BIO* out = BIO_new(BIO_s_mem());
    if (out == nullptr) return {};
    // "CN=host, O=Example": most specific first, UTF-8 kept as it is.
    X509_NAME_print_ex(out, name, 0,
                       (XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out, &bytes);
    std::wstring text = length > 0 ? nsFTP::WireToWide(std::string_view(bytes, static_cast<std::size_t>(length))) : L"";
    BIO_free(out);
    return text;
}

std::wstring TimeText(const ASN1_TIME* time)
{
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return {};
    // Room for any six ints, so that the compiler can prove nothing is cut off.
    std::array<char, 80> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return nsFTP::WireToWide(text.data());
}

std::wstring VersionText(const SSL* ssl)
{
    switch (SSL_version(ssl)) {
    case TLS1_2_VERSION: return L"TLS 1.2";
    case TLS1_3_VERSION: return L"TLS 1.3";
    default: return nsFTP::WireToWide(SSL_get_version(ssl));
    }
}

bool IsAddressLiteral(const std::string& host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The newest resumable session of a control connection, which its data connections take up
// in turn: a TLS 1.3 server may take each ticket only once, and each resumed connection
// brings the next one.
class SessionStore {
public:
    SessionStore() = default;
    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;
    ~SessionStore() { SSL_SESSION_free(session); }

    // Takes ownership of newer.
    void Keep(SSL_SESSION* newer)
    {
        std::lock_guard lock(mutex);
        SSL_SESSION_free(session);
        session = newer;
    }
    // A reference of the caller's own; null when none is kept.
    SSL_SESSION* Take()
    {
        std::lock_guard lock(mutex);
        if (session != nullptr) SSL_SESSION_up_ref(session);
        return session;
    }

private:
    std::mutex mutex;
    SSL_SESSION* session = nullptr;
};

class OpenSslClient final : public ITlsEngine {
public:
    OpenSslClient(const std::string& host, const OpenSslClient* resumeFrom) : host(host)
    {
        SSL_CTX* context = SharedContext();
        if (context == nullptr) {
            error = LastOpenSslError(L"The TLS library could not be set up.");
            return;
        }
        ssl = SSL_new(context);
        BIO* in = BIO_new(BIO_s_mem());
        BIO* out = BIO_new(BIO_s_mem());
        if (ssl == nullptr || in == nullptr || out == nullptr) {
            BIO_free(in);
            BIO_free(out);
            error = LastOpenSslError(L"The TLS library could not be set up.");
            return;
        }
        fromPeer = in;
        toPeer = out;
        SSL_set_bio(ssl, in, out);
        SSL_set_connect_state(ssl);
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
        if (IsAddressLiteral(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
            SSL_set_tlsext_host_name(ssl, host.c_str());
        }
        if (resumeFrom == nullptr) return;
        sessions = resumeFrom->sessions;
        resumed = sessions->Take();
        if (resumed == nullptr && resumeFrom->ssl != nullptr) resumed = SSL_get1_session(resumeFrom->ssl);
        if (resumed != nullptr) SSL_set_session(ssl, resumed);
    }
    ~OpenSslClient() override
    {
        // A ticket this data connection received is the one the next one resumes.
        SSL_SESSION* newest = ssl != nullptr && resumed != nullptr ? SSL_get1_session(ssl) : nullptr;
        if (newest != nullptr && newest != resumed && SSL_SESSION_is_resumable(newest) == 1) {
            sessions->Keep(newest);
        } else {
            SSL_SESSION_free(newest);
        }
        SSL_SESSION_free(resumed);
        SSL_free(ssl);
    }
    OpenSslClient(const OpenSslClient&) = delete;
    OpenSslClient& operator=(const OpenSslClient&) = delete;

    TlsStatus Handshake(const char* in, std::size_t length, std::size_t& consumed, std::string& out) override
    {
        consumed = 0;
        if (ssl == nullptr) return TlsStatus::Failed;
        if (!Feed(in, length, consumed)) return TlsStatus::Failed;
        const int result = SSL_do_handshake(ssl);
        Drain(out);
        if (result == 1) return TlsStatus::Ok;
        const int reason = SSL_get_error(ssl, result);
        if (reason == SSL_ERROR_WANT_READ) return TlsStatus::NeedMore;
        error = LastOpenSslError(L"The TLS handshake failed.");
        return TlsStatus::Failed;
    }

    void Encrypt(const char* plain, std::size_t length, std::string& out) override
    {
        while (length > 0 && ssl != nullptr) {
            const int part = static_cast<int>(std::min<std::size_t>(length, std::numeric_limits<int>::max()));
            // Memory BIOs take everything: a write never waits.
            const int written = SSL_write(ssl, plain, part);
            if (written <= 0) break;
            plain += written;
            length -= static_cast<std::size_t>(written);
        }
        Drain(out);
    }

    TlsStatus Decrypt(const char* in, std::size_t length, std::size_t& consumed, std::string& plain) override
    {
        consumed = 0;
        if (ssl == nullptr) return TlsStatus::Failed;
        if (!Feed(in, length, consumed)) return TlsStatus::Failed;
        bool produced = false;
        for (;;) {
            const std::size_t before = plain.size();
            plain.resize(before + READ_CHUNK);
            const int read = SSL_read(ssl, plain.data() + before, static_cast<int>(READ_CHUNK));
            plain.resize(before + static_cast<std::size_t>(read > 0 ? read : 0));
            if (read > 0) {
                produced = true;
                continue;
            }
            const int reason = SSL_get_error(ssl, read);
            if (reason == SSL_ERROR_WANT_READ) return produced ? TlsStatus::Ok : TlsStatus::NeedMore;
            if (reason == SSL_ERROR_ZERO_RETURN) return produced ? TlsStatus::Ok : TlsStatus::Closed;
            error = LastOpenSslError(L"The encrypted data from the server is damaged.");
            return TlsStatus::Failed;
        }
    }

    void Shutdown(std::string& out) override
    {
        if (ssl == nullptr) return;
        SSL_shutdown(ssl);
        Drain(out);
    }

    TlsSessionInfo Info() const override
    {
        TlsSessionInfo info;
        if (ssl == nullptr) return info;
        info.version = VersionText(ssl);
        info.cipher = nsFTP::WireToWide(SSL_get_cipher_name(ssl));
        X509* leaf = SSL_get1_peer_certificate(ssl);
        bool nameBad = false;
        if (leaf != nullptr) {
            const int size = i2d_X509(leaf, nullptr);
            if (size > 0) {
                info.certificate.der.resize(static_cast<std::size_t>(size));
                unsigned char* at = info.certificate.der.data();
                i2d_X509(leaf, &at);
            }
            info.certificate.subject = NameText(X509_get_subject_name(leaf));
            info.certificate.issuer = NameText(X509_get_issuer_name(leaf));
            info.certificate.validFrom = TimeText(X509_get0_notBefore(leaf));
            info.certificate.validTo = TimeText(X509_get0_notAfter(leaf));
            std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
            unsigned int digestLength = 0;
            if (X509_digest(leaf, EVP_sha256(), digest.data(), &digestLength) == 1)
                info.certificate.sha256 = LowerHex(digest.data(), digestLength);
            // OpenSSL reports one fault, the chain's before the name's; the name is checked on
            // its own as well, so that a self-signed certificate for another host shows both.
            nameBad = (IsAddressLiteral(host) ? X509_check_ip_asc(leaf, host.c_str(), 0)
                                              : X509_check_host(leaf, host.c_str(), host.size(), 0, nullptr)) != 1;
            X509_free(leaf);
        }
        const long verdict = leaf == nullptr ? X509_V_ERR_UNSPECIFIED : SSL_get_verify_result(ssl);
        const bool chainBad = verdict != X509_V_OK && verdict != X509_V_ERR_HOSTNAME_MISMATCH &&
                              verdict != X509_V_ERR_IP_ADDRESS_MISMATCH;
        std::wstring detail;
        if (chainBad)
            detail =
                L"The certificate is not trusted: " + nsFTP::WireToWide(X509_verify_cert_error_string(verdict)) + L".";
        if (nameBad) {
            if (!detail.empty()) detail += L' ';
            detail += L"The certificate is not for " + nsFTP::WireToWide(host) + L".";
        }
        info.trust = chainBad ? TlsTrust::UntrustedChain : nameBad ? TlsTrust::NameMismatch : TlsTrust::Trusted;
        info.trustDetail = std::move(detail);
        return info;
    }

    std::wstring Error() const override { return error; }

private:
    bool Feed(const char* in, std::size_t length, std::size_t& consumed)
    {
        if (length == 0) return true;
        const int part = static_cast<int>(std::min<std::size_t>(length, std::numeric_limits<int>::max()));
        const int written = BIO_write(fromPeer, in, part);
        if (written <= 0) {
            error = L"The TLS library could not take the server's data.";
            return false;
        }
        consumed = static_cast<std::size_t>(written);
        return true;
    }

    void Drain(std::string& out)
    {
        char* bytes = nullptr;
        const long pending = BIO_get_mem_data(toPeer, &bytes);
        if (pending <= 0) return;
        out.append(bytes, static_cast<std::size_t>(pending));
        (void)BIO_reset(toPeer);
    }

    SSL* ssl = nullptr;
    std::string host; // the name (or address) the certificate must be for
    std::shared_ptr<SessionStore> sessions = std::make_shared<SessionStore>();
    SSL_SESSION* resumed = nullptr; // the session a data connection set out to resume
    BIO* fromPeer = nullptr;        // owned by ssl
    BIO* toPeer = nullptr;          // owned by ssl
    std::wstring error;
};

} // namespace

std::unique_ptr<ITlsEngine> MakeTlsClient(const std::string& host, const ITlsEngine* resumeFrom)
{
    return std::make_unique<OpenSslClient>(host, dynamic_cast<const OpenSslClient*>(resumeFrom));
}

} // namespace nsSocket
