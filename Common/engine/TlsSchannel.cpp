// The TLS client of the Windows builds, on Schannel. Schannel only transforms buffers here;
// the bytes travel through the engine's own socket.
//
// The credentials ask for TLS 1.2 through SCHANNEL_CRED, which every Schannel (Wine's too)
// accepts. Schannel negotiates TLS 1.3 only through SCH_CREDENTIALS, and a TLS 1.3 session
// can need a reply to a post-handshake message while the caller is only decrypting, which
// ITlsEngine::Decrypt has no place for.
#define SECURITY_WIN32
#include <windows.h>

#include <bcrypt.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
#include <wininet.h> // the SSL policy's SECURITY_FLAG_IGNORE_* checks

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>

#include "engine/TlsEngine.h"

namespace nsSocket {
namespace {

constexpr unsigned long kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                          ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                          ISC_REQ_MANUAL_CRED_VALIDATION;

// Chain errors that say nothing about the chain itself, only that revocation could not be
// looked up (no revocation check is asked for, but a system policy may add one).
constexpr char kAlert = 21; // the record type of alerts

constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

struct Credentials {
    CredHandle handle{};
    Credentials() = default;
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;
    ~Credentials() { FreeCredentialsHandle(&handle); }
};

struct ContextBuffer {
    void* data = nullptr;
    ContextBuffer() = default;
    ContextBuffer(const ContextBuffer&) = delete;
    ContextBuffer& operator=(const ContextBuffer&) = delete;
    ~ContextBuffer()
    {
        if (data) FreeContextBuffer(data);
    }
};

struct CertificateGuard {
    PCCERT_CONTEXT context = nullptr;
    CertificateGuard() = default;
    CertificateGuard(const CertificateGuard&) = delete;
    CertificateGuard& operator=(const CertificateGuard&) = delete;
    ~CertificateGuard()
    {
        if (context) CertFreeCertificateContext(context);
    }
};

struct ChainGuard {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    ChainGuard() = default;
    ChainGuard(const ChainGuard&) = delete;
    ChainGuard& operator=(const ChainGuard&) = delete;
    ~ChainGuard()
    {
        if (chain) CertFreeCertificateChain(chain);
    }
};

struct HashGuard {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    HashGuard() = default;
    HashGuard(const HashGuard&) = delete;
    HashGuard& operator=(const HashGuard&) = delete;
    ~HashGuard()
    {
        if (hash) BCryptDestroyHash(hash);
        if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

std::wstring Widen(const std::string& text)
{
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::wstring Hex32(long status)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// A sentence for a failed Schannel call; the code stays in it for a report.
std::wstring Describe(const wchar_t* what, SECURITY_STATUS status)
{
    const wchar_t* reason = nullptr;
    switch (status) {
    case SEC_E_ILLEGAL_MESSAGE: reason = L"the server sent something that is not a valid TLS message"; break;
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION: reason = L"the server and this computer share no TLS version or cipher"; break;
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED: reason = L"a TLS record from the server was damaged"; break;
    case SEC_E_INVALID_TOKEN:
    case SEC_E_INTERNAL_ERROR: reason = L"the server's TLS messages could not be understood"; break;
    default: break;
    }
    std::wstring text = what;
    if (reason) {
        text += L": ";
        text += reason;
    } else {
        wchar_t* system = nullptr;
        DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
        if (length > 0 && system) {
            std::wstring message(system, length);
            while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
                message.pop_back();
            text += L": " + message;
        }
        if (system) LocalFree(system);
    }
    return text + L" (" + Hex32(status) + L").";
}

// Every TLS record starts with a content type from 20 to 23 and major version 3. Checking
// this before Schannel sees the bytes turns a server that answers in plain text into a
// clear failure, instead of a wait for a "record" whose length was read from the text.
bool LooksLikeRecord(const char* in, std::size_t length)
{
    if (length >= 1 && (static_cast<unsigned char>(in[0]) < 20 || static_cast<unsigned char>(in[0]) > 23)) return false;
    return length < 2 || in[1] == 3;
}

std::wstring AlertText(unsigned char alert)
{
    const wchar_t* reason = nullptr;
    switch (alert) {
    case 40: reason = L"no TLS settings in common"; break;
    case 70: reason = L"it does not accept this TLS version"; break;
    case 71: reason = L"it wants stronger ciphers"; break;
    case 80: reason = L"an internal error"; break;
    case 112: reason = L"it does not know the host name"; break;
    default: break;
    }
    std::wstring text = L"The server refused the TLS handshake";
    if (reason) text += std::wstring(L": ") + reason;
    return text + L" (TLS alert " + std::to_wstring(alert) + L").";
}

std::wstring FormatTime(const FILETIME& time)
{
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return {};
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
                  utc.wSecond);
    return text;
}

std::wstring NameText(const CERT_NAME_BLOB& name)
{
    // Most-specific part first ("CN=..., O=..."), unquoted: the text is only shown.
    DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG | CERT_NAME_STR_NO_QUOTING_FLAG;
    DWORD length = CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), flags, nullptr, 0);
    if (length <= 1) return {};
    std::wstring text(length, L'\0');
    CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), flags, text.data(), length);
    text.resize(length - 1);
    return text;
}

std::string Sha256Hex(const std::vector<unsigned char>& data)
{
    HashGuard guard;
    unsigned char digest[32];
    if (BCryptOpenAlgorithmProvider(&guard.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(guard.algorithm, &guard.hash, nullptr, 0, nullptr, 0, 0) != 0 ||
        BCryptHashData(guard.hash, const_cast<unsigned char*>(data.data()), static_cast<ULONG>(data.size()), 0) != 0 ||
        BCryptFinishHash(guard.hash, digest, sizeof digest, 0) != 0)
        return {};
    return LowerHex(digest, sizeof digest);
}

std::wstring VersionText(DWORD protocol)
{
    if (protocol & SP_PROT_TLS1_2) return L"TLS 1.2";
    if (protocol & SP_PROT_TLS1_1) return L"TLS 1.1";
    if (protocol & SP_PROT_TLS1_0) return L"TLS 1.0";
    if (protocol & 0x00003000) return L"TLS 1.3"; // SP_PROT_TLS1_3, absent from older headers
    return L"TLS (" + Hex32(static_cast<long>(protocol)) + L")";
}

// What the chain and the name checks found, for the dialog.
std::wstring ChainProblems(DWORD status)
{
    struct Problem {
        DWORD bit;
        const wchar_t* text;
    };
    static constexpr Problem kProblems[] = {
        {CERT_TRUST_IS_UNTRUSTED_ROOT, L"The certificate chain ends in a root that is not trusted."},
        {CERT_TRUST_IS_PARTIAL_CHAIN, L"The certificate does not lead to a trusted root."},
        {CERT_TRUST_IS_NOT_TIME_VALID, L"The certificate has expired or is not valid yet."},
        {CERT_TRUST_IS_REVOKED, L"The certificate has been revoked."},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, L"A signature in the certificate chain is not valid."},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, L"The certificate is not meant for a server."},
        {CERT_TRUST_IS_CYCLIC, L"The certificate chain is cyclic."},
    };
    std::wstring text;
    for (const Problem& problem : kProblems) {
        if (!(status & problem.bit)) continue;
        if (!text.empty()) text += L' ';
        text += problem.text;
    }
    return text;
}

class SchannelClient final : public ITlsEngine {
public:
    SchannelClient(const std::string& host, const SchannelClient* resumeFrom) : host_(Widen(host))
    {
        // Schannel keeps sessions per credentials handle and target name: a data connection
        // that uses both of the control connection's resumes its session where Schannel can
        // (Windows; Wine's Schannel does not resume).
        if (resumeFrom && resumeFrom->credentials_) {
            credentials_ = resumeFrom->credentials_;
            target_ = resumeFrom->target_;
            return;
        }
        target_ = host_;
        auto credentials = std::make_shared<Credentials>();
        SCHANNEL_CRED settings{};
        settings.dwVersion = SCHANNEL_CRED_VERSION;
        settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        // Trust is judged by Info(), after the handshake; no client certificate is offered.
        settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        SECURITY_STATUS status =
            AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                      &settings, nullptr, nullptr, &credentials->handle, nullptr);
        if (status != SEC_E_OK) {
            error_ = Describe(L"TLS is not available on this computer", status);
            return;
        }
        credentials_ = std::move(credentials);
    }

    ~SchannelClient() override
    {
        if (haveContext_) DeleteSecurityContext(&context_);
    }

    TlsStatus Handshake(const char* in, std::size_t length, std::size_t& consumed, std::string& out) override
    {
        consumed = 0;
        if (!credentials_ || failed_) return TlsStatus::Failed;
        if (!haveContext_) return Step(nullptr, 0, out);
        while (consumed < length) {
            if (!LooksLikeRecord(in + consumed, length - consumed))
                return Fail(L"The TLS handshake failed: the server's reply is not TLS.");
            // Schannel reports a server's fatal alert as an internal error; the alert itself
            // says more (a server that wants another TLS version, say).
            if (length - consumed >= 7 && in[consumed] == kAlert && in[consumed + 5] == 2)
                return Fail(AlertText(static_cast<unsigned char>(in[consumed + 6])));
            std::size_t used = 0;
            TlsStatus status = Step(in + consumed, length - consumed, out, &used);
            consumed += used;
            if (status != TlsStatus::NeedMore || used == 0) return status;
        }
        return TlsStatus::NeedMore;
    }

    void Encrypt(const char* plain, std::size_t length, std::string& out) override
    {
        if (!ready_ || failed_) return;
        const std::size_t records = (length + sizes_.cbMaximumMessage - 1) / sizes_.cbMaximumMessage;
        out.reserve(out.size() + length + records * (sizes_.cbHeader + sizes_.cbTrailer));
        while (length > 0) {
            std::size_t chunk = std::min<std::size_t>(length, sizes_.cbMaximumMessage);
            std::size_t start = out.size();
            out.resize(start + sizes_.cbHeader + chunk + sizes_.cbTrailer);
            char* record = out.data() + start;
            std::memcpy(record + sizes_.cbHeader, plain, chunk);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record},
                {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record + sizes_.cbHeader + chunk},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
            if (status != SEC_E_OK) {
                // The session is unusable: the next Decrypt reports it, as Encrypt can't.
                out.resize(start);
                Fail(Describe(L"Encrypting for the TLS session failed", status));
                return;
            }
            out.resize(start + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            plain += chunk;
            length -= chunk;
        }
    }

    TlsStatus Decrypt(const char* in, std::size_t length, std::size_t& consumed, std::string& plain) override
    {
        consumed = 0;
        if (failed_) return TlsStatus::Failed;
        if (closed_) return TlsStatus::Closed;
        if (!ready_) return Fail(L"The TLS session is not established.");
        // DecryptMessage works in place and the caller's bytes are const: one copy per call,
        // in which each record is decrypted where it lies.
        scratch_.assign(in, in + length);
        bool produced = false;
        while (consumed < length) {
            const std::size_t remaining = length - consumed;
            if (!LooksLikeRecord(in + consumed, remaining))
                return Fail(L"The TLS session failed: the server sent data that is not TLS.");
            // An alert (a close_notify above all) after data waits for the next call, so that
            // the data is delivered first and the caller still holds bytes that say Closed.
            const bool alert = in[consumed] == kAlert;
            if (alert && produced) break;
            SecBuffer buffers[4] = {
                {static_cast<unsigned long>(remaining), SECBUFFER_DATA, scratch_.data() + consumed},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) break;
            std::size_t extra = 0, data = 0;
            for (const SecBuffer& buffer : buffers) {
                if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer.cbBuffer;
                if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
                    plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
                    data += buffer.cbBuffer;
                }
            }
            if (extra > remaining) return Fail(L"The TLS session failed: Schannel reported more bytes than it got.");
            consumed += remaining - extra;
            // Windows reports the peer's close_notify as an expired context, Wine as an alert
            // record that decrypts to no bytes.
            if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alert && data == 0)) {
                closed_ = true;
                return TlsStatus::Closed;
            }
            if (status == SEC_I_RENEGOTIATE)
                return Fail(L"The server asked to renegotiate the TLS session, which this program does not do.");
            if (status != SEC_E_OK) return Fail(Describe(L"The TLS session failed", status));
            produced = produced || data > 0;
            if (extra == 0) break;
        }
        return produced ? TlsStatus::Ok : TlsStatus::NeedMore;
    }

    void Shutdown(std::string& out) override
    {
        if (!haveContext_) return;
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc controlDescription{SECBUFFER_VERSION, 1, &control};
        if (ApplyControlToken(&context_, &controlDescription) != SEC_E_OK) return;
        SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc tokenDescription{SECBUFFER_VERSION, 1, &token};
        unsigned long attributes = 0;
        SECURITY_STATUS status =
            InitializeSecurityContextW(&credentials_->handle, &context_, nullptr, kContextRequest, 0, 0, nullptr, 0,
                                       nullptr, &tokenDescription, &attributes, nullptr);
        ContextBuffer owned;
        owned.data = token.pvBuffer;
        if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && token.pvBuffer)
            out.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    }

    TlsSessionInfo Info() const override { return info_; }

    std::wstring Error() const override { return error_; }

private:
    TlsStatus Fail(std::wstring text)
    {
        failed_ = true;
        error_ = std::move(text);
        return TlsStatus::Failed;
    }

    // One call of InitializeSecurityContextW on a segment that starts at a record boundary.
    TlsStatus Step(const char* in, std::size_t length, std::string& out, std::size_t* used = nullptr)
    {
        SecBuffer inputs[2] = {
            {static_cast<unsigned long>(length), SECBUFFER_TOKEN, const_cast<char*>(in)},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, inputs};
        for (;;) {
            SecBuffer outputs[2] = {
                {0, SECBUFFER_TOKEN, nullptr},
                {0, SECBUFFER_ALERT, nullptr},
            };
            SecBufferDesc outputDescription{SECBUFFER_VERSION, 2, outputs};
            unsigned long attributes = 0;
            SECURITY_STATUS status = InitializeSecurityContextW(
                &credentials_->handle, haveContext_ ? &context_ : nullptr, target_.empty() ? nullptr : target_.data(),
                kContextRequest, 0, 0, in ? &inputDescription : nullptr, 0, haveContext_ ? nullptr : &context_,
                &outputDescription, &attributes, nullptr);
            ContextBuffer token, alert;
            token.data = outputs[0].pvBuffer;
            alert.data = outputs[1].pvBuffer;
            if (!haveContext_ && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
            if (status == SEC_E_INCOMPLETE_MESSAGE) return TlsStatus::NeedMore;
            if (outputs[0].pvBuffer && outputs[0].cbBuffer > 0)
                out.append(static_cast<const char*>(outputs[0].pvBuffer), outputs[0].cbBuffer);
            if (status == SEC_I_INCOMPLETE_CREDENTIALS && !declinedClientCertificate_) {
                declinedClientCertificate_ = true; // asked for a client certificate: offer none
                continue;
            }
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
                if (outputs[1].pvBuffer && outputs[1].cbBuffer > 0)
                    out.append(static_cast<const char*>(outputs[1].pvBuffer), outputs[1].cbBuffer);
                return Fail(Describe(L"The TLS handshake failed", status));
            }
            if (used) {
                std::size_t extra = inputs[1].BufferType == SECBUFFER_EXTRA ? inputs[1].cbBuffer : 0;
                *used = length - std::min(extra, length);
            }
            if (status == SEC_I_CONTINUE_NEEDED) return TlsStatus::NeedMore;
            return Complete();
        }
    }

    TlsStatus Complete()
    {
        SECURITY_STATUS status = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
        if (status != SEC_E_OK) return Fail(Describe(L"The TLS session has no record sizes", status));
        if (sizes_.cbMaximumMessage == 0) return Fail(L"The TLS session has no room for data.");
        ready_ = true;
        ReadSession();
        ReadCertificate();
        return TlsStatus::Ok;
    }

    void ReadSession()
    {
        SecPkgContext_ConnectionInfo connection{};
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &connection) == SEC_E_OK)
            info_.version = VersionText(connection.dwProtocol);
        SecPkgContext_CipherInfo cipher{};
        cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_CIPHER_INFO, &cipher) == SEC_E_OK && cipher.szCipherSuite[0])
            info_.cipher = cipher.szCipherSuite;
        // Wine names the hash of an AEAD suite "<unknown>"; the connection's hash is it.
        static constexpr wchar_t kUnknown[] = L"<unknown>";
        std::size_t unknown = info_.cipher.find(kUnknown);
        std::wstring hash = HashName(connection.aiHash);
        if (unknown != std::wstring::npos && !hash.empty())
            info_.cipher.replace(unknown, std::size(kUnknown) - 1, hash);
        else if (info_.cipher.empty() || unknown != std::wstring::npos)
            info_.cipher = CipherFromAlgorithms(connection);
    }

    static std::wstring HashName(ALG_ID hash)
    {
        switch (hash) {
        case CALG_SHA_256: return L"SHA256";
        case CALG_SHA_384: return L"SHA384";
        case CALG_SHA1: return L"SHA";
        default: return {};
        }
    }

    static std::wstring CipherFromAlgorithms(const SecPkgContext_ConnectionInfo& connection)
    {
        std::wstring text;
        switch (connection.aiExch) {
        case CALG_ECDH_EPHEM: text = L"ECDHE"; break;
        case CALG_DH_EPHEM: text = L"DHE"; break;
        case CALG_RSA_KEYX: text = L"RSA"; break;
        default: text = L"KX-" + std::to_wstring(connection.aiExch); break;
        }
        switch (connection.aiCipher) {
        case CALG_AES_128: text += L"-AES128"; break;
        case CALG_AES_256: text += L"-AES256"; break;
        default: text += L"-" + std::to_wstring(connection.aiCipher); break;
        }
        std::wstring hash = HashName(connection.aiHash);
        return hash.empty() ? text : text + L"-" + hash;
    }

    void ReadCertificate()
    {
        CertificateGuard leaf;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &leaf.context) != SEC_E_OK ||
            !leaf.context) {
            info_.trust = TlsTrust::UntrustedChain;
            info_.trustDetail = L"The server showed no certificate.";
            return;
        }
        TlsCertificate& certificate = info_.certificate;
        certificate.der.assign(leaf.context->pbCertEncoded, leaf.context->pbCertEncoded + leaf.context->cbCertEncoded);
        certificate.subject = NameText(leaf.context->pCertInfo->Subject);
        certificate.issuer = NameText(leaf.context->pCertInfo->Issuer);
        certificate.validFrom = FormatTime(leaf.context->pCertInfo->NotBefore);
        certificate.validTo = FormatTime(leaf.context->pCertInfo->NotAfter);
        certificate.sha256 = Sha256Hex(certificate.der);
        Judge(leaf.context);
    }

    // The chain's own status and the SSL policy are both read: Wine's policy passes a chain
    // that ends in an untrusted root, which only the status shows.
    void Judge(PCCERT_CONTEXT leaf)
    {
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        char* usages[] = {serverAuth};
        CERT_CHAIN_PARA parameters{};
        parameters.cbSize = sizeof parameters;
        parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
        parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        ChainGuard chain;
        if (!CertGetCertificateChain(nullptr, leaf, nullptr, leaf->hCertStore, &parameters, 0, nullptr, &chain.chain)) {
            info_.trust = TlsTrust::UntrustedChain;
            info_.trustDetail =
                L"The certificate chain could not be built (" + Hex32(static_cast<long>(GetLastError())) + L").";
            return;
        }
        const DWORD chainStatus = chain.chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
        const DWORD policyStatus = Policy(chain.chain, 0);
        // The name alone, with the chain's faults set aside, so that a self-signed
        // certificate for another host is reported with both faults.
        const DWORD nameStatus =
            Policy(chain.chain, SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_WRONG_USAGE |
                                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION);
        const bool nameBad = nameStatus == static_cast<DWORD>(CERT_E_CN_NO_MATCH) ||
                             policyStatus == static_cast<DWORD>(CERT_E_CN_NO_MATCH);
        const bool chainBad = chainStatus != CERT_TRUST_NO_ERROR ||
                              (policyStatus != 0 && policyStatus != static_cast<DWORD>(CERT_E_CN_NO_MATCH));
        std::wstring detail;
        if (chainBad) {
            detail = ChainProblems(chainStatus);
            if (detail.empty())
                detail = L"The certificate is not trusted (" + Hex32(static_cast<long>(policyStatus)) + L").";
        }
        if (nameBad) {
            if (!detail.empty()) detail += L' ';
            detail += L"The certificate is not for " + host_ + L".";
        }
        info_.trust = chainBad ? TlsTrust::UntrustedChain : nameBad ? TlsTrust::NameMismatch : TlsTrust::Trusted;
        info_.trustDetail = std::move(detail);
    }

    DWORD Policy(PCCERT_CHAIN_CONTEXT chain, DWORD ignore) const
    {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = ignore;
        ssl.pwszServerName = const_cast<wchar_t*>(host_.c_str());
        CERT_CHAIN_POLICY_PARA parameters{};
        parameters.cbSize = sizeof parameters;
        parameters.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &parameters, &status))
            return static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
        return status.dwError;
    }

    std::wstring host_;   // checked against the certificate
    std::wstring target_; // Schannel's session cache key, shared with the resumed session
    std::shared_ptr<Credentials> credentials_;
    CtxtHandle context_{};
    bool haveContext_ = false;
    bool ready_ = false;
    bool closed_ = false;
    bool failed_ = false;
    bool declinedClientCertificate_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::vector<char> scratch_;
    TlsSessionInfo info_;
    std::wstring error_;
};

} // namespace

std::unique_ptr<ITlsEngine> MakeTlsClient(const std::string& host, const ITlsEngine* resumeFrom)
{
    // Both engines of one process come from here, so the other engine is ours.
    return std::make_unique<SchannelClient>(host, static_cast<const SchannelClient*>(resumeFrom));
}

} // namespace nsSocket
