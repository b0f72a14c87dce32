// Data connections: representation type, passive and active opening, the receive and
// send loops, listings, caller-driven transfers and abort.
#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#include "engine/FTPClient.h"
#include "engine/ListingParser.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"

namespace nsFTP {

const wchar_t* const CONNECTION_CLOSED_TEXT =
    L"The server closed the connection before it confirmed the transfer. The data may be incomplete.";
const wchar_t* const LISTING_TOO_LARGE_TEXT =
    L"The directory listing is too large (more than 256 MiB or 4 million entries); it was not read.";
const wchar_t* const LISTING_TOO_SLOW_TEXT =
    L"The directory listing arrives too slowly; it was stopped. Please try again later.";
const wchar_t* const OUT_OF_MEMORY_TEXT = L"There is not enough memory to hold the directory listing.";
const wchar_t* const EPSV_REPLY_INVALID_TEXT =
    L"The server's reply to EPSV names no valid port; no data connection was opened.";
const wchar_t* const EPSV_REFUSED_IPV6_TEXT =
    L"The server refused EPSV. Over IPv6 passive mode needs it, since PASV can only name IPv4 addresses. Try active "
    L"mode.";
const wchar_t* const EPRT_REFUSED_IPV6_TEXT =
    L"The server refused EPRT. Over IPv6 active mode needs it, since PORT can only name IPv4 addresses. Try passive "
    L"mode.";

namespace {

// Listings and whole data commands move data in blocks of this size.
constexpr std::size_t DATA_BUFFER_SIZE = 1024 * 1024;
constexpr unsigned PORT_BYTE = 256;

// The address and port of a 227 reply: "(h1,h2,h3,h4,p1,p2)" after any text. Numbers
// are not range-checked; anything but digits and the separators fails.
bool ParsePassiveReply(const std::wstring& text, std::uint32_t& address, std::uint16_t& port)
{
    enum class State { Before, Address, PortHigh, PortLow };
    State state = State::Before;
    std::uint32_t number = 0;
    std::uint32_t addressValue = 0;
    std::uint32_t portValue = 0;
    int commas = 0;
    for (wchar_t c : text) {
        if (state == State::Before) {
            if (c == L'(') state = State::Address;
            continue;
        }
        if (c >= L'0' && c <= L'9') {
            number = number * 10 + static_cast<std::uint32_t>(c - L'0');
            continue;
        }
        switch (state) {
        case State::Address:
            if (c != L',') return false;
            ++commas;
            if (commas < 4) {
                addressValue += number << (8 * (4 - commas));
            } else {
                addressValue += number;
                state = State::PortHigh;
            }
            break;
        case State::PortHigh:
            if (c != L',') return false;
            portValue = (number & 0xFF) * PORT_BYTE;
            state = State::PortLow;
            break;
        case State::PortLow:
            if (c != L')') return false;
            address = addressValue;
            port = static_cast<std::uint16_t>(portValue + number);
            return true;
        case State::Before: break;
        }
        number = 0;
    }
    return false;
}

// The port of a 229 reply: "(<d><d><d>port<d>)" after any text (RFC 2428), where <d> is
// whatever printable character the server chose. The protocol and address fields must be
// empty, since the data connection goes to the control connection's peer anyway; anything
// else (another address, a port of 0 or past 65535, more digits than a port has) fails.
bool ParseExtendedPassiveReply(const std::wstring& text, std::uint16_t& port)
{
    constexpr wchar_t kFirstDelimiter = L'!';
    constexpr wchar_t kLastDelimiter = L'~';
    constexpr std::size_t kMaxPortDigits = 5;
    constexpr std::uint32_t kMaxPort = 65535;
    std::size_t at = text.find(L'(');
    if (at == std::wstring::npos || ++at >= text.size()) return false;
    const wchar_t delimiter = text[at];
    if (delimiter < kFirstDelimiter || delimiter > kLastDelimiter || (delimiter >= L'0' && delimiter <= L'9'))
        return false;
    for (int field = 0; field < 3; ++field, ++at)
        if (at >= text.size() || text[at] != delimiter) return false;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (++digits > kMaxPortDigits) return false;
        value = value * 10 + static_cast<std::uint32_t>(text[at] - L'0');
    }
    if (digits == 0 || value == 0 || value > kMaxPort) return false;
    if (at + 1 >= text.size() || text[at] != delimiter || text[at + 1] != L')') return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// RFC 2428's answers of a server that does not know a command: the caller falls back to
// the command of RFC 959.
bool NotImplemented(const ServerReply& reply) { return reply.Code() == L"500" || reply.Code() == L"502"; }

// Runs the action when the scope is left, however it is left.
template <typename Action> class ScopeExit {
public:
    explicit ScopeExit(Action action) : action(std::move(action)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { action(); }

private:
    Action action;
};

} // namespace

// Parses a listing while it arrives: each block's complete lines are read while the server
// is still producing the rest, and only the unfinished last line is kept as text. Entries
// are kept, or handed one by one to a consumer that keeps what it needs.
class ListingSink final : public ITransferNotification {
public:
    using EntryConsumer = std::function<void(const CFTPFileStatus&)>;

    ListingSink(const std::wstring& separator, const TextCodec& codec, const std::wstring& path,
                std::atomic<std::size_t>& progress, const EntryConsumer* consumer = nullptr)
        : stream(separator, codec), path(path), clock(ListingClock::FromSystemClock()), consumer(consumer),
          progress(progress)
    {
        progress = 0;
    }

    void OnBytesReceived(const unsigned char* buffer, std::int32_t count) override
    {
        stream.OnBytesReceived(buffer, count);
        ParseCompleteLines();
    }
    void OnPreBytesSend(unsigned char*, std::size_t, std::int32_t&) override {}

    // After the last block; false when the listing holds more entries than are kept.
    bool Finish()
    {
        stream.DecodePendingBytes();
        ParseCompleteLines();
        return !tooMany;
    }

    // Whether the lines are MLSD entries rather than LIST lines; set before the data arrives.
    void ReadMachineList(bool machine) { machineList = machine; }

    std::vector<FileStatusPtr> entries;

private:
    bool ParseLine(CFTPFileStatus& entry) const
    {
        return machineList ? ParseMachineListLine(line, entry) : ParseListLine(line, entry, clock);
    }

    void ParseCompleteLines()
    {
        while (stream.GetNextLine(line)) {
            if (tooMany) continue;
            if (consumer != nullptr) {
                reused.Reset();
                if (!ParseLine(reused) || !Count()) continue;
                reused.path = path;
                (*consumer)(reused);
                continue;
            }
            auto* status = new CFTPFileStatus;
            FileStatusPtr entry(status);
            if (!ParseLine(*status) || !Count()) continue;
            status->path = path;
            entries.push_back(std::move(entry));
        }
        stream.DiscardReadText();
    }

    // Counts one more entry; false past the most a listing may hold.
    bool Count()
    {
        if (count == MAX_LISTING_ENTRIES) {
            tooMany = true;
            return false;
        }
        ++count;
        progress.store(count, std::memory_order_relaxed);
        return true;
    }

    COutputStream stream;
    const std::wstring& path;
    const ListingClock clock;
    const EntryConsumer* consumer;
    std::atomic<std::size_t>& progress;
    CFTPFileStatus reused;
    std::wstring line;
    std::size_t count = 0;
    bool tooMany = false;
    bool machineList = false;
};

// The data socket a caller-driven transfer hands out. However the caller lets go of it,
// the engine's transfer state goes back to idle, and no pointer to it stays behind for
// InterruptDataTransfer.
class CallerTransferSocket final : public nsSocket::IBlockingSocket {
public:
    CallerTransferSocket(CFTPClient& engine, std::unique_ptr<nsSocket::IBlockingSocket> socket)
        : engine(&engine), socket(std::move(socket))
    {
    }
    CallerTransferSocket(const CallerTransferSocket&) = delete;
    CallerTransferSocket& operator=(const CallerTransferSocket&) = delete;
    ~CallerTransferSocket() override
    {
        if (engine != nullptr) engine->AbandonCallerTransfer(this);
        socket->CloseQuietly();
    }
    void Detach() { engine = nullptr; }

    IBlockingSocket* NewInstance() const override { return socket->NewInstance(); }
    void Open(int family, int type) override { socket->Open(family, type); }
    void Connect(const nsSocket::SocketAddress& address, int timeoutSeconds) override
    {
        socket->Connect(address, timeoutSeconds);
    }
    void Bind(const nsSocket::SocketAddress& address) override { socket->Bind(address); }
    void Listen() override { socket->Listen(); }
    void CloseQuietly() override { socket->CloseQuietly(); }
    void Interrupt() override { socket->Interrupt(); }
    bool Accept(IBlockingSocket& target, nsSocket::SocketAddress& peer, int timeoutSeconds) override
    {
        return socket->Accept(target, peer, timeoutSeconds);
    }
    void Close() override { socket->Close(); }
    int SendAll(const char* bytes, int length, int timeoutSeconds) override
    {
        return socket->SendAll(bytes, length, timeoutSeconds);
    }
    int Receive(char* buffer, int capacity, int timeoutSeconds) override
    {
        return socket->Receive(buffer, capacity, timeoutSeconds);
    }
    void LocalAddress(nsSocket::SocketAddress& address) override { socket->LocalAddress(address); }
    nsSocket::SocketHandle Handle() const override { return socket->Handle(); }
    bool HasPendingData() override { return socket->HasPendingData(); }
    std::vector<nsSocket::SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) override
    {
        return socket->ResolveHost(host, port);
    }
    std::string ResolveAddress(const nsSocket::SocketAddress& address) override
    {
        return socket->ResolveAddress(address);
    }

private:
    CFTPClient* engine;
    std::unique_ptr<nsSocket::IBlockingSocket> socket;
};

void CFTPClient::EndTransferState()
{
    SetActiveTransfer(nullptr);
    transferInProgress = false;
    abortRequested = false;
    transferInterrupted = false;
}

void CFTPClient::AbandonCallerTransfer(CallerTransferSocket* transfer)
{
    if (callerTransfer != transfer) return;
    callerTransfer = nullptr;
    EndTransferState();
    transfer->CloseQuietly();
    // The server answers the broken transfer on the control connection; that reply
    // belongs to no later command.
    finalReplyOwed = true;
}

void CFTPClient::ForgetCallerTransfer()
{
    if (callerTransfer == nullptr) return;
    callerTransfer->Detach();
    callerTransfer = nullptr;
    EndTransferState();
}

void CFTPClient::SetActiveTransfer(nsSocket::IBlockingSocket* dataSocket)
{
    std::lock_guard lock(activeTransferMutex);
    activeTransfer = dataSocket;
}

bool CFTPClient::InterruptDataTransfer()
{
    std::lock_guard lock(activeTransferMutex);
    if (activeTransfer == nullptr) return false;
    transferInterrupted = true;
    activeTransfer->Interrupt();
    return true;
}

void CFTPClient::InterruptConnection()
{
    connectionInterrupted = true;
    InterruptDataTransfer();
    controlSocket->Interrupt();
}

int CFTPClient::SetRepresentation(const RepresentationType& representation)
{
    const std::wstring command = representation.CommandText();
    if (command.empty()) return REPLY_OTHER;
    return SimpleCommand(command);
}

// The first listing after a connect needs no TYPE (ASCII is every server's default); a
// file transfer switches to Image, and a listing after it back to ASCII.
bool CFTPClient::SelectRepresentation(const RepresentationType& wanted)
{
    if (!currentRepresentation) currentRepresentation = RepresentationType{};
    if (*currentRepresentation == wanted) return true;
    const int result = wanted == RepresentationType{} ? SelectAscii() : SetRepresentation(wanted);
    if (result != REPLY_OK) return false;
    currentRepresentation = wanted;
    return true;
}

// "TYPE A N" is how the standard spells ASCII non-print, yet some servers know only the
// short "TYPE A", which means the same (non-print is the default format control). When the
// long form is refused as not understood (501, 504), the short one is asked, and only its
// refusal is shown.
int CFTPClient::SelectAscii()
{
    ServerReply reply;
    if (!SendCommand(RepresentationType{}.CommandText(), true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (reply.Code() == L"501" || reply.Code() == L"504") return SimpleCommand(L"TYPE A");
    return ShowReplyResult(reply);
}

int CFTPClient::RequestPassive(std::uint32_t& address, std::uint16_t& port)
{
    ServerReply reply;
    if (!SendCommand(L"PASV", true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (reply.code[0] == L'2' && !ParsePassiveReply(reply.text, address, port)) {
        ReportError(reply.text);
        return REPLY_OTHER;
    }
    return ShowReplyResult(reply);
}

int CFTPClient::RequestPassivePort(std::uint16_t& port)
{
    const bool ipv6 = controlPeer.IsIPv6();
    if (!epsvRefused && (logonSettings.extendedPassive || ipv6)) {
        ServerReply reply;
        if (!SendCommand(L"EPSV", true) || !ReadReply(reply, true)) {
            if (!reply.text.empty()) ReportError(reply.text);
            return REPLY_OTHER;
        }
        if (!NotImplemented(reply)) {
            if (reply.code[0] == L'2' && (reply.Code() != L"229" || !ParseExtendedPassiveReply(reply.text, port))) {
                ReportError(std::wstring(EPSV_REPLY_INVALID_TEXT) + L"\n\n" + reply.text);
                return REPLY_OTHER;
            }
            return ShowReplyResult(reply);
        }
        if (ipv6) {
            ReportError(std::wstring(EPSV_REFUSED_IPV6_TEXT) + L"\n\n" + reply.text);
            return REPLY_REFUSED;
        }
        epsvRefused = true;
    }
    std::uint32_t address = 0;
    return RequestPassive(address, port);
}

int CFTPClient::RequestActive(const nsSocket::SocketAddress& local, std::uint16_t port)
{
    const std::wstring host = WireToWide(local.HostText());
    const bool ipv6 = local.IsIPv6();
    if (!eprtRefused) {
        ServerReply reply;
        const std::wstring line =
            L"EPRT |" + std::wstring(ipv6 ? L"2" : L"1") + L"|" + host + L"|" + std::to_wstring(port) + L"|";
        if (!SendCommand(line, true) || !ReadReply(reply, true)) {
            if (!reply.text.empty()) ReportError(reply.text);
            return REPLY_OTHER;
        }
        if (!NotImplemented(reply)) return ShowReplyResult(reply);
        if (ipv6) {
            ReportError(std::wstring(EPRT_REFUSED_IPV6_TEXT) + L"\n\n" + reply.text);
            return REPLY_REFUSED;
        }
        eprtRefused = true;
    }
    return SendPortCommand(host, port);
}

int CFTPClient::SendPortCommand(const std::wstring& addressText, std::uint16_t port)
{
    std::wstring line =
        L"PORT " + addressText + L"," + std::to_wstring(port / PORT_BYTE) + L"," + std::to_wstring(port % PORT_BYTE);
    for (wchar_t& c : line)
        if (c == L'.') c = L',';
    return SimpleCommand(line);
}

// True once the server has answered 1xx. A server that does not know MLSD (500, 502) is
// not shown: the listing falls back to LIST, and the connection remembers it.
bool CFTPClient::SendDataCommand(const std::wstring& command)
{
    ServerReply reply;
    if (SendCommand(command, true) && ReadReply(reply, true) && reply.code[0] == L'1') return true;
    if (command.starts_with(L"MLSD") && (reply.Code() == L"500" || reply.Code() == L"502")) {
        mlsdRefused = true;
        return false;
    }
    if (!reply.text.empty()) ReportError(reply.text);
    return false;
}

bool CFTPClient::OpenPassive(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command)
{
    std::uint16_t port = 0;
    if (RequestPassivePort(port) != REPLY_OK) return false;
    try {
        // A PASV reply's address is only trusted for its port: a hostile server could aim
        // the client anywhere, and behind NAT the named address is often unreachable.
        nsSocket::SocketAddress target = controlPeer;
        target.SetPort(port);
        dataSocket.Open(target.Family(), SOCK_STREAM);
        // Opening forgets an interrupt that came before it.
        if (transferInterrupted) dataSocket.Interrupt();
        dataSocket.Connect(target, timeout);
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
        dataSocket.CloseQuietly();
        return false;
    }
    return SendRestart() && SendDataCommand(command);
}

bool CFTPClient::OpenActive(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command)
{
    std::unique_ptr<nsSocket::IBlockingSocket> listener(controlSocket->NewInstance());
    nsSocket::SocketAddress listening{};
    nsSocket::SocketAddress local{};
    try {
        // The listener takes the address the server reaches this end by, and no other.
        controlSocket->LocalAddress(local);
        nsSocket::SocketAddress bindTo = local;
        bindTo.SetPort(0);
        listener->Open(local.Family(), SOCK_STREAM);
        listener->Bind(bindTo);
        listener->LocalAddress(listening);
        listener->Listen();
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
        listener->CloseQuietly();
        return false;
    }
    if (RequestActive(local, listening.Port()) != REPLY_OK) {
        listener->CloseQuietly();
        return false;
    }
    if (!SendRestart() || !SendDataCommand(command)) {
        listener->CloseQuietly();
        return false;
    }
    // Only the server may connect: anyone else on the network who reaches the port first
    // is turned away, and the wait goes on until the timeout.
    bool accepted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    // Meanwhile an interrupt ends the wait on the listener; the data connection takes over after.
    SetActiveTransfer(listener.get());
    if (transferInterrupted) listener->Interrupt();
    try {
        while (!accepted) {
            const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - std::chrono::steady_clock::now());
            nsSocket::SocketAddress peer{};
            if (!listener->Accept(dataSocket, peer, static_cast<int>(std::max<long long>(left.count(), 0)))) continue;
            accepted = peer.SameHost(controlPeer);
            if (!accepted) dataSocket.CloseQuietly();
        }
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
    }
    SetActiveTransfer(&dataSocket);
    if (transferInterrupted) dataSocket.Interrupt();
    listener->CloseQuietly();
    if (!accepted) DrainFinalReply();
    return accepted;
}

bool CFTPClient::OpenDataConnection(nsSocket::IBlockingSocket& dataSocket, const std::wstring& command, bool passive)
{
    if (dataBuffer.empty()) dataBuffer.resize(DATA_BUFFER_SIZE);
    return passive ? OpenPassive(dataSocket, command) : OpenActive(dataSocket, command);
}

// A failed loop leaves the server's final reply to the data command unread; the next
// command must not take it for its own.
void CFTPClient::DrainFinalReply()
{
    StartReplyClock();
    ServerReply reply;
    ReadReply(reply, false);
}

bool CFTPClient::HasPendingReply()
{
    if (!pendingLines.empty()) return true;
    try {
        return IsConnected() && Control().HasPendingData();
    } catch (const nsSocket::CBlockingSocketException&) {
        return false;
    }
}

// A caller-driven transfer that fails leaves its final reply to CloseDataTransfer.
void CFTPClient::FailDataCall(nsSocket::IBlockingSocket& dataSocket, const nsSocket::CBlockingSocketException& failure)
{
    transferInProgress = false;
    // The caller stopped it on purpose: that needs no box.
    if (!transferInterrupted) ShowSocketFailure(failure);
    dataSocket.CloseQuietly();
}

void CFTPClient::FailLoop(nsSocket::IBlockingSocket& dataSocket, const nsSocket::CBlockingSocketException& failure)
{
    FailDataCall(dataSocket, failure);
    DrainFinalReply();
}

void CFTPClient::CloseDataSocket(nsSocket::IBlockingSocket& dataSocket)
{
    try {
        dataSocket.Close();
    } catch (const nsSocket::CBlockingSocketException&) {
        dataSocket.CloseQuietly();
    }
}

// The server's reply after a data connection has ended; shown unless it is 2xx. A server
// that closes the control connection instead never confirmed the transfer: what arrived
// may be cut short, so that is said too, and the program counts as disconnected.
bool CFTPClient::ReadFinalReply()
{
    // However long the data took, the server has the whole timeout to confirm it.
    StartReplyClock();
    ServerReply reply;
    if (ReadReply(reply, true) && reply.code[0] == L'2') return true;
    if (!reply.text.empty()) {
        ReportError(reply.text);
    } else if (peerClosed) {
        ReportError(CONNECTION_CLOSED_TEXT);
    }
    return false;
}

// The data connection goes first, so that a server busy sending notices the abort and
// answers ABOR; its reply to the data command is read afterwards.
bool CFTPClient::StopLoopForAbort(nsSocket::IBlockingSocket& dataSocket)
{
    dataSocket.CloseQuietly();
    // A server that was still sending answers the data command (426) before ABOR itself;
    // one that had finished has its 226 and the ABOR reply in flight.
    if (AbortTransfer() == REPLY_REFUSED || HasPendingReply()) DrainFinalReply();
    return false;
}

bool CFTPClient::ListingMayGoOn(std::size_t bytes, std::chrono::steady_clock::time_point start) const
{
    if (bytes > MAX_LISTING_BYTES) {
        ReportError(LISTING_TOO_LARGE_TEXT);
        return false;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    const auto allowed = static_cast<long long>(timeout) + static_cast<long long>(bytes / MIN_LISTING_BYTES_PER_SECOND);
    if (elapsed.count() > allowed) {
        ReportError(LISTING_TOO_SLOW_TEXT);
        return false;
    }
    return true;
}

bool CFTPClient::ReceiveLoop(nsSocket::IBlockingSocket& dataSocket, ITransferNotification& sink, bool listing)
{
    transferInProgress = true;
    const auto start = std::chrono::steady_clock::now();
    std::size_t total = 0;
    bool stopped = false;
    try {
        int count = dataSocket.Receive(reinterpret_cast<char*>(dataBuffer.data()), static_cast<int>(dataBuffer.size()),
                                       timeout);
        while (!abortRequested && count != 0) {
            total += static_cast<std::size_t>(count);
            if (listing && !ListingMayGoOn(total, start)) {
                stopped = true;
                break;
            }
            sink.OnBytesReceived(dataBuffer.data(), count);
            count = dataSocket.Receive(reinterpret_cast<char*>(dataBuffer.data()), static_cast<int>(dataBuffer.size()),
                                       timeout);
        }
    } catch (const nsSocket::CBlockingSocketException& failure) {
        FailLoop(dataSocket, failure);
        return false;
    }
    transferInProgress = false;
    if (abortRequested || stopped) return StopLoopForAbort(dataSocket);
    return true;
}

bool CFTPClient::SendLoop(nsSocket::IBlockingSocket& dataSocket, ITransferNotification& source)
{
    transferInProgress = true;
    try {
        for (;;) {
            std::int32_t count = 0;
            source.OnPreBytesSend(dataBuffer.data(), dataBuffer.size(), count);
            if (abortRequested || count <= 0) break;
            if (static_cast<std::size_t>(count) > dataBuffer.size())
                count = static_cast<std::int32_t>(dataBuffer.size());
            dataSocket.SendAll(reinterpret_cast<const char*>(dataBuffer.data()), count, timeout);
        }
    } catch (const nsSocket::CBlockingSocketException& failure) {
        FailLoop(dataSocket, failure);
        return false;
    }
    transferInProgress = false;
    if (abortRequested) return StopLoopForAbort(dataSocket);
    return true;
}

// RFC 3659: REST must come right before the transfer command it moves, after PASV or PORT.
bool CFTPClient::SendRestart()
{
    if (restartOffset == 0) return true;
    ServerReply reply;
    if (!SendCommand(L"REST " + std::to_wstring(restartOffset), true) || !ReadReply(reply, true) ||
        reply.Code() != L"350") {
        if (!reply.text.empty()) ReportError(reply.text);
        return false;
    }
    return true;
}

bool CFTPClient::RunDataCommand(ITransferNotification& sinkOrSource, TransferCommand kind, const std::wstring& path,
                                const RepresentationType& representation, bool passive)
{
    if (transferInProgress || callerTransfer != nullptr || !IsConnected() || HoldsLineBreak(path, true)) return false;
    std::unique_ptr<nsSocket::IBlockingSocket> dataSocket(controlSocket->NewInstance());
    transferInterrupted = false;
    // From the data connection's opening on, an interrupt reaches it; afterwards nothing
    // points to it any more, however this ends.
    SetActiveTransfer(dataSocket.get());
    ScopeExit idleAfterwards([this] { EndTransferState(); });
    if (!SelectRepresentation(representation)) return false;
    const std::wstring command = TransferCommandText(kind, path);
    if (command.empty() || !OpenDataConnection(*dataSocket, command, passive)) {
        dataSocket->CloseQuietly();
        return false;
    }
    if (!SecureDataConnection(dataSocket)) return false;
    bool moved = false;
    try {
        moved = TransferReceivesData(kind)
                    ? ReceiveLoop(*dataSocket, sinkOrSource, kind == TRANSFER_LIST || kind == TRANSFER_MACHINE_LIST)
                    : SendLoop(*dataSocket, sinkOrSource);
    } catch (...) {
        // The caller's sink or source gave up (out of memory, say): the server's reply to
        // the command must not be taken for the next command's.
        SetActiveTransfer(nullptr);
        dataSocket->CloseQuietly();
        DrainFinalReply();
        throw;
    }
    SetActiveTransfer(nullptr);
    CloseDataSocket(*dataSocket);
    return moved && ReadFinalReply();
}

bool CFTPClient::ListFiles(const std::wstring& path, std::vector<FileStatusPtr>& entries, bool passive)
{
    try {
        ListingSink sink(lineSeparator, codec, path, listedEntries);
        if (!RunListing(sink, path, passive)) return false;
        entries = std::move(sink.entries);
        return true;
    } catch (const std::bad_alloc&) {
        ReportError(OUT_OF_MEMORY_TEXT);
        return false;
    }
}

bool CFTPClient::ListFiles(const std::wstring& path, const std::function<void(const CFTPFileStatus&)>& onEntry,
                           bool passive)
{
    try {
        ListingSink sink(lineSeparator, codec, path, listedEntries, &onEntry);
        return RunListing(sink, path, passive);
    } catch (const std::bad_alloc&) {
        ReportError(OUT_OF_MEMORY_TEXT);
        return false;
    }
}

bool CFTPClient::RunListing(ListingSink& sink, const std::wstring& path, bool passive)
{
    const bool machine = logonSettings.preferMlsd && !mlsdRefused && features.Has(L"MLST");
    sink.ReadMachineList(machine);
    if (!RunDataCommand(sink, machine ? TRANSFER_MACHINE_LIST : TRANSFER_LIST, path, RepresentationType{}, passive)) {
        // Only a server that does not know MLSD gets the LIST: any other failure is the path's.
        if (!machine || !mlsdRefused) return false;
        sink.ReadMachineList(false);
        if (!RunDataCommand(sink, TRANSFER_LIST, path, RepresentationType{}, passive)) return false;
    }
    if (sink.Finish()) return true;
    ReportError(LISTING_TOO_LARGE_TEXT);
    return false;
}

std::unique_ptr<nsSocket::IBlockingSocket> CFTPClient::OpenDataTransfer(const std::wstring& path, bool passive,
                                                                        bool upload, std::uint64_t offset, bool append)
{
    if (transferInProgress || callerTransfer != nullptr || !IsConnected() || HoldsLineBreak(path, true)) return nullptr;
    append = append && upload;
    if (offset > 0 && !append && !CanResume()) {
        ReportError(RESUME_NOT_OFFERED_TEXT);
        return nullptr;
    }
    std::unique_ptr<nsSocket::IBlockingSocket> dataSocket(controlSocket->NewInstance());
    transferInterrupted = false;
    SetActiveTransfer(dataSocket.get());
    restartOffset = append ? 0 : offset;
    const TransferCommand kind = append ? TRANSFER_APPEND : upload ? TRANSFER_STORE : TRANSFER_RETRIEVE;
    const bool opened =
        SelectRepresentation(RepresentationType{RepresentationType::IMAGE, RepresentationType::NON_PRINT}) &&
        OpenDataConnection(*dataSocket, TransferCommandText(kind, path), passive);
    restartOffset = 0;
    if (!opened || !SecureDataConnection(dataSocket)) {
        EndTransferState();
        dataSocket->CloseQuietly();
        return nullptr;
    }
    transferInProgress = true;
    auto transfer = std::make_unique<CallerTransferSocket>(*this, std::move(dataSocket));
    callerTransfer = transfer.get();
    return transfer;
}

bool CFTPClient::ReadData(nsSocket::IBlockingSocket& dataSocket, char* buffer, int capacity, int& count)
{
    count = 0;
    if (capacity == 0) return true;
    try {
        count = dataSocket.Receive(buffer, capacity, timeout);
        return true;
    } catch (const nsSocket::CBlockingSocketException& failure) {
        FailDataCall(dataSocket, failure);
        return false;
    }
}

bool CFTPClient::WriteData(nsSocket::IBlockingSocket& dataSocket, const char* bytes, int length, int& count)
{
    count = 0;
    if (length == 0) return true;
    try {
        count = dataSocket.SendAll(bytes, length, timeout);
        return true;
    } catch (const nsSocket::CBlockingSocketException& failure) {
        FailDataCall(dataSocket, failure);
        return false;
    }
}

bool CFTPClient::CloseDataTransfer(std::unique_ptr<nsSocket::IBlockingSocket> dataSocket)
{
    if (!dataSocket) return true;
    if (dataSocket.get() != callerTransfer) {
        // Not the transfer in progress: nothing of the engine's may change.
        dataSocket->CloseQuietly();
        return false;
    }
    callerTransfer = nullptr;
    const bool interrupted = transferInterrupted;
    EndTransferState();
    CloseDataSocket(*dataSocket);
    dataSocket.reset();
    // After an interrupt the server's word on the broken transfer (426, mostly) is read to
    // stay in step, but not shown.
    if (interrupted) {
        DrainFinalReply();
        return false;
    }
    return ReadFinalReply();
}

int CFTPClient::AbortTransfer()
{
    if (transferInProgress) {
        abortRequested = true;
        return REPLY_OK;
    }
    abortRequested = false;
    return SimpleCommand(L"ABOR");
}

} // namespace nsFTP
