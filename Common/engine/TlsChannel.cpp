#include "engine/TlsChannel.h"

#include <algorithm>
#include <cstring>

namespace nsSocket {
namespace {

constexpr wchar_t kHandshakeTimeout[] = L"The server did not complete the TLS handshake in time.";
constexpr wchar_t kHandshakeClosed[] = L"The server closed the connection during the TLS handshake.";
constexpr wchar_t kNotTls[] =
    L"The server did not answer the TLS handshake with TLS (it sent plain text or other data). The connection was "
    L"closed.";
constexpr wchar_t kHandshakeFailed[] = L"The TLS handshake with the server failed: ";
constexpr wchar_t kRecordCut[] =
    L"The server ended the encrypted connection in the middle of a TLS record. The data may be incomplete.";
constexpr wchar_t kDamaged[] = L"The encrypted data from the server could not be read: ";
constexpr wchar_t kReceiveTimeout[] = L"Unable to receive data (receive timeout).";
constexpr wchar_t kSendTimeout[] = L"Unable to send data (send timeout).";
// A TLS library error has no socket error number.
constexpr int TLS_ERROR_CODE = 0;
// The record framing: type, version (2 bytes), length (2 bytes).
constexpr std::size_t RECORD_HEADER_SIZE = 5;
constexpr unsigned char RECORD_ALERT = 0x15;
constexpr unsigned char RECORD_HANDSHAKE = 0x16;
// Received bytes are taken in pieces of this size: a few records at a time.
constexpr std::size_t RAW_CHUNK = 64 * 1024;
// A goodbye must not hold a closing connection.
constexpr int CLOSE_NOTIFY_SECONDS = 1;

// What is left until the deadline, rounded up to whole seconds; 0 when it has passed.
int SecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
}

std::chrono::steady_clock::time_point DeadlineIn(int timeoutSeconds)
{
    return std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds, 0));
}

} // namespace

TlsChannel::TlsChannel(IBlockingSocket& socket, std::unique_ptr<ITlsEngine> engine)
    : socket(socket), engine(std::move(engine))
{
}

TlsChannel::TlsChannel(std::unique_ptr<IBlockingSocket> socket, std::unique_ptr<ITlsEngine> engine)
    : owned(std::move(socket)), socket(*owned), engine(std::move(engine))
{
}

void TlsChannel::TrackRecords(const char* bytes, std::size_t length)
{
    std::size_t at = 0;
    while (at < length) {
        if (bodyLeft > 0) {
            const std::size_t take = std::min(bodyLeft, length - at);
            bodyLeft -= take;
            at += take;
            continue;
        }
        header[headerFill++] = static_cast<unsigned char>(bytes[at++]);
        if (headerFill == RECORD_HEADER_SIZE) {
            bodyLeft = static_cast<std::size_t>(header[3]) << 8 | header[4];
            headerFill = 0;
        }
    }
}

bool TlsChannel::ReceiveRaw(std::chrono::steady_clock::time_point deadline)
{
    const int seconds = SecondsLeft(deadline);
    if (seconds == 0) throw CBlockingSocketException(kReceiveTimeout, SOCKET_ERROR_TIMED_OUT);
    const std::size_t before = raw.size();
    raw.resize(before + RAW_CHUNK);
    int received = 0;
    try {
        received = socket.Receive(raw.data() + before, static_cast<int>(RAW_CHUNK), seconds);
    } catch (...) {
        raw.resize(before);
        throw;
    }
    raw.resize(before + static_cast<std::size_t>(received));
    TrackRecords(raw.data() + before, static_cast<std::size_t>(received));
    return received > 0;
}

void TlsChannel::SendRaw(const std::string& bytes, std::chrono::steady_clock::time_point deadline)
{
    if (bytes.empty()) return;
    const int seconds = SecondsLeft(deadline);
    if (seconds == 0) throw CBlockingSocketException(kSendTimeout, SOCKET_ERROR_TIMED_OUT);
    socket.SendAll(bytes.data(), static_cast<int>(bytes.size()), seconds);
}

void TlsChannel::Handshake(int timeoutSeconds)
{
    const auto deadline = DeadlineIn(timeoutSeconds);
    std::string out;
    std::size_t consumed = 0;
    bool first = true;
    try {
        TlsStatus status = engine->Handshake(nullptr, 0, consumed, out);
        for (;;) {
            SendRaw(out, deadline);
            out.clear();
            if (status == TlsStatus::Ok) break;
            if (status != TlsStatus::NeedMore)
                throw CBlockingSocketException(kHandshakeFailed + engine->Error(), TLS_ERROR_CODE);
            if (!ReceiveRaw(deadline)) throw CBlockingSocketException(kHandshakeClosed, TLS_ERROR_CODE);
            // A server answers a ClientHello with a handshake record or an alert; anything
            // else (an FTP reply, say) is no TLS at all.
            if (first && static_cast<unsigned char>(raw[0]) != RECORD_HANDSHAKE &&
                static_cast<unsigned char>(raw[0]) != RECORD_ALERT)
                throw CBlockingSocketException(kNotTls, TLS_ERROR_CODE);
            first = false;
            status = engine->Handshake(raw.data(), raw.size(), consumed, out);
            raw.erase(0, consumed);
        }
    } catch (const CBlockingSocketException& failure) {
        if (failure.ErrorCode() != SOCKET_ERROR_INTERRUPTED && SecondsLeft(deadline) == 0)
            throw CBlockingSocketException(kHandshakeTimeout, SOCKET_ERROR_TIMED_OUT);
        throw;
    }
    established = true;
}

int TlsChannel::SendAll(const char* bytes, int length, int timeoutSeconds)
{
    const auto deadline = DeadlineIn(timeoutSeconds);
    sealed.clear();
    engine->Encrypt(bytes, static_cast<std::size_t>(std::max(length, 0)), sealed);
    SendRaw(sealed, deadline);
    return length;
}

int TlsChannel::Receive(char* buffer, int capacity, int timeoutSeconds)
{
    if (capacity <= 0) return 0;
    const auto deadline = DeadlineIn(timeoutSeconds);
    for (;;) {
        if (plainRead < plain.size()) {
            const std::size_t count = std::min(plain.size() - plainRead, static_cast<std::size_t>(capacity));
            std::memcpy(buffer, plain.data() + plainRead, count);
            plainRead += count;
            if (plainRead == plain.size()) {
                plain.clear();
                plainRead = 0;
            }
            return static_cast<int>(count);
        }
        if (peerClosed) return 0;
        // The engine is asked even without new bytes: it may hold a close_notify that came
        // behind the last data, and a server that waits for the client's close would
        // otherwise hold the transfer until the timeout.
        if (!engineDrained || !raw.empty()) {
            std::size_t consumed = 0;
            const TlsStatus status = engine->Decrypt(raw.data(), raw.size(), consumed, plain);
            raw.erase(0, consumed);
            if (status == TlsStatus::Failed) throw CBlockingSocketException(kDamaged + engine->Error(), TLS_ERROR_CODE);
            if (status == TlsStatus::Closed) peerClosed = true;
            engineDrained = status == TlsStatus::NeedMore || (status == TlsStatus::Ok && plain.empty());
            if (!engineDrained) continue;
        }
        engineDrained = false;
        if (!ReceiveRaw(deadline)) {
            if (InsideRecord()) throw CBlockingSocketException(kRecordCut, TLS_ERROR_CODE);
            // An end of stream between records: the server's final reply says whether
            // everything came.
            peerClosed = true;
        }
    }
}

void TlsChannel::Close()
{
    // The close_notify answers the server's too: a server that waits for it and reads the end
    // of the stream instead counts the connection as broken, and OpenSSL's then drops the TLS
    // session that later data connections must resume (vsftpd with require_ssl_reuse).
    if (established) {
        sealed.clear();
        engine->Shutdown(sealed);
        const auto deadline = DeadlineIn(CLOSE_NOTIFY_SECONDS);
        try {
            SendRaw(sealed, deadline);
            // What the peer still sends (session tickets, its own close_notify) is read
            // before the socket closes: closing over unread bytes resets the connection,
            // and a server takes that reset for a broken upload. The engine sees it too,
            // for the tickets that later data connections resume.
            std::size_t consumed = 0;
            while (!peerClosed && ReceiveRaw(deadline) &&
                   engine->Decrypt(raw.data(), raw.size(), consumed, plain) != TlsStatus::Failed) {
                raw.erase(0, consumed);
                plain.clear();
            }
        } catch (const CBlockingSocketException&) {
            // The connection is going anyway.
        }
    }
    socket.Close();
}

} // namespace nsSocket
