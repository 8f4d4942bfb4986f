#include "isolation/isolation.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "console/terminal.h"
#include "isolation/isolation_parts.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

// Between the summary's messages in the shared block: the record separator.
constexpr char kMessageEnd = '\x1e';

template <std::size_t N>
void copyText(char (&into)[N], const std::string& text) {
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(into, text.data(), length);
  into[length] = '\0';
}

void putLength(std::string& out, std::size_t length) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

}  // namespace

// Frames.

std::string encodeFrame(FrameType type, const std::string& data) {
  std::string frame;
  frame.reserve(data.size() + 5);
  frame += static_cast<char>(type);
  putLength(frame, data.size());
  frame += data;
  return frame;
}

std::optional<Frame> decodeFrame(std::string& buffer) {
  if (buffer.size() < 5) return std::nullopt;
  std::size_t length = 0;
  for (int i = 0; i < 4; ++i) {
    length |= static_cast<std::size_t>(static_cast<unsigned char>(buffer[1 + i])) << (8 * i);
  }
  if (buffer.size() < 5 + length) return std::nullopt;
  Frame frame;
  frame.type = static_cast<FrameType>(buffer[0]);
  frame.data = buffer.substr(5, length);
  buffer.erase(0, 5 + length);
  return frame;
}

std::string encodeLine(const OutputLine& line) {
  std::string data;
  data += static_cast<char>(line.kind);
  data += line.spaced ? '1' : '0';
  return data + line.text;
}

OutputLine decodeLine(const std::string& data) {
  OutputLine line;
  if (data.size() < 2) return line;
  const auto kind = static_cast<unsigned char>(data[0]);
  line.kind = kind <= static_cast<unsigned char>(LineKind::Result) ? static_cast<LineKind>(kind)
                                                                   : LineKind::Trace;
  line.spaced = data[1] == '1';
  line.text = data.substr(2);
  return line;
}

// The child's side.

void PipeTransport::put(FrameType type, const std::string& data) {
  if (broken_) return;
  const std::string frame = encodeFrame(type, data);
  if (!write_(out_, frame.data(), frame.size())) broken_ = true;
}

void PipeTransport::show(const OutputLine& line) { put(FrameType::Line, encodeLine(line)); }

void PipeTransport::send(const std::string& message) { put(FrameType::Message, message); }

std::optional<std::string> PipeTransport::ask(const std::string& question) {
  put(FrameType::Question, question);
  if (broken_) return std::nullopt;
  while (true) {
    if (std::optional<Frame> frame = decodeFrame(buffer_)) {
      if (frame->type == FrameType::Answer) return frame->data;
      return std::nullopt;
    }
    char bytes[4096];
    const long got = read_(in_, bytes, sizeof bytes);
    if (got <= 0) return std::nullopt;
    buffer_.append(bytes, static_cast<std::size_t>(got));
  }
}

ChildLink::ChildLink(SharedStatus& status, ChildTransport& transport, DebugCapture* debug)
    : status_(status), transport_(transport), debug_(debug) {}

void ChildLink::setStep(const std::string& step) { copyText(status_.step, step); }

void ChildLink::setSummary(const RunSummary& summary) {
  status_.verdict = static_cast<std::int32_t>(summary.verdict);
  status_.actions = summary.actions;
  status_.expectations = summary.expectations;
  status_.notMet = summary.notMet;
  status_.errors = summary.errors;
  status_.warnings = summary.warnings;
  status_.debugLines = summary.debugLines;
  std::string joined;
  // A message may hold line feeds (an expectation's expected and actual).
  for (const std::string& message : summary.messages) joined += message + kMessageEnd;
  copyText(status_.messages, joined);
  status_.summarySet.store(1);
}

void ChildLink::show(const OutputLine& line) { transport_.show(line); }

OutputSink ChildLink::output() {
  return [this](const OutputLine& line) { show(line); };
}

void ChildLink::send(const std::string& message) { transport_.send(message); }

std::optional<std::string> ChildLink::ask(const std::string& question) {
  return transport_.ask(question);
}

void ChildLink::beginCall(const std::string& what) {
  outermostCallBegan(what);
  copyText(status_.call, what);
  status_.depth.fetch_add(1);
}

void ChildLink::endCall() {
  status_.depth.fetch_sub(1);
  outermostCallEnded();
}

void ChildLink::enteringCall(const HostCall&, const std::string& context) {
  copyText(status_.call, context);
  status_.depth.fetch_add(1);
}

void ChildLink::leftCall() { status_.depth.fetch_sub(1); }

void ChildLink::commandSent(const std::string& text) {
  const std::uint32_t count = status_.commands.load(std::memory_order_relaxed);
  // Copied as it is (cut), and made safe to show only when it is read.
  copyText(status_.lastCommands[count % kLastCommands], text);
  status_.commands.store(count + 1, std::memory_order_relaxed);
}

void ChildLink::outermostCallBegan(const std::string& context) {
  copyText(status_.outermost, context);
  status_.callSequence.fetch_add(1);
  status_.inCall.store(1);
  if (debug_ != nullptr) debug_->callBegan();
}

void ChildLink::outermostCallEnded() {
  if (debug_ != nullptr) debug_->callEnded();
  status_.inCall.store(0);
}

// The parent's side.

ParentSide::ParentSide(const ParentHooks& hooks, const SharedStatus& status, double budgetSeconds,
                       Reply reply)
    : hooks_(hooks), status_(status), budget_(budgetSeconds), reply_(std::move(reply)) {
  if (!hooks_.show) hooks_.show = terminalOutput();
}

void ParentSide::received(const char* bytes, std::size_t size) {
  buffer_.append(bytes, size);
  while (std::optional<Frame> frame = decodeFrame(buffer_)) {
    switch (frame->type) {
      case FrameType::Line:
        hooks_.show(decodeLine(frame->data));
        break;
      case FrameType::Message:
        if (hooks_.message) hooks_.message(frame->data);
        break;
      case FrameType::Question: {
        std::optional<std::string> answer;
        if (hooks_.answer) answer = hooks_.answer(frame->data);
        reply_(answer ? encodeFrame(FrameType::Answer, *answer)
                      : encodeFrame(FrameType::NoAnswer, std::string()));
        // Waiting for an answer is no time the script took.
        watching_ = false;
        break;
      }
      case FrameType::Answer:
      case FrameType::NoAnswer:
        break;  // the child's pipe carries none: a forgery of the script's
    }
  }
}

bool ParentSide::overdue() {
  const auto now = std::chrono::steady_clock::now();
  const std::uint32_t sequence = status_.callSequence.load();
  if (status_.inCall.load() == 0) {
    watching_ = false;
    return false;
  }
  if (!watching_ || sequence != sequence_) {
    watching_ = true;
    sequence_ = sequence;
    since_ = now;
    return false;
  }
  return std::chrono::duration<double>(now - since_).count() > budget_;
}

std::string overdueReason(double budgetSeconds) {
  char budget[64];
  std::snprintf(budget, sizeof budget, "%g", budgetSeconds);
  return std::string("a call into the script did not return within ") + budget +
         " s (--timeout); drez-host ended it";
}

void markEnded(Outcome& outcome, Outcome::Kind kind, std::string why) {
  outcome.kind = kind;
  outcome.verdict = kind == Outcome::Kind::Crashed ? Verdict::Crashed : Verdict::Hung;
  outcome.why = std::move(why);
}

std::string stoppedReason() {
  return "drez-host was told to stop while the script was busy; drez-host ended it";
}

void readStatus(const SharedStatus& status, Outcome& outcome) {
  outcome.step = status.step;
  if (status.depth.load() > 0) outcome.call = status.call;
  if (outcome.call.empty() && status.inCall.load() != 0) outcome.call = status.outermost;
  const std::uint32_t count = status.commands.load();
  const std::uint32_t first = count > kLastCommands ? count - kLastCommands : 0;
  for (std::uint32_t i = first; i < count; ++i) {
    outcome.lastCommands.push_back(shownText(status.lastCommands[i % kLastCommands]));
  }
  RunSummary& summary = outcome.summary;
  summary.verdict = static_cast<Verdict>(status.verdict);
  summary.actions = status.actions;
  summary.expectations = status.expectations;
  summary.notMet = status.notMet;
  summary.errors = status.errors;
  summary.warnings = status.warnings;
  summary.debugLines = status.debugLines;
  const std::string messages = status.messages;
  std::size_t start = 0;
  while (start < messages.size()) {
    const std::size_t end = messages.find(kMessageEnd, start);
    summary.messages.push_back(messages.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

namespace {

// A child's side whose parent is this very process.
class HereTransport : public ChildTransport {
 public:
  explicit HereTransport(const ParentHooks& hooks) : hooks_(hooks) {
    if (!hooks_.show) hooks_.show = terminalOutput();
  }
  void show(const OutputLine& line) override { hooks_.show(line); }
  void send(const std::string& message) override {
    if (hooks_.message) hooks_.message(message);
  }
  std::optional<std::string> ask(const std::string& question) override {
    return hooks_.answer ? hooks_.answer(question) : std::nullopt;
  }

 private:
  ParentHooks hooks_;
};

}  // namespace

Outcome runHere(const ChildTask& task, const JobOptions& options, const std::string& payload,
                const ParentHooks& hooks, DebugCapture* debug) {
  const auto start = std::chrono::steady_clock::now();
  auto status = std::make_unique<SharedStatus>();
  HereTransport transport(hooks);
  ChildLink link(*status, transport, debug);
  Outcome outcome;
  outcome.verdict = task.run(options, payload, link);
  readStatus(*status, outcome);
  outcome.summary.verdict = outcome.verdict;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

void printOutcome(std::ostream& out, const Outcome& outcome) {
  if (outcome.kind == Outcome::Kind::Finished) return;
  const char* what = outcome.kind == Outcome::Kind::Crashed    ? "the script crashed: "
                     : outcome.kind == Outcome::Kind::TimedOut ? "the script hung: "
                                                               : "the script was stopped: ";
  out << "\n!! " << what << outcome.why << "\n";
  if (!outcome.step.empty()) out << "   during step " << outcome.step << "\n";
  if (!outcome.call.empty()) out << "   in call " << outcome.call << "\n";
  if (outcome.lastCommands.empty()) {
    out << "   no command was sent before\n";
  } else {
    out << "   the last commands sent, oldest first:\n";
    for (const std::string& command : outcome.lastCommands) out << "     " << command << "\n";
  }
  out.flush();
}

}  // namespace drezhost
