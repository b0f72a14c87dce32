#pragma once
// The FTP engine: one object per connection session. Every operation runs on the
// caller's thread and blocks it; failures are shown to the user through the reporter.
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlockingSocket.h"
#include "engine/Digest.h"
#include "engine/FTPDataTypes.h"
#include "engine/ServerFeatures.h"
#include "engine/TlsChannel.h"

namespace nsFTP {

constexpr int DEFAULT_TIMEOUT_SECONDS = 10;
constexpr std::size_t RECEIVE_BUFFER_SIZE = 2048;
// Shown when a command would carry a line break onto the control connection.
constexpr const wchar_t* COMMAND_LINE_BREAK_TEXT =
    L"A name or command that contains a line break cannot be sent to the server.";

// Shown when the server closes the control connection instead of confirming a transfer.
extern const wchar_t* const CONNECTION_CLOSED_TEXT;

// What a server may make the engine hold. Past a cap the operation fails with one of the
// texts below; a reply past its cap also closes the connection, since what follows it can
// no longer be told apart.
// The fuzz build lowers the reply caps through these macros so that inputs of a few KB
// reach them; every other build takes the values below.
#ifndef ORVID_MAX_REPLY_LINE_BYTES
#define ORVID_MAX_REPLY_LINE_BYTES (64 * 1024)
#endif
#ifndef ORVID_MAX_REPLY_LINES
#define ORVID_MAX_REPLY_LINES 10000
#endif
#ifndef ORVID_MAX_REPLY_BYTES
#define ORVID_MAX_REPLY_BYTES (1024 * 1024)
#endif
constexpr std::size_t MAX_REPLY_LINE_BYTES = ORVID_MAX_REPLY_LINE_BYTES;
constexpr std::size_t MAX_REPLY_LINES = ORVID_MAX_REPLY_LINES;
constexpr std::size_t MAX_REPLY_BYTES = ORVID_MAX_REPLY_BYTES;
constexpr std::size_t MAX_LISTING_BYTES = 256 * 1024 * 1024;
constexpr std::size_t MAX_LISTING_ENTRIES = 4000000;
// A listing must keep up this average rate once the first timeout has passed, so that a
// server trickling an endless listing can't hold the caller.
constexpr std::size_t MIN_LISTING_BYTES_PER_SECOND = 1024;
// QUIT's reply is awaited at most this long, whatever the site's timeout: leaving must
// not wait on the server.
constexpr int LOGOFF_WAIT_SECONDS = 3;
extern const wchar_t* const REPLY_TIMEOUT_TEXT;
extern const wchar_t* const REPLY_TOO_LONG_TEXT;
extern const wchar_t* const LISTING_TOO_LARGE_TEXT;
extern const wchar_t* const LISTING_TOO_SLOW_TEXT;
extern const wchar_t* const OUT_OF_MEMORY_TEXT;

// The path of a 257 reply: RFC 959 quotes it and doubles quotes inside it; a reply that
// quotes nothing gives its first word.
std::wstring PathFromPwdReply(const std::wstring& text);

// The questions FTP over TLS puts to the user, asked on the engine's thread during LogOn.
// Without an answerer every question is answered No.
class ITlsQuestions {
public:
    virtual ~ITlsQuestions() = default;
    // "If available" and the server offers no TLS (or the logon goes through a firewall,
    // which TLS can't protect): true sends the password in clear text.
    virtual bool ContinueWithoutTls(const LogonSettings& settings) = 0;
    // The server's certificate is not trusted (session.trust says why): true goes on with it.
    virtual bool AcceptCertificate(const LogonSettings& settings, const nsSocket::TlsSessionInfo& session) = 0;
};

extern const wchar_t* const AUTH_TLS_REFUSED_TEXT;
extern const wchar_t* const PLAIN_LOGON_REFUSED_TEXT;
extern const wchar_t* const TLS_THROUGH_FIREWALL_TEXT;
extern const wchar_t* const PLAIN_AFTER_AUTH_TEXT;
extern const wchar_t* const CERTIFICATE_REFUSED_TEXT;
extern const wchar_t* const DATA_NOT_PROTECTED_TEXT;
extern const wchar_t* const DATA_CERTIFICATE_CHANGED_TEXT;
extern const wchar_t* const EPSV_REPLY_INVALID_TEXT;
extern const wchar_t* const EPSV_REFUSED_IPV6_TEXT;
extern const wchar_t* const EPRT_REFUSED_IPV6_TEXT;

// A time of RFC 3659 (YYYYMMDDHHMMSS, then optionally "." and fraction digits, UTC) as
// seconds since 1970 UTC; the fraction is dropped. Nothing else is taken: no sign, no
// blanks, no 61st second, no 30 February.
std::optional<std::int64_t> ParseFactTime(std::wstring_view text);
// The YYYYMMDDHHMMSS text of seconds since 1970 UTC (years 1 to 9999).
std::wstring FactTimeText(std::int64_t utcSeconds);

// A remote file's digest as the server reported it, hex in lower case.
struct RemoteHash {
    HashAlgorithm algorithm = HashAlgorithm::Sha256;
    std::string hex;
};

extern const wchar_t* const RESUME_NOT_OFFERED_TEXT;

class ListingSink;
class CallerTransferSocket;

class CFTPClient {
public:
    // Takes ownership of the control socket, which is not open yet.
    explicit CFTPClient(nsSocket::IBlockingSocket* controlSocket);
    virtual ~CFTPClient();
    CFTPClient(const CFTPClient&) = delete;
    CFTPClient& operator=(const CFTPClient&) = delete;

    bool LogOn(const LogonSettings& settings, int timeoutSeconds);
    // QUIT, its reply awaited at most replyWaitSeconds (and never longer than the site's
    // timeout); the reply result. The connection is closed in every case.
    int LogOff(int replyWaitSeconds = LOGOFF_WAIT_SECONDS);

    // One command line; false when it could not be sent (the connection is then closed) or
    // holds a line break (nothing is sent, the connection stays).
    bool SendCommand(const std::wstring& command, bool report);
    // One complete reply, multi-line replies joined with CR LF. The whole reply must arrive
    // within the timeout, counted from the command (or from the connect, for the greeting).
    bool ReadReply(ServerReply& reply, bool report);

    // Data connections and transfers. Passive mode connects to the server's data port
    // before the command; active mode accepts the server's connection after its 1xx reply.
    // The listing of path (empty: the current directory), parsed; entries are replaced only
    // on success. MLSD when FEAT offered MLST and the logon prefers it, else LIST.
    bool ListFiles(const std::wstring& path, std::vector<FileStatusPtr>& entries, bool passive);
    // The same listing, each parsed entry handed to onEntry as its line arrives instead of kept;
    // the entry is reused for the next line. On failure the entries handed out so far were
    // a part of the listing only.
    bool ListFiles(const std::wstring& path, const std::function<void(const CFTPFileStatus&)>& onEntry, bool passive);
    // A whole data command: every byte to the sink (LIST, NLST, RETR) or from the source
    // (STOR, STOU, APPE), then the final reply.
    bool RunDataCommand(ITransferNotification& sinkOrSource, TransferCommand kind, const std::wstring& path,
                        const RepresentationType& representation, bool passive);
    // A caller-driven binary transfer (STOR when upload, else RETR): the caller moves the
    // bytes with ReadData or WriteData and ends with CloseDataTransfer. A transfer the
    // caller drops without it (an early return, an exception) is ended all the same: the
    // engine is idle again, and the server's final reply is read before the next command.
    // From offset on, REST n goes right before RETR or STOR (the server must offer REST
    // STREAM and answer 350; otherwise the transfer fails, shown, rather than start from
    // byte 0). An upload with append sends APPE instead, with no REST.
    std::unique_ptr<nsSocket::IBlockingSocket> OpenDataTransfer(const std::wstring& path, bool passive, bool upload,
                                                                std::uint64_t offset = 0, bool append = false);
    // count 0 after a successful read means the server has sent everything.
    bool ReadData(nsSocket::IBlockingSocket& dataSocket, char* buffer, int capacity, int& count);
    bool WriteData(nsSocket::IBlockingSocket& dataSocket, const char* bytes, int length, int& count);
    // Closes the data connection and reads the final reply; true for 2xx.
    bool CloseDataTransfer(std::unique_ptr<nsSocket::IBlockingSocket> dataSocket);
    // During a transfer only asks the running loop to stop; otherwise sends ABOR.
    int AbortTransfer();
    // From any thread: shuts down the data connection in use (a caller-driven transfer or
    // a whole data command, from its connect or accept on), so that a wait on it fails at
    // once. False when none is open.
    bool InterruptDataTransfer();
    // From any thread: shuts the data and the control connection down, so that whatever
    // the engine waits on (a connect, a reply, data) fails at once, without an error box.
    // The connection is closed afterwards; the next LogOn starts afresh.
    void InterruptConnection();
    bool IsTransferInProgress() const { return transferInProgress; }
    // Asked during LogOn; not owned. Null refuses plain logons and untrusted certificates.
    void SetTlsQuestions(ITlsQuestions* questions) { tlsQuestions = questions; }
    // The control connection's TLS session; null while it speaks plain FTP.
    const nsSocket::TlsSessionInfo* TlsSession() const { return controlTls ? &tlsSession : nullptr; }
    // Whether data connections are encrypted (PROT P was accepted).
    bool DataProtected() const { return protectData; }
    // What the server's FEAT reply offered at logon; none before that or without FEAT.
    const ServerFeatures& Features() const { return features; }
    // From any thread: the entries parsed so far by the listing in progress (or the last one).
    std::size_t ListingProgress() const { return listedEntries; }

    // Single commands; each returns the reply result and shows failed replies.
    // The working directory, from the cache when it is known, else from PWD.
    int GetCurrentDir(std::wstring& path);
    // PWD without showing or posting anything, to keep an idle connection open.
    int KeepAlivePwd();
    int ChangeDir(const std::wstring& path);
    // The reply of a refused MKD is shown only when show is set.
    int MakeDir(const std::wstring& path, bool show);
    int RemoveDir(const std::wstring& path);
    int Delete(const std::wstring& path);
    int Rename(const std::wstring& from, const std::wstring& to);
    int SiteCommand(const std::wstring& text);

    // Facts about one remote file (FTPClientFacts.cpp). Each returns REPLY_OK with the
    // fact; REPLY_REFUSED with the server's reply in failure (a 550 for a missing file is
    // news for the caller, not an error box); REPLY_OTHER with the reason in failure when
    // the reply can't be trusted, or with failure empty when the connection failed (shown).
    // SIZE, in binary representation: a size in ASCII depends on the line ends.
    int FileSize(const std::wstring& path, std::uint64_t& size, std::wstring& failure);
    // MDTM, as seconds since 1970 UTC.
    int FileModified(const std::wstring& path, std::int64_t& utcSeconds, std::wstring& failure);
    // MFMT; sent only when the server offers it, else REPLY_REFUSED and nothing is sent.
    int SetFileModified(const std::wstring& path, std::int64_t utcSeconds, std::wstring& failure);
    bool CanSetModified() const { return features.Has(L"MFMT"); }
    // REST STREAM, which resumed transfers need.
    bool CanResume() const;
    // The digest FileHash would ask for: HASH's best of SHA-256, SHA-1, MD5, else the best
    // of XSHA256, XSHA1, XMD5, XCRC that FEAT lists; none when the server offers none.
    std::optional<HashAlgorithm> OfferedHash() const;
    // The server's digest of the whole file, by OfferedHash's choice.
    int FileHash(const std::wstring& path, RemoteHash& hash, std::wstring& failure);

    bool IsConnected() const { return controlSocket->Handle() != 0; }
    const std::wstring& CurrentDirectory() const { return currentDirectory; }
    int Timeout() const { return timeout; }
    const LogonSettings& Settings() const { return logonSettings; }
    const std::wstring& LineSeparator() const { return lineSeparator; }

private:
    friend class CallerTransferSocket;

    bool RunListing(ListingSink& sink, const std::wstring& path, bool passive);
    bool HoldsLineBreak(const std::wstring& text, bool report) const;
    bool OpenControlConnection(const std::wstring& host, std::uint16_t port);
    void CloseControlConnection();
    bool ReadReplyLine(std::wstring& line, bool report);
    // The control connection as it is spoken: through TLS once that is up.
    nsSocket::IBlockingSocket& Control()
    {
        return controlTls ? static_cast<nsSocket::IBlockingSocket&>(*controlTls) : *controlSocket;
    }
    // FTP over TLS (FTPClientTls.cpp). Each returns false after it has told the user why
    // and closed the connection.
    bool NegotiateExplicitTls();
    bool StartControlTls();
    bool AllowPlainLogon();
    bool ProtectDataConnections();
    // FEAT and what follows from it, once logged on; false when the connection was lost.
    bool LearnFeatures();
    // A data connection that is open and answered 1xx becomes TLS when PROT P holds;
    // false (shown, the final reply drained) when its handshake fails.
    bool SecureDataConnection(std::unique_ptr<nsSocket::IBlockingSocket>& dataSocket);
    bool FillPendingLines();
    // The reply now awaited must be complete within the timeout from this moment.
    void StartReplyClock();
    // Shows a failed command's reply (result 1 or -1) and returns the result.
    int ShowReplyResult(const ServerReply& reply) const;
    void ShowSocketFailure(const nsSocket::CBlockingSocketException& failure) const;
    void ForgetPendingLines();

    // Data connections (FTPClientData.cpp).
    bool SelectRepresentation(const RepresentationType& wanted);
    int SetRepresentation(const RepresentationType& representation);
    int SelectAscii();
    // EPSV, or PASV where EPSV is refused or not wanted; the port the server listens on.
    int RequestPassivePort(std::uint16_t& port);
    int RequestPassive(std::uint32_t& address, std::uint16_t& port);
    // EPRT, or PORT where the server refuses EPRT on IPv4, naming the local address.
    int RequestActive(const nsSocket::SocketAddress& local, std::uint16_t port);
    int SendPortCommand(const std::wstring& addressText, std::uint16_t port);
    bool SendDataCommand(const std::wstring& command);
    bool OpenPassive(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command);
    bool OpenActive(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command);
    bool OpenDataConnection(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command, bool passive);
    bool ReceiveLoop(nsSocket::IBlockingSocket& dataSocket, ITransferNotification& sink, bool listing);
    // Whether a listing of this many bytes, this long after its start, may go on; reports
    // why not.
    bool ListingMayGoOn(std::size_t bytes, std::chrono::steady_clock::time_point start) const;
    void SetActiveTransfer(nsSocket::IBlockingSocket* dataSocket);
    // Puts the transfer state back to idle (FTPClientData.cpp).
    void EndTransferState();
    // A caller-driven transfer's socket is going away without CloseDataTransfer.
    void AbandonCallerTransfer(CallerTransferSocket* transfer);
    // The engine goes first: the caller's transfer socket must not reach back into it.
    void ForgetCallerTransfer();
    bool SendLoop(nsSocket::IBlockingSocket& dataSocket, ITransferNotification& source);
    // The REST of a resumed transfer, sent right before its command; false (shown) unless 350.
    bool SendRestart();
    // A fact command's single-line 213 (or 250 where given) reply, after TYPE I when binary;
    // the text after the code, or REPLY_* as the fact queries return them.
    int FactReply(const std::wstring& command, std::wstring& value, std::wstring& failure, bool accept250 = false);
    bool StopLoopForAbort(nsSocket::IBlockingSocket& dataSocket);
    void FailDataCall(nsSocket::IBlockingSocket& dataSocket, const nsSocket::CBlockingSocketException& failure);
    void FailLoop(nsSocket::IBlockingSocket& dataSocket, const nsSocket::CBlockingSocketException& failure);
    void CloseDataSocket(nsSocket::IBlockingSocket& dataSocket);
    bool ReadFinalReply();
    void DrainFinalReply();
    bool HasPendingReply();
    // One command and its reply, with the failed reply shown (FTPClientCommands.cpp).
    int SimpleCommand(const std::wstring& command);

    std::wstring currentDirectory;
    int timeout = DEFAULT_TIMEOUT_SECONDS;
    std::wstring lineSeparator = L"\r\n";
    TextCodec codec; // the logon's character set, for commands, replies and listings
    std::array<char, RECEIVE_BUFFER_SIZE> receiveBuffer{};
    std::deque<std::string> pendingLines;
    std::string partialLine; // received bytes of a line whose LF has not arrived yet
    std::optional<RepresentationType> currentRepresentation;
    std::unique_ptr<nsSocket::IBlockingSocket> controlSocket;
    // Over controlSocket, so declared after it: it goes first.
    std::unique_ptr<nsSocket::TlsChannel> controlTls;
    nsSocket::TlsSessionInfo tlsSession;
    bool protectData = false;
    ServerFeatures features;
    // The server answered MLSD as an unknown command: this connection lists with LIST.
    bool mlsdRefused = false;
    ITlsQuestions* tlsQuestions = nullptr;
    // Read by a user-interface thread that asks a worker's transfer to stop.
    std::atomic<bool> transferInProgress{false};
    std::atomic<bool> abortRequested{false};
    // Set by InterruptDataTransfer and InterruptConnection: the failures they cause are
    // the caller's wish, not news.
    std::atomic<bool> transferInterrupted{false};
    std::atomic<bool> connectionInterrupted{false};
    std::atomic<std::size_t> listedEntries{0};
    // The caller-driven transfer handed out and not yet closed, and whether one was dropped
    // with its final reply unread.
    CallerTransferSocket* callerTransfer = nullptr;
    bool finalReplyOwed = false;
    // The offset of the transfer being opened, for SendRestart; 0 starts at the beginning.
    std::uint64_t restartOffset = 0;
    LogonSettings logonSettings;
    // Where the control connection goes; data connections go there too, whatever
    // address a PASV reply names.
    nsSocket::SocketAddress controlPeer{};
    // The server answered EPSV or EPRT with 500 or 502 on this connection: PASV or PORT
    // from then on, without asking again.
    bool epsvRefused = false;
    bool eprtRefused = false;
    std::vector<unsigned char> dataBuffer; // allocated at the first data command
    std::chrono::steady_clock::time_point replyDeadline{};
    // Set when the last reply line could not be read because the server had closed the
    // connection (an orderly end, no socket error to show).
    bool peerClosed = false;
    // The data connection in use, for InterruptDataTransfer from another thread.
    std::mutex activeTransferMutex;
    nsSocket::IBlockingSocket* activeTransfer = nullptr;
};

} // namespace nsFTP
