#include "engine/FTPClient.h"

#include <cstring>
#include <optional>
#include <vector>

#include "engine/Reporter.h"
#include "engine/TextCodec.h"

namespace nsFTP {

const wchar_t* const REPLY_TIMEOUT_TEXT = L"The server did not complete its reply in time.";
const wchar_t* const REPLY_TOO_LONG_TEXT = L"The server's reply is too long; the connection was closed.";

namespace {

constexpr wchar_t kLogonFailed[] = L"Logon failed.";
// Winsock's numbers for a timed-out operation and an oversized message, as the error box
// shows them.
constexpr int ERROR_CODE_TIMED_OUT = 10060;
constexpr int ERROR_CODE_MESSAGE_TOO_LONG = 10040;
constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kConnectTimeout[] = L"Cannot establish a connection to the server (connect timeout).";

// The decimal number at the start of a reply line; -1 when it starts with no digit.
long LeadingNumber(const std::wstring& line)
{
    long number = -1;
    for (wchar_t c : line) {
        if (c < L'0' || c > L'9') break;
        number = (number < 0 ? 0 : number) * 10 + (c - L'0');
        if (number > 99999999) break;
    }
    return number;
}

bool IsPathDelimiter(wchar_t c) { return c == L' ' || c == L'\'' || c == L'"'; }

} // namespace

std::wstring PathFromPwdReply(const std::wstring& text)
{
    constexpr std::size_t kCodeAndSpace = 4;
    if (text.size() <= kCodeAndSpace) return {};
    const std::wstring rest = text.substr(kCodeAndSpace);
    const std::size_t open = rest.find(L'"');
    if (open != std::wstring::npos) {
        std::wstring path;
        for (std::size_t i = open + 1; i < rest.size(); ++i) {
            if (rest[i] != L'"') {
                path.push_back(rest[i]);
            } else if (i + 1 < rest.size() && rest[i + 1] == L'"') {
                path.push_back(L'"');
                ++i;
            } else {
                return path;
            }
        }
    }
    std::size_t start = 0;
    while (start < rest.size() && IsPathDelimiter(rest[start]))
        ++start;
    std::size_t end = start;
    while (end < rest.size() && !IsPathDelimiter(rest[end]))
        ++end;
    return rest.substr(start, end - start);
}

CFTPClient::CFTPClient(nsSocket::IBlockingSocket* controlSocket) : controlSocket(controlSocket) {}

CFTPClient::~CFTPClient()
{
    ForgetCallerTransfer();
    if (transferInProgress) AbortTransfer();
    if (IsConnected()) LogOff();
}

void CFTPClient::ShowSocketFailure(const nsSocket::CBlockingSocketException& failure) const
{
    if (connectionInterrupted || transferInterrupted) return;
    ReportError(failure.MessageText());
}

int CFTPClient::ShowReplyResult(const ServerReply& reply) const
{
    const int result = reply.Result();
    if (result != REPLY_OK && !reply.text.empty()) ReportError(reply.text);
    return result;
}

void CFTPClient::ForgetPendingLines()
{
    pendingLines.clear();
    partialLine.clear();
}

bool CFTPClient::OpenControlConnection(const std::wstring& host, std::uint16_t port)
{
    CloseControlConnection();
    controlTls.reset();
    protectData = false;
    features = ServerFeatures();
    mlsdRefused = false;
    ForgetPendingLines();
    // The timeout covers all of a name's addresses together: a name with many unreachable
    // addresses must not hold the user for a timeout each.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    std::vector<nsSocket::SocketAddress> addresses;
    try {
        addresses = controlSocket->ResolveHost(WideToWire(host), port);
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
        return false;
    }
    // The user hears about the last address tried: with one address that is its failure,
    // with several they all failed and the last is as telling as any.
    std::optional<nsSocket::CBlockingSocketException> lastFailure;
    for (const nsSocket::SocketAddress& address : addresses) {
        const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - std::chrono::steady_clock::now()).count();
        if (connectionInterrupted || left <= 0) break;
        try {
            controlSocket->Open(address.Family(), SOCK_STREAM);
            // Opening forgets an interrupt that came between two addresses.
            if (connectionInterrupted) controlSocket->Interrupt();
            controlSocket->Connect(address, static_cast<int>(left));
            controlPeer = address;
            StartReplyClock();
            return true;
        } catch (const nsSocket::CBlockingSocketException& failure) {
            lastFailure = failure;
            controlSocket->CloseQuietly();
        }
    }
    if (!lastFailure) lastFailure.emplace(kConnectTimeout, ERROR_CODE_TIMED_OUT);
    ShowSocketFailure(*lastFailure);
    return false;
}

void CFTPClient::CloseControlConnection()
{
    controlTls.reset();
    protectData = false;
    try {
        controlSocket->Close();
    } catch (const nsSocket::CBlockingSocketException&) {
        controlSocket->CloseQuietly();
        return;
    }
    currentRepresentation.reset();
    ForgetPendingLines();
    finalReplyOwed = false;
}

// A line break would end a command early and send the rest as a command of its own (a
// name typed by the user or listed by a server). Such a text is never sent; the
// connection stays as it was.
bool CFTPClient::HoldsLineBreak(const std::wstring& text, bool report) const
{
    if (text.find_first_of(L"\r\n") == std::wstring::npos) return false;
    if (report) ReportError(COMMAND_LINE_BREAK_TEXT);
    return true;
}

bool CFTPClient::SendCommand(const std::wstring& command, bool report)
{
    if (!IsConnected()) return false;
    if (HoldsLineBreak(command, report)) return false;
    if (finalReplyOwed) {
        finalReplyOwed = false;
        DrainFinalReply();
        if (!IsConnected()) return false;
    }
    const std::string line = codec.Encode(command) + "\r\n";
    StartReplyClock();
    try {
        Control().SendAll(line.data(), static_cast<int>(line.size()), timeout);
        return true;
    } catch (const nsSocket::CBlockingSocketException& failure) {
        if (report) ShowSocketFailure(failure);
        controlSocket->CloseQuietly();
        return false;
    }
}

// Receives until at least one whole line is queued. Replies come in blocks of up to
// 2047 bytes; one block may hold several replies, and one line may span several blocks.
// A last line without LF is queued when the server closes the connection.
void CFTPClient::StartReplyClock() { replyDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout); }

bool CFTPClient::FillPendingLines()
{
    constexpr int kReceiveCapacity = static_cast<int>(RECEIVE_BUFFER_SIZE);
    while (pendingLines.empty()) {
        // Each receive waits at most what is left of the reply's time, so a server that
        // sends a byte now and then can't stretch the reply past it.
        const auto left = replyDeadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            throw nsSocket::CBlockingSocketException(REPLY_TIMEOUT_TEXT, ERROR_CODE_TIMED_OUT);
        const auto leftSeconds = std::chrono::ceil<std::chrono::seconds>(left).count();
        const int received = Control().Receive(receiveBuffer.data(), kReceiveCapacity, static_cast<int>(leftSeconds));
        if (received == 0) {
            if (partialLine.empty()) return false;
            pendingLines.push_back(std::move(partialLine));
            partialLine.clear();
            break;
        }
        // Every byte counts, a NUL included: it must not hide the rest of the block.
        const auto usable = static_cast<std::size_t>(received);
        std::size_t start = 0;
        for (std::size_t i = 0; i < usable; ++i) {
            if (receiveBuffer[i] != '\n') continue;
            partialLine.append(receiveBuffer.data() + start, i + 1 - start);
            pendingLines.push_back(std::move(partialLine));
            partialLine.clear();
            start = i + 1;
        }
        partialLine.append(receiveBuffer.data() + start, usable - start);
        if (partialLine.size() > MAX_REPLY_LINE_BYTES)
            throw nsSocket::CBlockingSocketException(REPLY_TOO_LONG_TEXT, ERROR_CODE_MESSAGE_TOO_LONG);
    }
    return true;
}

bool CFTPClient::ReadReplyLine(std::wstring& line, bool report)
{
    if (!IsConnected()) return false;
    peerClosed = false;
    try {
        if (!FillPendingLines()) {
            // The server closed the connection: nothing more can come on it, and the
            // program must count as disconnected.
            peerClosed = true;
            controlSocket->CloseQuietly();
            return false;
        }
    } catch (const nsSocket::CBlockingSocketException& failure) {
        if (report) ShowSocketFailure(failure);
        controlSocket->CloseQuietly();
        return false;
    }
    if (pendingLines.front().size() > MAX_REPLY_LINE_BYTES) {
        ForgetPendingLines();
        if (report) ReportError(REPLY_TOO_LONG_TEXT);
        controlSocket->CloseQuietly();
        return false;
    }
    line = codec.Decode(pendingLines.front());
    pendingLines.pop_front();
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, kCrLf) == 0) line.resize(line.size() - 2);
    return true;
}

bool CFTPClient::ReadReply(ServerReply& reply, bool report)
{
    reply.Clear();
    std::wstring line;
    if (!ReadReplyLine(line, report)) return false;
    std::wstring text = line;
    if (line.size() > 3 && line[3] == L'-') {
        const long code = LeadingNumber(line);
        for (std::size_t lines = 1;; ++lines) {
            if (!ReadReplyLine(line, report)) return false;
            if (lines >= MAX_REPLY_LINES || text.size() + line.size() > MAX_REPLY_BYTES) {
                ForgetPendingLines();
                if (report) ReportError(REPLY_TOO_LONG_TEXT);
                controlSocket->CloseQuietly();
                return false;
            }
            text += kCrLf;
            text += line;
            if (line.size() > 3 && line[3] == L' ' && code >= 0 && LeadingNumber(line) == code) break;
        }
    }
    const bool valid = reply.Assign(std::move(text));
    if (report) ReportStatus(STATUS_PANE_REPLIES, reply.text);
    return valid;
}

int CFTPClient::GetCurrentDir(std::wstring& path)
{
    if (!currentDirectory.empty()) {
        path = currentDirectory;
        return REPLY_OK;
    }
    ServerReply reply;
    if (!SendCommand(L"PWD", true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    // Only a 2xx reply names the directory; the text of a refusal is no path.
    if (reply.Result() != REPLY_OK) return ShowReplyResult(reply);
    currentDirectory = PathFromPwdReply(reply.text);
    if (currentDirectory.empty()) {
        ReportError(reply.text);
        return REPLY_OTHER;
    }
    path = currentDirectory;
    return REPLY_OK;
}

bool CFTPClient::LogOn(const LogonSettings& settings, int timeoutSeconds)
{
    logonSettings = settings;
    codec = TextCodec(settings.codePage);
    if (IsConnected()) LogOff();
    timeout = timeoutSeconds;
    // Whatever an earlier connection left behind, this one starts without a transfer.
    transferInProgress = false;
    abortRequested = false;
    connectionInterrupted = false;
    finalReplyOwed = false;
    // Refusals of EPSV and EPRT hold for one connection: the next may reach another server.
    epsvRefused = false;
    eprtRefused = false;

    const int mode = logonSettings.firewallMode;
    if (mode < 0 || mode >= FIREWALL_MODE_COUNT) {
        ReportError(kLogonFailed);
        return false;
    }
    const bool direct = mode == FIREWALL_NONE;
    const TlsMode tls = logonSettings.tls;
    // Through a firewall the logon reaches the server relayed by the firewall, in clear
    // text whatever TLS protects on the way to the firewall itself.
    if (!direct && (tls == TlsMode::REQUIRE_EXPLICIT || tls == TlsMode::REQUIRE_IMPLICIT)) {
        ReportError(TLS_THROUGH_FIREWALL_TEXT);
        return false;
    }
    if (!OpenControlConnection(direct ? logonSettings.host : logonSettings.firewallHost,
                               direct ? logonSettings.port : logonSettings.firewallPort))
        return false;
    if (tls == TlsMode::REQUIRE_IMPLICIT) {
        if (!StartControlTls()) return false;
        StartReplyClock();
    }

    ServerReply reply;
    if (!ReadReply(reply, true) || reply.code[0] != L'2') {
        if (!reply.text.empty()) ReportError(reply.text);
        return false;
    }
    if (tls == TlsMode::REQUIRE_EXPLICIT || (tls == TlsMode::EXPLICIT_IF_AVAILABLE && direct)) {
        if (!NegotiateExplicitTls()) return false;
    } else if (tls == TlsMode::EXPLICIT_IF_AVAILABLE && !AllowPlainLogon()) {
        return false;
    }

    const int* row = LogonSteps[mode];
    int step = 0;
    // The table only ever moves forward, so a walk takes at most one pass over the row.
    for (int taken = 0; taken < LOGON_STEP_COUNT; ++taken) {
        const int* entry = row + step;
        if (!SendCommand(LogonCommandText(entry[0], logonSettings), true) || !ReadReply(reply, true)) {
            if (!reply.text.empty()) ReportError(reply.text);
            return false;
        }
        int next;
        if (reply.code[0] == L'2') {
            next = entry[1];
        } else if (reply.code[0] == L'3') {
            next = entry[2];
        } else {
            ReportError(reply.text);
            return false;
        }
        if (next == LOGON_STEP_LOGGED_ON) {
            if (controlTls && !ProtectDataConnections()) return false;
            if (!LearnFeatures()) return false;
            currentDirectory.clear();
            std::wstring path;
            return GetCurrentDir(path) == REPLY_OK;
        }
        if (next < 0 || next >= LOGON_ROW_LENGTH || next % LOGON_STEP_WIDTH != 0) break;
        step = next;
    }
    ReportError(kLogonFailed);
    return false;
}

bool CFTPClient::LearnFeatures()
{
    ServerReply reply;
    if (!SendCommand(L"FEAT", true)) return false;
    // A server that does not know FEAT offers nothing beyond RFC 959; only a lost
    // connection ends the logon.
    if (ReadReply(reply, true)) features = ServerFeatures::Parse(reply.text);
    if (!IsConnected()) {
        if (!reply.text.empty()) ReportError(reply.text);
        return false;
    }
    // UTF-8 chosen for the site asks for it even from servers that need it without listing it;
    // a code page never does.
    if (logonSettings.codePage == CODE_PAGE_UTF8 ||
        (logonSettings.codePage == CODE_PAGE_AUTO && features.Has(L"UTF8"))) {
        // Names are UTF-8 whatever the answer: a refusal changes nothing the engine does.
        if (!SendCommand(L"OPTS UTF8 ON", true)) return false;
        ReadReply(reply, true);
        if (!IsConnected()) return false;
    }
    return true;
}

int CFTPClient::LogOff(int replyWaitSeconds)
{
    const int siteTimeout = timeout;
    if (replyWaitSeconds > 0 && replyWaitSeconds < timeout) timeout = replyWaitSeconds;
    ServerReply reply;
    const bool answered = SendCommand(L"QUIT", true) && ReadReply(reply, true);
    timeout = siteTimeout;
    if (answered) {
        CloseControlConnection();
        return ShowReplyResult(reply);
    }
    if (!reply.text.empty()) ReportError(reply.text);
    // Whatever came back, the user asked to leave: a connection answering QUIT with
    // garbage must not stay counted as connected.
    if (IsConnected()) CloseControlConnection();
    return REPLY_OTHER;
}

} // namespace nsFTP
