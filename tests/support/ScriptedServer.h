#pragma once

// Plays the server side of an FTP control connection from a script, byte for byte,
// and records every command line the client sends. Runs in its own thread and
// listens on 127.0.0.1 on a free port.
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

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSocket.h"

namespace testsupport {

class ScriptedServer {
 public:
  ScriptedServer();
  // Stops the thread and closes every socket; returns promptly even when a client
  // is connected and silent.
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }

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
  // Closes the connection: FIN first, so the client reads a clean end of stream.
  ScriptedServer& Close();
  // Stops replying and records lines (as commands, not failures) until the client
  // closes. As the last step it counts as played the moment it begins.
  ScriptedServer& Silent();
  ScriptedServer& AcceptNext();
  // Expect(line), then Reply(bytes).
  ScriptedServer& On(std::string expectLine, std::string replyBytes);

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

 private:
  enum class StepKind { kReply, kReplySplit, kExpect, kExpectPrefix, kExpectAny, kDelay, kClose,
                        kSilent, kAcceptNext };
  struct Step {
    StepKind kind;
    std::string bytes;
    std::vector<size_t> cuts;
    std::chrono::milliseconds delay{0};
  };
  enum class ReadResult { kLine, kClosed, kStopped };

  ScriptedServer& Add(Step step);
  std::string Describe(const Step& step) const;
  void Run();
  // Plays one step; false when the connection was lost and the rest of its steps must be skipped.
  bool Play(const Step& step, bool last);
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

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  bool connected_ = false;
  std::string currentStep_;
  std::vector<std::string> commands_;
  std::vector<std::string> failures_;
  std::thread thread_;
};

// Waits (5 s at most) for the script to be played and reports each recorded
// failure as a gtest failure.
void ExpectScriptPlayed(ScriptedServer& server);

// Makes control characters and non-ASCII bytes visible in failure messages.
std::string Printable(const std::string& bytes);

}  // namespace testsupport
