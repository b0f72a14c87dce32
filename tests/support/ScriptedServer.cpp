#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

namespace testsupport {

namespace {

// Upper bound for one blocking wait, so the destructor is noticed quickly.
constexpr std::chrono::milliseconds kPollInterval{20};
// How long a server-side close waits for the client's own close before dropping the
// socket; closing with unread data would send a reset that can destroy the client's
// unread replies.
constexpr std::chrono::milliseconds kCloseLinger{100};

std::string Quoted(const std::string& bytes) { return "'" + Printable(bytes) + "'"; }

}  // namespace

std::string Printable(const std::string& bytes) {
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

ScriptedServer::ScriptedServer() {
  StartSockets();
  listener_ = ListenLoopback(0);
  if (!listener_.Valid()) throw std::runtime_error("ScriptedServer: cannot listen on 127.0.0.1");
  port_ = LocalPort(listener_);
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

ScriptedServer& ScriptedServer::Add(Step step) {
  std::lock_guard lock(mutex_);
  if (started_) throw std::logic_error("ScriptedServer: steps must be added before Start()");
  steps_.push_back(std::move(step));
  return *this;
}

ScriptedServer& ScriptedServer::Reply(std::string bytes) {
  return Add({StepKind::kReply, std::move(bytes), {}, {}});
}

ScriptedServer& ScriptedServer::ReplySplit(std::string bytes, std::vector<size_t> cuts) {
  size_t previous = 0;
  for (size_t cut : cuts) {
    if (cut <= previous || cut >= bytes.size()) {
      throw std::logic_error("ScriptedServer: cuts must ascend strictly inside the reply");
    }
    previous = cut;
  }
  return Add({StepKind::kReplySplit, std::move(bytes), std::move(cuts), {}});
}

ScriptedServer& ScriptedServer::Expect(std::string line) {
  return Add({StepKind::kExpect, std::move(line), {}, {}});
}

ScriptedServer& ScriptedServer::ExpectPrefix(std::string prefix) {
  return Add({StepKind::kExpectPrefix, std::move(prefix), {}, {}});
}

ScriptedServer& ScriptedServer::ExpectAny() { return Add({StepKind::kExpectAny, {}, {}, {}}); }

ScriptedServer& ScriptedServer::Delay(std::chrono::milliseconds duration) {
  return Add({StepKind::kDelay, {}, {}, duration});
}

ScriptedServer& ScriptedServer::Close() { return Add({StepKind::kClose, {}, {}, {}}); }

ScriptedServer& ScriptedServer::Silent() { return Add({StepKind::kSilent, {}, {}, {}}); }

ScriptedServer& ScriptedServer::AcceptNext() { return Add({StepKind::kAcceptNext, {}, {}, {}}); }

ScriptedServer& ScriptedServer::On(std::string expectLine, std::string replyBytes) {
  Expect(std::move(expectLine));
  return Reply(std::move(replyBytes));
}

ScriptedServer& ScriptedServer::SegmentPause(std::chrono::milliseconds pause) {
  std::lock_guard lock(mutex_);
  if (started_) throw std::logic_error("ScriptedServer: SegmentPause must be set before Start()");
  segmentPause_ = pause;
  return *this;
}

void ScriptedServer::Start() {
  {
    std::lock_guard lock(mutex_);
    if (started_) throw std::logic_error("ScriptedServer: Start() called twice");
    started_ = true;
  }
  thread_ = std::thread(&ScriptedServer::Run, this);
}

std::vector<std::string> ScriptedServer::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<std::string> ScriptedServer::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

bool ScriptedServer::WaitFinished(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return finished_; });
}

bool ScriptedServer::WaitDisconnected(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return finished_ && !connected_; });
}

std::string ScriptedServer::CurrentStep() const {
  std::lock_guard lock(mutex_);
  return currentStep_;
}

std::string ScriptedServer::Describe(const Step& step) const {
  switch (step.kind) {
    case StepKind::kReply: return "Reply " + Quoted(step.bytes);
    case StepKind::kReplySplit: return "ReplySplit " + Quoted(step.bytes);
    case StepKind::kExpect: return "Expect " + Quoted(step.bytes);
    case StepKind::kExpectPrefix: return "ExpectPrefix " + Quoted(step.bytes);
    case StepKind::kExpectAny: return "ExpectAny";
    case StepKind::kDelay: return "Delay " + std::to_string(step.delay.count()) + " ms";
    case StepKind::kClose: return "Close";
    case StepKind::kSilent: return "Silent";
    case StepKind::kAcceptNext: return "AcceptNext";
  }
  return "?";
}

bool ScriptedServer::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void ScriptedServer::RecordCommand(const std::string& line) {
  std::lock_guard lock(mutex_);
  commands_.push_back(line);
}

void ScriptedServer::RecordFailure(std::string message) {
  std::lock_guard lock(mutex_);
  failures_.push_back(std::move(message));
}

void ScriptedServer::SetFinished() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    currentStep_ = "script finished";
  }
  changed_.notify_all();
}

void ScriptedServer::SetConnected(bool connected) {
  {
    std::lock_guard lock(mutex_);
    connected_ = connected;
  }
  changed_.notify_all();
}

bool ScriptedServer::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

void ScriptedServer::Run() {
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
      currentStep_ = "step " + std::to_string(i + 1) + " of " + std::to_string(steps_.size()) +
                     ": " + Describe(step);
    }
    skipping = !Play(step, i + 1 == steps_.size());
    if (Stopping()) {
      CloseConnection();
      return;
    }
  }
  SetFinished();
  RunAfterScript();
  CloseConnection();
}

bool ScriptedServer::Play(const Step& step, bool last) {
  switch (step.kind) {
    case StepKind::kReply:
    case StepKind::kReplySplit: {
      if (!connection_.Valid()) {
        RecordFailure("reply " + Quoted(step.bytes) + " not sent: no connection");
        return true;
      }
      std::vector<std::string> segments;
      size_t begin = 0;
      for (size_t cut : step.cuts) {
        segments.push_back(step.bytes.substr(begin, cut - begin));
        begin = cut;
      }
      segments.push_back(step.bytes.substr(begin));
      for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0 && !Pause(segmentPause_)) return true;
        if (!SendAll(connection_, segments[i])) {
          RecordFailure("reply " + Quoted(step.bytes) + " not sent: connection lost");
          CloseConnection();
          return false;
        }
      }
      return true;
    }
    case StepKind::kExpect:
    case StepKind::kExpectPrefix:
    case StepKind::kExpectAny: {
      std::string wanted = step.kind == StepKind::kExpectAny ? std::string("any line")
                                                              : Quoted(step.bytes);
      if (step.kind == StepKind::kExpectPrefix) wanted = "a line starting with " + wanted;
      if (!connection_.Valid()) {
        RecordFailure("expected " + wanted + ", no connection");
        return true;
      }
      std::string line;
      switch (ReadLine(line)) {
        case ReadResult::kStopped:
          return true;
        case ReadResult::kClosed:
          RecordFailure("expected " + wanted + ", connection closed");
          CloseConnection();
          return false;
        case ReadResult::kLine:
          break;
      }
      bool matches = step.kind == StepKind::kExpectAny ||
                     (step.kind == StepKind::kExpect && line == step.bytes) ||
                     (step.kind == StepKind::kExpectPrefix && line.rfind(step.bytes, 0) == 0);
      if (!matches) RecordFailure("expected " + wanted + ", got " + Quoted(line));
      return true;
    }
    case StepKind::kDelay:
      Pause(step.delay);
      return true;
    case StepKind::kClose:
      CloseConnection();
      return true;
    case StepKind::kSilent: {
      if (last) SetFinished();
      std::string line;
      while (connection_.Valid() && ReadLine(line) == ReadResult::kLine) {
      }
      CloseConnection();
      return true;
    }
    case StepKind::kAcceptNext:
      CloseConnection();
      AcceptConnection();
      return true;
  }
  return true;
}

void ScriptedServer::RunAfterScript() {
  while (!Stopping()) {
    if (connection_.Valid()) {
      std::string line;
      switch (ReadLine(line)) {
        case ReadResult::kLine:
          RecordFailure("unexpected command " + Quoted(line));
          break;
        case ReadResult::kClosed:
          CloseConnection();
          break;
        case ReadResult::kStopped:
          return;
      }
    } else {
      if (!AcceptConnection()) return;
      RecordFailure("unexpected connection after the script ended");
    }
  }
}

bool ScriptedServer::AcceptConnection() {
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

void ScriptedServer::CloseConnection() {
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

ScriptedServer::ReadResult ScriptedServer::ReadLine(std::string& line) {
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

void ExpectScriptPlayed(ScriptedServer& server) {
  if (!server.WaitFinished(std::chrono::seconds(5))) {
    std::string received;
    for (const std::string& command : server.Commands()) received += " '" + Printable(command) + "'";
    ADD_FAILURE() << "script not played within 5 s, at " << server.CurrentStep()
                  << "; commands received:" << (received.empty() ? " none" : received);
  }
  for (const std::string& failure : server.Failures()) ADD_FAILURE() << failure;
}

}  // namespace testsupport
