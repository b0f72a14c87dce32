#pragma once

// Plays the server side of an FTP control connection from a script, byte for byte,
// and records every command line the client sends. Runs in its own thread and
// listens on 127.0.0.1 (or ::1) on a free port.
//
// The first client connection is accepted implicitly when the script starts;
// AcceptNext() closes the current one and waits for the next.
//
// Mismatches never stop the script: the failure is recorded and the step after it
// runs, so the client gets the reply it waits for instead of a timeout. When the
// client closes the connection while a line is expected, the rest of the steps up
// to the next AcceptNext() are skipped.
//
// After the last step, lines still arriving are recorded as failures and never
// answered, and a further connection is recorded as a failure.
//
// Data connections are scripted in the same step list, so control and data events
// happen in exactly the order written. ExpectPasv() or ExpectPort() (or a legacy form)
// prepares one transfer; the first data step after it opens the connection (accepting the
// client's connection in passive mode, connecting to the client in active mode)
// and every wait for it is bounded by 5 s. A data step without a prepared transfer,
// or whose connection cannot be opened, is recorded as a failure and the script goes
// on. A connection opened by DataHold() stays open for the following data step, so
// DataHold().Delay(d).DataSend(x) models a server that is slow to start sending.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TestSocket.h"

namespace testsupport {

class ScriptedServer {
public:
    enum class Family { kIPv4, kIPv6 };
    // Listens on 127.0.0.1, or on ::1 for kIPv6; passive data connections use the same address.
    explicit ScriptedServer(Family family = Family::kIPv4);
    // Stops the thread and closes every socket; returns promptly even when a client
    // is connected and silent.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t Port() const { return port_; }
    // "127.0.0.1" or "::1".
    const char* Host() const { return ipv6_ ? "::1" : "127.0.0.1"; }

    // Script steps; adding steps after Start() throws std::logic_error.
    //
    // Sends the bytes exactly as given, no CRLF added, in one send call.
    ScriptedServer& Reply(std::string bytes);
    // Sends the bytes in separate segments cut at the given ascending offsets, pausing
    // between segments (SegmentPause) so that the client sees separate receives.
    ScriptedServer& ReplySplit(std::string bytes, std::vector<size_t> cuts);
    // Reads one command line (terminated by CRLF or a bare LF; given here without it).
    ScriptedServer& Expect(std::string line);
    // Reads one line that must start with `prefix`, for arguments a test cannot predict.
    ScriptedServer& ExpectPrefix(std::string prefix);
    ScriptedServer& ExpectAny();
    ScriptedServer& Delay(std::chrono::milliseconds duration);
    // Holds the script until `ready` returns true (polled from the script thread), for a
    // step that must follow something the test does: a fixed delay would race it on a
    // loaded machine. After 20 s it records a failure naming `what` and goes on.
    ScriptedServer& WaitUntil(std::string what, std::function<bool()> ready);
    // Closes the connection: FIN first, so the client reads a clean end of stream.
    ScriptedServer& Close();
    // Stops replying and records lines (as commands, not failures) until the client
    // closes. As the last step it counts as played the moment it begins.
    ScriptedServer& Silent();
    ScriptedServer& AcceptNext();
    // Hands the control connection to `serve` for what a script can't spell out (a TLS
    // server's side, say); the script goes on once it returns. Lines it reads are not
    // recorded. Without a connection it records a failure naming `what`.
    ScriptedServer& Serve(std::string what, std::function<void(Socket&)> serve);
    // Expect(line), then Reply(bytes).
    ScriptedServer& On(std::string expectLine, std::string replyBytes);

    // Data connection steps.
    //
    // Reads one line that must be "EPSV", listens on a new port of the server's address
    // and replies with `replyFormat`, its first "%p" replaced by the port number. Closes the
    // data connection and listener of any earlier transfer first. Another line is recorded
    // as a mismatch and answered all the same.
    ScriptedServer& ExpectPasv(std::string replyFormat = "229 Entering Extended Passive Mode (|||%p|)\r\n");
    // The same for "PASV", for a server without EPSV (see RefuseEpsv): `replyFormat`'s first
    // "%s" becomes "127,0,0,1,p1,p2" and its first "%p" "p1,p2" alone (for replies that
    // name another address).
    ScriptedServer& ExpectLegacyPasv(std::string replyFormat = "227 Entering Passive Mode (%s)\r\n");
    // Reads "EPSV" and refuses it; the client is then expected to use PASV for the rest of
    // the connection.
    ScriptedServer& RefuseEpsv(std::string reply = "502 EPSV not supported\r\n");
    // Reads one line that must be "EPRT |1|a.b.c.d|port|" or "EPRT |2|ipv6|port|",
    // remembers that address for the next data step and sends `reply`. An argument that
    // does not parse is a failure. Closes the data connection and listener of any earlier
    // transfer first.
    ScriptedServer& ExpectPort(std::string reply = "200 EPRT command successful\r\n");
    // The same for "PORT h1,h2,h3,h4,p1,p2", for a server without EPRT (see RefuseEprt).
    ScriptedServer& ExpectLegacyPort(std::string reply = "200 PORT command successful\r\n");
    // Reads a line starting with "EPRT " and refuses it.
    ScriptedServer& RefuseEprt(std::string reply = "502 EPRT not supported\r\n");
    // Sends the bytes on the data connection and closes it with a FIN.
    ScriptedServer& DataSend(std::string bytes);
    // Sends the bytes on the data connection, then resets it (zero linger), as a server
    // that drops the connection mid-transfer. The client may lose bytes it had not
    // read yet when the reset arrives.
    ScriptedServer& DataSendThenReset(std::string bytes);
    // Sends the bytes on the data connection one at a time, `pause` apart, then closes it
    // with a FIN: a listing that trickles in and never seems to end. Gives up quietly once
    // the client has closed its side.
    ScriptedServer& DataTrickle(std::string bytes, std::chrono::milliseconds pause);
    // Reads the data connection until the client closes it and closes it in turn; the
    // bytes are appended to DataReceived(). A reset or 5 s without data is a failure.
    ScriptedServer& DataReceive();
    // Opens the data connection and keeps it open without sending. A later DataSend,
    // DataSendThenReset or DataReceive uses it; DataClose(), the next ExpectPasv or
    // ExpectPort, AcceptNext() and the destructor close it.
    ScriptedServer& DataHold();
    // Closes the open data connection with a FIN; no-op when none is open.
    ScriptedServer& DataClose();

    // Pause between the segments of ReplySplit; 30 ms unless set before Start().
    ScriptedServer& SegmentPause(std::chrono::milliseconds pause);

    void Start();

    // Every command line received so far, raw bytes without the line terminator.
    std::vector<std::string> Commands() const;
    // Script mismatches, unexpected lines and connections, incomplete lines.
    std::vector<std::string> Failures() const;
    // True once every step has been played (mismatches included).
    bool WaitFinished(std::chrono::milliseconds timeout);
    // True once the script is played and no client is connected.
    bool WaitDisconnected(std::chrono::milliseconds timeout);
    // The step the thread is currently playing, for diagnostics.
    std::string CurrentStep() const;
    // The bytes of each DataReceive() step played so far, in script order; a step
    // that got no connection contributes an empty entry.
    std::vector<std::string> DataReceived() const;

private:
    enum class StepKind {
        kReply,
        kReplySplit,
        kExpect,
        kExpectPrefix,
        kExpectAny,
        kDelay,
        kWaitUntil,
        kClose,
        kSilent,
        kAcceptNext,
        kServe,
        kExpectPasv,
        kExpectLegacyPasv,
        kExpectPort,
        kExpectLegacyPort,
        kDataSend,
        kDataSendThenReset,
        kDataTrickle,
        kDataReceive,
        kDataHold,
        kDataClose
    };
    struct Step {
        Step(StepKind kind, std::string bytes, std::vector<size_t> cuts, std::chrono::milliseconds delay,
             std::function<bool()> ready = {}, std::function<void(Socket&)> serve = {})
            : kind(kind), bytes(std::move(bytes)), cuts(std::move(cuts)), delay(delay), ready(std::move(ready)),
              serve(std::move(serve))
        {
        }
        StepKind kind;
        std::string bytes;
        std::vector<size_t> cuts;
        std::chrono::milliseconds delay{0};
        std::function<bool()> ready;
        std::function<void(Socket&)> serve;
    };
    enum class ReadResult { kLine, kClosed, kStopped };
    // kNone: no line to judge (no connection, or the server is being destroyed).
    enum class LineResult { kLine, kNone, kLost };

    ScriptedServer& Add(Step step);
    std::string Describe(const Step& step) const;
    void Run();
    // Plays one step; false when the connection was lost and the rest of its steps must be skipped.
    bool Play(const Step& step, bool last);
    // Reads the next line for an Expect-like step; connection problems are recorded.
    LineResult ExpectLine(const std::string& wanted, std::string& line);
    // Sends `bytes`, cut into `segments`; false as Play.
    bool SendReply(const std::string& bytes, const std::vector<std::string>& segments);
    // Reads the passive command and listens for its data connection; false as Play.
    bool PlayPasv(const Step& step);
    bool PlayPort(const Step& step);
    void PlayData(const Step& step);
    void ForgetTransfer();
    // Opens the data connection prepared by ExpectPasv or ExpectPort unless one is open.
    bool OpenData(const std::string& what);
    bool SendData(const std::string& bytes, const std::string& what);
    void ReceiveData();
    void CloseData();
    void RunAfterScript();
    bool AcceptConnection();
    void CloseConnection();
    ReadResult ReadLine(std::string& line);
    // Sleeps, returning early (false) when the server is being destroyed.
    bool Pause(std::chrono::milliseconds duration);
    bool Stopping() const;
    void RecordCommand(const std::string& line);
    void RecordFailure(std::string message);
    void SetFinished();
    void SetConnected(bool connected);

    Socket listener_;
    uint16_t port_ = 0;
    std::chrono::milliseconds segmentPause_{30};
    std::vector<Step> steps_;

    // Touched only by the script thread once started.
    Socket connection_;
    std::string pending_;
    Socket dataListener_;
    bool ipv6_ = false;
    std::string activeAddress_;
    uint16_t activePort_ = 0;
    Socket data_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    bool connected_ = false;
    std::string currentStep_;
    std::vector<std::string> commands_;
    std::vector<std::string> failures_;
    std::vector<std::string> dataReceived_;
    std::thread thread_;
};

// Waits (5 s at most) for the script to be played and reports each recorded
// failure as a gtest failure.
void ExpectScriptPlayed(ScriptedServer& server);

// Makes control characters and non-ASCII bytes visible in failure messages.
std::string Printable(const std::string& bytes);

} // namespace testsupport
