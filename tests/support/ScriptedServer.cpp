#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>
#include <utility>

namespace testsupport {

namespace {

// Upper bound for one blocking wait, so the destructor is noticed quickly.
constexpr std::chrono::milliseconds kPollInterval{20};
// How long a server-side close waits for the client's own close before dropping the
// socket; closing with unread data would send a reset that can destroy the client's
// unread replies.
constexpr std::chrono::milliseconds kCloseLinger{100};
// Bound for opening a data connection and for a data connection without progress.
constexpr std::chrono::milliseconds kDataWait{5000};

std::string Quoted(const std::string& bytes) { return "'" + Printable(bytes) + "'"; }

// Parses "h1,h2,h3,h4,p1,p2", each a decimal number from 0 to 255, into a dotted address.
bool ParseHostPort(const std::string& text, std::string& address, uint16_t& port)
{
    uint32_t fields[6];
    size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != ',') return false;
            ++at;
        }
        size_t begin = at;
        uint32_t value = 0;
        while (at < text.size() && at - begin < 3 && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
        }
        if (at == begin || value > 255) return false;
        fields[i] = value;
    }
    if (at != text.size()) return false;
    address = std::to_string(fields[0]) + "." + std::to_string(fields[1]) + "." + std::to_string(fields[2]) + "." +
              std::to_string(fields[3]);
    port = static_cast<uint16_t>(fields[4] << 8 | fields[5]);
    return true;
}

// Parses EPRT's "|1|a.b.c.d|port|" or "|2|ipv6|port|" (RFC 2428) with '|' as the
// delimiter, the only one a client has reason to use; the address must be of the family named.
bool ParseExtendedHostPort(const std::string& text, std::string& address, uint16_t& port)
{
    if (text.size() < 7 || text[0] != '|' || (text[1] != '1' && text[1] != '2') || text[2] != '|') return false;
    const size_t addressEnd = text.find('|', 3);
    if (addressEnd == std::string::npos || text.back() != '|') return false;
    const std::string host = text.substr(3, addressEnd - 3);
    const std::string portText = text.substr(addressEnd + 1, text.size() - addressEnd - 2);
    if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(portText);
    if (value == 0 || value > 65535) return false;
    const bool ipv6 = host.find(':') != std::string::npos;
    if (ipv6 != (text[1] == '2') || host.empty() ||
        host.find_first_not_of("0123456789abcdefABCDEF.:") != std::string::npos)
        return false;
    address = host;
    port = static_cast<uint16_t>(value);
    return true;
}

std::string HostPortText(uint32_t address, uint16_t port)
{
    return std::to_string(address >> 24) + "," + std::to_string(address >> 16 & 0xFF) + "," +
           std::to_string(address >> 8 & 0xFF) + "," + std::to_string(address & 0xFF) + "," +
           std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

bool Expired(std::chrono::steady_clock::time_point since)
{
    return std::chrono::steady_clock::now() - since > kDataWait;
}

} // namespace

std::string Printable(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

ScriptedServer::ScriptedServer(Family family) : ipv6_(family == Family::kIPv6)
{
    StartSockets();
    listener_ = ListenLoopback(0, ipv6_);
    if (!listener_.Valid()) throw std::runtime_error(std::string("ScriptedServer: cannot listen on ") + Host());
    port_ = LocalPort(listener_);
}

ScriptedServer::~ScriptedServer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

ScriptedServer& ScriptedServer::Add(Step step)
{
    std::lock_guard lock(mutex_);
    if (started_) throw std::logic_error("ScriptedServer: steps must be added before Start()");
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedServer& ScriptedServer::Reply(std::string bytes) { return Add({StepKind::kReply, std::move(bytes), {}, {}}); }

ScriptedServer& ScriptedServer::ReplySplit(std::string bytes, std::vector<size_t> cuts)
{
    size_t previous = 0;
    for (size_t cut : cuts) {
        if (cut <= previous || cut >= bytes.size()) {
            throw std::logic_error("ScriptedServer: cuts must ascend strictly inside the reply");
        }
        previous = cut;
    }
    return Add({StepKind::kReplySplit, std::move(bytes), std::move(cuts), {}});
}

ScriptedServer& ScriptedServer::Expect(std::string line) { return Add({StepKind::kExpect, std::move(line), {}, {}}); }

ScriptedServer& ScriptedServer::ExpectPrefix(std::string prefix)
{
    return Add({StepKind::kExpectPrefix, std::move(prefix), {}, {}});
}

ScriptedServer& ScriptedServer::ExpectAny() { return Add({StepKind::kExpectAny, {}, {}, {}}); }

ScriptedServer& ScriptedServer::Delay(std::chrono::milliseconds duration)
{
    return Add({StepKind::kDelay, {}, {}, duration});
}

ScriptedServer& ScriptedServer::WaitUntil(std::string what, std::function<bool()> ready)
{
    return Add({StepKind::kWaitUntil, std::move(what), {}, {}, std::move(ready)});
}

ScriptedServer& ScriptedServer::Close() { return Add({StepKind::kClose, {}, {}, {}}); }

ScriptedServer& ScriptedServer::Silent() { return Add({StepKind::kSilent, {}, {}, {}}); }

ScriptedServer& ScriptedServer::AcceptNext() { return Add({StepKind::kAcceptNext, {}, {}, {}}); }

ScriptedServer& ScriptedServer::Serve(std::string what, std::function<void(Socket&)> serve)
{
    return Add({StepKind::kServe, std::move(what), {}, {}, {}, std::move(serve)});
}

ScriptedServer& ScriptedServer::On(std::string expectLine, std::string replyBytes)
{
    Expect(std::move(expectLine));
    return Reply(std::move(replyBytes));
}

ScriptedServer& ScriptedServer::ExpectPasv(std::string replyFormat)
{
    return Add({StepKind::kExpectPasv, std::move(replyFormat), {}, {}});
}

ScriptedServer& ScriptedServer::ExpectLegacyPasv(std::string replyFormat)
{
    return Add({StepKind::kExpectLegacyPasv, std::move(replyFormat), {}, {}});
}

ScriptedServer& ScriptedServer::RefuseEpsv(std::string reply) { return On("EPSV", std::move(reply)); }

ScriptedServer& ScriptedServer::ExpectPort(std::string reply)
{
    return Add({StepKind::kExpectPort, std::move(reply), {}, {}});
}

ScriptedServer& ScriptedServer::ExpectLegacyPort(std::string reply)
{
    return Add({StepKind::kExpectLegacyPort, std::move(reply), {}, {}});
}

ScriptedServer& ScriptedServer::RefuseEprt(std::string reply)
{
    ExpectPrefix("EPRT ");
    return Reply(std::move(reply));
}

ScriptedServer& ScriptedServer::DataTrickle(std::string bytes, std::chrono::milliseconds pause)
{
    return Add({StepKind::kDataTrickle, std::move(bytes), {}, pause});
}

ScriptedServer& ScriptedServer::DataSend(std::string bytes)
{
    return Add({StepKind::kDataSend, std::move(bytes), {}, {}});
}

ScriptedServer& ScriptedServer::DataSendThenReset(std::string bytes)
{
    return Add({StepKind::kDataSendThenReset, std::move(bytes), {}, {}});
}

ScriptedServer& ScriptedServer::DataReceive() { return Add({StepKind::kDataReceive, {}, {}, {}}); }

ScriptedServer& ScriptedServer::DataHold() { return Add({StepKind::kDataHold, {}, {}, {}}); }

ScriptedServer& ScriptedServer::DataClose() { return Add({StepKind::kDataClose, {}, {}, {}}); }

ScriptedServer& ScriptedServer::SegmentPause(std::chrono::milliseconds pause)
{
    std::lock_guard lock(mutex_);
    if (started_) throw std::logic_error("ScriptedServer: SegmentPause must be set before Start()");
    segmentPause_ = pause;
    return *this;
}

void ScriptedServer::Start()
{
    {
        std::lock_guard lock(mutex_);
        if (started_) throw std::logic_error("ScriptedServer: Start() called twice");
        started_ = true;
    }
    thread_ = std::thread(&ScriptedServer::Run, this);
}

std::vector<std::string> ScriptedServer::Commands() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> ScriptedServer::Failures() const
{
    std::lock_guard lock(mutex_);
    return failures_;
}

bool ScriptedServer::WaitFinished(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return finished_; });
}

bool ScriptedServer::WaitDisconnected(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return finished_ && !connected_; });
}

std::string ScriptedServer::CurrentStep() const
{
    std::lock_guard lock(mutex_);
    return currentStep_;
}

std::vector<std::string> ScriptedServer::DataReceived() const
{
    std::lock_guard lock(mutex_);
    return dataReceived_;
}

std::string ScriptedServer::Describe(const Step& step) const
{
    switch (step.kind) {
    case StepKind::kReply: return "Reply " + Quoted(step.bytes);
    case StepKind::kReplySplit: return "ReplySplit " + Quoted(step.bytes);
    case StepKind::kExpect: return "Expect " + Quoted(step.bytes);
    case StepKind::kExpectPrefix: return "ExpectPrefix " + Quoted(step.bytes);
    case StepKind::kExpectAny: return "ExpectAny";
    case StepKind::kDelay: return "Delay " + std::to_string(step.delay.count()) + " ms";
    case StepKind::kWaitUntil: return "WaitUntil " + step.bytes;
    case StepKind::kClose: return "Close";
    case StepKind::kSilent: return "Silent";
    case StepKind::kAcceptNext: return "AcceptNext";
    case StepKind::kServe: return "Serve " + step.bytes;
    case StepKind::kExpectPasv: return "ExpectPasv";
    case StepKind::kExpectLegacyPasv: return "ExpectLegacyPasv";
    case StepKind::kExpectPort: return "ExpectPort";
    case StepKind::kExpectLegacyPort: return "ExpectLegacyPort";
    case StepKind::kDataSend: return "DataSend of " + std::to_string(step.bytes.size()) + " bytes";
    case StepKind::kDataSendThenReset: return "DataSendThenReset of " + std::to_string(step.bytes.size()) + " bytes";
    case StepKind::kDataTrickle: return "DataTrickle of " + std::to_string(step.bytes.size()) + " bytes";
    case StepKind::kDataReceive: return "DataReceive";
    case StepKind::kDataHold: return "DataHold";
    case StepKind::kDataClose: return "DataClose";
    }
    return "?";
}

bool ScriptedServer::Stopping() const
{
    std::lock_guard lock(mutex_);
    return stopping_;
}

void ScriptedServer::RecordCommand(const std::string& line)
{
    std::lock_guard lock(mutex_);
    commands_.push_back(line);
}

void ScriptedServer::RecordFailure(std::string message)
{
    std::lock_guard lock(mutex_);
    failures_.push_back(std::move(message));
}

void ScriptedServer::SetFinished()
{
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        currentStep_ = "script finished";
    }
    changed_.notify_all();
}

void ScriptedServer::SetConnected(bool connected)
{
    {
        std::lock_guard lock(mutex_);
        connected_ = connected;
    }
    changed_.notify_all();
}

bool ScriptedServer::Pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

void ScriptedServer::Run()
{
    {
        std::lock_guard lock(mutex_);
        currentStep_ = "waiting for the first connection";
    }
    if (!AcceptConnection()) return;
    bool skipping = false;
    for (size_t i = 0; i < steps_.size(); ++i) {
        const Step& step = steps_[i];
        if (skipping && step.kind != StepKind::kAcceptNext) continue;
        {
            std::lock_guard lock(mutex_);
            currentStep_ =
                "step " + std::to_string(i + 1) + " of " + std::to_string(steps_.size()) + ": " + Describe(step);
        }
        skipping = !Play(step, i + 1 == steps_.size());
        if (Stopping()) {
            ForgetTransfer();
            CloseConnection();
            return;
        }
    }
    SetFinished();
    RunAfterScript();
    ForgetTransfer();
    CloseConnection();
}

bool ScriptedServer::Play(const Step& step, bool last)
{
    switch (step.kind) {
    case StepKind::kReply:
    case StepKind::kReplySplit: {
        std::vector<std::string> segments;
        size_t begin = 0;
        for (size_t cut : step.cuts) {
            segments.push_back(step.bytes.substr(begin, cut - begin));
            begin = cut;
        }
        segments.push_back(step.bytes.substr(begin));
        return SendReply(step.bytes, segments);
    }
    case StepKind::kExpect:
    case StepKind::kExpectPrefix:
    case StepKind::kExpectAny: {
        std::string wanted = step.kind == StepKind::kExpectAny ? std::string("any line") : Quoted(step.bytes);
        if (step.kind == StepKind::kExpectPrefix) wanted = "a line starting with " + wanted;
        std::string line;
        LineResult result = ExpectLine(wanted, line);
        if (result != LineResult::kLine) return result != LineResult::kLost;
        bool matches = step.kind == StepKind::kExpectAny || (step.kind == StepKind::kExpect && line == step.bytes) ||
                       (step.kind == StepKind::kExpectPrefix && line.rfind(step.bytes, 0) == 0);
        if (!matches) RecordFailure("expected " + wanted + ", got " + Quoted(line));
        return true;
    }
    case StepKind::kExpectPasv:
    case StepKind::kExpectLegacyPasv: return PlayPasv(step);
    case StepKind::kExpectPort:
    case StepKind::kExpectLegacyPort: return PlayPort(step);
    case StepKind::kDataSend:
    case StepKind::kDataSendThenReset:
    case StepKind::kDataTrickle:
    case StepKind::kDataReceive:
    case StepKind::kDataHold:
    case StepKind::kDataClose: PlayData(step); return true;
    case StepKind::kDelay: Pause(step.delay); return true;
    case StepKind::kWaitUntil: {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!step.ready()) {
            if (std::chrono::steady_clock::now() > deadline) {
                RecordFailure("WaitUntil: still not " + step.bytes + " after 20 s");
                break;
            }
            if (!Pause(std::chrono::milliseconds(5))) break;
        }
        return true;
    }
    case StepKind::kClose: CloseConnection(); return true;
    case StepKind::kSilent: {
        if (last) SetFinished();
        std::string line;
        while (connection_.Valid() && ReadLine(line) == ReadResult::kLine) {
        }
        CloseConnection();
        return true;
    }
    case StepKind::kServe:
        if (!connection_.Valid()) {
            RecordFailure("Serve " + step.bytes + ": no connection");
            return true;
        }
        step.serve(connection_);
        return true;
    case StepKind::kAcceptNext:
        // A new session: whatever the old one prepared for a transfer is gone with it.
        ForgetTransfer();
        CloseConnection();
        AcceptConnection();
        return true;
    }
    return true;
}

bool ScriptedServer::PlayPasv(const Step& step)
{
    const std::string command = step.kind == StepKind::kExpectPasv ? "EPSV" : "PASV";
    std::string line;
    LineResult result = ExpectLine(Quoted(command), line);
    if (result != LineResult::kLine) return result != LineResult::kLost;
    if (line != command) RecordFailure("expected " + Quoted(command) + ", got " + Quoted(line));
    ForgetTransfer();
    dataListener_ = ListenLoopback(0, ipv6_);
    if (!dataListener_.Valid()) RecordFailure(std::string("ExpectPasv: cannot listen on ") + Host());
    const uint16_t port = LocalPort(dataListener_);
    std::string reply = step.bytes;
    size_t at = reply.find("%s");
    if (at != std::string::npos) reply.replace(at, 2, HostPortText(0x7F000001, port));
    at = reply.find("%p");
    if (at != std::string::npos) {
        reply.replace(at, 2,
                      step.kind == StepKind::kExpectPasv
                          ? std::to_string(port)
                          : std::to_string(port >> 8) + "," + std::to_string(port & 0xFF));
    }
    return SendReply(reply, {reply});
}

bool ScriptedServer::PlayPort(const Step& step)
{
    const std::string prefix = step.kind == StepKind::kExpectPort ? "EPRT " : "PORT ";
    std::string line;
    LineResult result = ExpectLine("a line starting with " + Quoted(prefix), line);
    if (result != LineResult::kLine) return result != LineResult::kLost;
    ForgetTransfer();
    if (line.rfind(prefix, 0) != 0) {
        RecordFailure("expected a line starting with " + Quoted(prefix) + ", got " + Quoted(line));
    } else if (!(step.kind == StepKind::kExpectPort
                     ? ParseExtendedHostPort(line.substr(prefix.size()), activeAddress_, activePort_)
                     : ParseHostPort(line.substr(prefix.size()), activeAddress_, activePort_))) {
        RecordFailure("ExpectPort: cannot parse the address in " + Quoted(line));
        activePort_ = 0;
    }
    return SendReply(step.bytes, {step.bytes});
}

bool ScriptedServer::SendReply(const std::string& bytes, const std::vector<std::string>& segments)
{
    if (!connection_.Valid()) {
        RecordFailure("reply " + Quoted(bytes) + " not sent: no connection");
        return true;
    }
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0 && !Pause(segmentPause_)) return true;
        if (!SendAll(connection_, segments[i])) {
            RecordFailure("reply " + Quoted(bytes) + " not sent: connection lost");
            CloseConnection();
            return false;
        }
    }
    return true;
}

ScriptedServer::LineResult ScriptedServer::ExpectLine(const std::string& wanted, std::string& line)
{
    if (!connection_.Valid()) {
        RecordFailure("expected " + wanted + ", no connection");
        return LineResult::kNone;
    }
    switch (ReadLine(line)) {
    case ReadResult::kStopped: return LineResult::kNone;
    case ReadResult::kClosed:
        RecordFailure("expected " + wanted + ", connection closed");
        CloseConnection();
        return LineResult::kLost;
    case ReadResult::kLine: break;
    }
    return LineResult::kLine;
}

void ScriptedServer::PlayData(const Step& step)
{
    const std::string what = Describe(step);
    switch (step.kind) {
    case StepKind::kDataSend:
    case StepKind::kDataSendThenReset:
        if (!OpenData(what)) return;
        SendData(step.bytes, what);
        if (step.kind == StepKind::kDataSendThenReset) {
            data_.CloseWithReset();
        } else {
            CloseData();
        }
        return;
    case StepKind::kDataTrickle:
        if (!OpenData(what)) return;
        for (char byte : step.bytes) {
            if (Stopping() || SendSome(data_, std::string_view(&byte, 1)) <= 0) break;
            Pause(step.delay);
        }
        CloseData();
        return;
    case StepKind::kDataReceive:
        if (OpenData(what)) {
            ReceiveData();
        } else {
            std::lock_guard lock(mutex_);
            dataReceived_.emplace_back();
        }
        return;
    case StepKind::kDataHold: OpenData(what); return;
    case StepKind::kDataClose: CloseData(); return;
    default: return;
    }
}

void ScriptedServer::ForgetTransfer()
{
    CloseData();
    dataListener_.Close();
    activePort_ = 0;
}

bool ScriptedServer::OpenData(const std::string& what)
{
    if (data_.Valid()) return true;
    auto begin = std::chrono::steady_clock::now();
    Socket opened;
    if (dataListener_.Valid()) {
        // The client connects before it sends the transfer command, so the connection is
        // normally pending already.
        while (!Stopping() && !Expired(begin)) {
            WaitResult ready = WaitReadable(dataListener_, kPollInterval);
            if (ready == WaitResult::kTimeout) continue;
            if (ready == WaitResult::kReady) opened = Accept(dataListener_);
            break;
        }
        dataListener_.Close();
        if (!opened.Valid()) {
            if (!Stopping()) RecordFailure(what + ": the client did not connect to the passive port");
            return false;
        }
    } else if (activePort_ != 0) {
        const std::string target = activeAddress_ + " port " + std::to_string(activePort_);
        opened = StartConnectTo(activeAddress_, activePort_);
        activePort_ = 0;
        WaitResult connected = WaitResult::kError;
        while (opened.Valid() && !Stopping() && !Expired(begin)) {
            connected = WaitConnected(opened, kPollInterval);
            if (connected != WaitResult::kTimeout) break;
        }
        if (connected != WaitResult::kReady) {
            opened.Close();
            if (!Stopping()) RecordFailure(what + ": cannot connect to the PORT or EPRT address " + target);
            return false;
        }
    } else {
        RecordFailure(what + ": no transfer prepared by ExpectPasv or ExpectPort");
        return false;
    }
    SetNonBlocking(opened);
    SetNoDelay(opened);
    data_ = std::move(opened);
    return true;
}

bool ScriptedServer::SendData(const std::string& bytes, const std::string& what)
{
    std::string_view rest(bytes);
    auto progress = std::chrono::steady_clock::now();
    while (!rest.empty()) {
        if (Stopping()) return false;
        int sent = SendSome(data_, rest);
        if (sent > 0) {
            rest.remove_prefix(static_cast<size_t>(sent));
            progress = std::chrono::steady_clock::now();
            continue;
        }
        if (sent < 0 || Expired(progress)) {
            RecordFailure(what + ": " + (sent < 0 ? "connection lost" : "client stopped reading") + " after " +
                          std::to_string(bytes.size() - rest.size()) + " bytes");
            return false;
        }
        WaitWritable(data_, kPollInterval);
    }
    return true;
}

void ScriptedServer::ReceiveData()
{
    std::string received;
    char buffer[16384];
    auto progress = std::chrono::steady_clock::now();
    while (!Stopping()) {
        WaitResult ready = WaitReadable(data_, kPollInterval);
        if (ready == WaitResult::kTimeout) {
            if (!Expired(progress)) continue;
            RecordFailure("DataReceive: no data and no close for 5 s after " + std::to_string(received.size()) +
                          " bytes");
            break;
        }
        int n = ready == WaitResult::kReady ? ReceiveSome(data_, buffer, sizeof buffer) : -1;
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
            progress = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0) {
            RecordFailure("DataReceive: connection reset after " + std::to_string(received.size()) + " bytes");
        }
        break;
    }
    {
        std::lock_guard lock(mutex_);
        dataReceived_.push_back(std::move(received));
    }
    CloseData();
}

void ScriptedServer::CloseData()
{
    if (!data_.Valid()) return;
    data_.ShutdownSend();
    // Closing with unread bytes would turn the FIN into a reset.
    auto deadline = std::chrono::steady_clock::now() + kCloseLinger;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline &&
           WaitReadable(data_, std::chrono::milliseconds(0)) == WaitResult::kReady &&
           ReceiveSome(data_, buffer, sizeof buffer) > 0) {
    }
    data_.Close();
}

void ScriptedServer::RunAfterScript()
{
    while (!Stopping()) {
        if (connection_.Valid()) {
            std::string line;
            switch (ReadLine(line)) {
            case ReadResult::kLine: RecordFailure("unexpected command " + Quoted(line)); break;
            case ReadResult::kClosed: CloseConnection(); break;
            case ReadResult::kStopped: return;
            }
        } else {
            if (!AcceptConnection()) return;
            RecordFailure("unexpected connection after the script ended");
        }
    }
}

bool ScriptedServer::AcceptConnection()
{
    while (!Stopping()) {
        if (WaitReadable(listener_, kPollInterval) != WaitResult::kReady) continue;
        Socket accepted = Accept(listener_);
        if (!accepted.Valid()) continue;
        SetNoDelay(accepted);
        connection_ = std::move(accepted);
        pending_.clear();
        SetConnected(true);
        return true;
    }
    return false;
}

void ScriptedServer::CloseConnection()
{
    if (!connection_.Valid()) return;
    connection_.ShutdownSend();
    auto deadline = std::chrono::steady_clock::now() + kCloseLinger;
    char buffer[4096];
    while (!Stopping() && std::chrono::steady_clock::now() < deadline) {
        if (WaitReadable(connection_, kPollInterval) != WaitResult::kReady) continue;
        int n = ReceiveSome(connection_, buffer, sizeof buffer);
        if (n <= 0) break;
        // Lines the client sent before it saw the close still belong to its record.
        pending_.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            std::string line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            RecordCommand(line);
            pending_.erase(0, end + 1);
        }
    }
    connection_.Close();
    pending_.clear();
    SetConnected(false);
}

ScriptedServer::ReadResult ScriptedServer::ReadLine(std::string& line)
{
    char buffer[4096];
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, end + 1);
            RecordCommand(line);
            return ReadResult::kLine;
        }
        if (Stopping()) return ReadResult::kStopped;
        WaitResult ready = WaitReadable(connection_, kPollInterval);
        if (ready == WaitResult::kTimeout) continue;
        int n = ready == WaitResult::kReady ? ReceiveSome(connection_, buffer, sizeof buffer) : -1;
        if (n > 0) {
            pending_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (!pending_.empty()) {
            RecordFailure("incomplete line " + Quoted(pending_) + " before the connection closed");
            pending_.clear();
        }
        return ReadResult::kClosed;
    }
}

void ExpectScriptPlayed(ScriptedServer& server)
{
    if (!server.WaitFinished(std::chrono::seconds(5))) {
        std::string received;
        for (const std::string& command : server.Commands())
            received += " '" + Printable(command) + "'";
        ADD_FAILURE() << "script not played within 5 s, at " << server.CurrentStep()
                      << "; commands received:" << (received.empty() ? " none" : received);
    }
    for (const std::string& failure : server.Failures())
        ADD_FAILURE() << failure;
}

} // namespace testsupport
