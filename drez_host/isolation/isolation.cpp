#include "isolation/isolation.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "console/terminal.h"
#include "isolation/codec.h"
#include "isolation/isolation_parts.h"
#include "isolation/overloaded.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

template <std::size_t N>
void copyText(char (&into)[N], const std::string& text) {
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(into, text.data(), length);
  into[length] = '\0';
}

// Only the child's own thread writes the shared block, so a count moves by
// a plain load and store: a locked read-modify-write at every call into the
// script cost more than the rest of the bookkeeping. The parent reads each
// count whole either way.
template <typename T>
void advance(std::atomic<T>& count, T by) {
  count.store(count.load(std::memory_order_relaxed) + by, std::memory_order_release);
}

TaskWork installedWork = nullptr;

// The summary's frame, messages dropped from its end (and counted) until it
// fits the shared block.
std::string summaryFrame(RunSummary summary) {
  const std::vector<std::string> all = std::move(summary.messages);
  for (std::size_t kept = all.size();; --kept) {
    summary.messages.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(kept));
    if (kept < all.size()) {
      summary.messages.push_back("... and " + std::to_string(all.size() - kept) +
                                 " more messages, too long to carry");
    }
    std::string frame = encodeFrame(ChildMessage(messages::Finished{summary}));
    if (frame.size() <= kSummaryBytes || kept == 0) return frame;
  }
}

// The summary the child left, if it left one that reads.
RunSummary summaryIn(const SharedStatus& status) {
  const std::uint32_t size = status.summarySize.load();
  if (size == 0 || size > kSummaryBytes) return RunSummary();
  const std::string frame(status.summary, size);
  std::size_t at = 0;
  try {
    std::optional<ChildMessage> message = takeFrame<ChildMessage>(frame, at);
    if (const auto* finished = message ? std::get_if<messages::Finished>(&*message) : nullptr) {
      return finished->summary;
    }
  } catch (const CodecError&) {
  }
  RunSummary unread;
  unread.messages.emplace_back("the summary the child left does not read");
  return unread;
}

}  // namespace

void setTaskWork(TaskWork work) { installedWork = work; }

Verdict performTask(const TaskOrder& order, ChildLink& link) {
  if (installedWork == nullptr) throw std::logic_error("drez-host installed no task work");
  return installedWork(order, link);
}

// The child's side.

void PipeTransport::lost() {
  if (!broken_) status_.channelLost.store(1);
  broken_ = true;
}

void PipeTransport::send(const ChildMessage& message) {
  if (broken_) return;
  const std::string frame = encodeFrame(message);
  if (!write_(out_, frame.data(), frame.size())) lost();
}

Answer PipeTransport::ask(const ChildMessage& question) {
  send(question);
  if (broken_) return Answer();
  std::size_t at = 0;
  while (true) {
    try {
      if (std::optional<Answer> answer = takeFrame<Answer>(buffer_, at)) {
        buffer_.erase(0, at);
        return *answer;
      }
    } catch (const CodecError&) {
      // Not the parent's writing: nothing more from there can be trusted.
      lost();
      return Answer();
    }
    char bytes[4096];
    const long got = read_(in_, bytes, sizeof bytes);
    if (got <= 0) {
      lost();
      return Answer();
    }
    buffer_.append(bytes, static_cast<std::size_t>(got));
  }
}

ChildLink::ChildLink(SharedStatus& status, ChildTransport& transport, DebugCapture* debug)
    : status_(status), transport_(transport), debug_(debug) {}

void ChildLink::setStep(const std::string& step) {
  copyText(status_.step, step);
  status_.stepShown.store(static_cast<std::uint32_t>(kStatusText), std::memory_order_relaxed);
}

void ChildLink::setStep(const Step& step) {
  if (step.includedFrom != nullptr) {
    setStep(step.where() + ": " + shownText(step.source));
    return;
  }
  // "<file>:<line>: " as it is, then the line as written.
  char number[16] = {':'};
  const std::size_t digits =
      step.line == 0
          ? 0
          : static_cast<std::size_t>(
                std::to_chars(number + 1, number + sizeof number, step.line).ptr - number);
  std::size_t at = 0;
  auto append = [&](const char* text, std::size_t length) {
    const std::size_t room = kStatusText - 1 - at;
    if (length > room) length = room;
    std::memcpy(status_.step + at, text, length);
    at += length;
  };
  append(step.file.data(), step.file.size());
  append(number, digits);
  append(": ", 2);
  status_.stepShown.store(static_cast<std::uint32_t>(at), std::memory_order_relaxed);
  append(step.source.data(), step.source.size());
  status_.step[at] = '\0';
}

void ChildLink::setSummary(const RunSummary& summary) {
  const std::string frame = summaryFrame(summary);
  status_.summarySize.store(0);
  if (frame.size() > kSummaryBytes) return;
  std::memcpy(status_.summary, frame.data(), frame.size());
  status_.summarySize.store(static_cast<std::uint32_t>(frame.size()));
}

void ChildLink::show(const OutputLine& line) { transport_.send(line); }

OutputSink ChildLink::output() {
  return [this](const OutputLine& line) { show(line); };
}

void ChildLink::send(const ChildMessage& message) { transport_.send(message); }

std::optional<std::string> ChildLink::ask(const ChildMessage& question) {
  return transport_.ask(question).text;
}

void ChildLink::beginCall(const std::string& what) {
  outermostCallBegan(what);
  copyText(status_.call, what);
  advance(status_.depth, 1);
}

void ChildLink::endCall() {
  advance(status_.depth, -1);
  outermostCallEnded();
}

void ChildLink::enteringCall(const HostCall&, const std::string& context) {
  copyText(status_.call, context);
  advance(status_.depth, 1);
}

void ChildLink::leftCall() { advance(status_.depth, -1); }

void ChildLink::commandSent(const std::string& text) {
  const std::uint32_t count = status_.commands.load(std::memory_order_relaxed);
  // Copied as it is (cut), and made safe to show only when it is read.
  copyText(status_.lastCommands[count % kLastCommands], text);
  status_.commands.store(count + 1, std::memory_order_relaxed);
}

void ChildLink::outermostCallBegan(const std::string& context) {
  copyText(status_.outermost, context);
  advance(status_.callSequence, 1U);
  status_.inCall.store(1, std::memory_order_release);
  if (debug_ != nullptr) debug_->callBegan();
}

void ChildLink::outermostCallEnded() {
  if (debug_ != nullptr) debug_->callEnded();
  status_.inCall.store(0, std::memory_order_release);
}

// The parent's side.

ParentSide::ParentSide(const ParentHooks& hooks, const SharedStatus& status, double budgetSeconds,
                       Reply reply)
    : hooks_(hooks), status_(status), budget_(budgetSeconds), reply_(std::move(reply)) {
  if (!hooks_.show) hooks_.show = terminalOutput();
}

void ParentSide::handle(const ChildMessage& message) {
  auto answer = [this](const ChildMessage& question) {
    Answer answer;
    if (hooks_.answer) answer.text = hooks_.answer(question);
    reply_(encodeFrame(answer));
    // Waiting for an answer is no time the script took.
    watching_ = false;
  };
  auto pass = [this](const ChildMessage& passed) {
    if (hooks_.message) hooks_.message(passed);
  };
  std::visit(Overloaded{
                 [this](const OutputLine& line) { hooks_.show(line); },
                 [&](const LineQuestion&) { answer(message); },
                 [&](const messages::StudioAnswer&) { answer(message); },
                 [&](const messages::MonkeyEvent&) { pass(message); },
                 [&](const messages::Reached&) { pass(message); },
                 [&](const messages::LearnedInstallation&) { pass(message); },
                 [&](const messages::ReplayDifference&) { pass(message); },
                 // It comes through the shared memory; in the pipe it is no
                 // frame of the child's.
                 [](const messages::Finished&) {},
             },
             message);
}

bool ParentSide::received(const char* bytes, std::size_t size) {
  buffer_.append(bytes, size);
  try {
    while (std::optional<ChildMessage> message = takeFrame<ChildMessage>(buffer_, read_)) {
      handle(*message);
    }
  } catch (const CodecError&) {
    return false;
  }
  buffer_.erase(0, read_);
  read_ = 0;
  return true;
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

std::string stoppedReason() {
  return "drez-host was told to stop while the script was busy; drez-host ended it";
}

std::string channelLostReason(const std::string& then) {
  std::string why =
      "the script closed drez-host's channel to its child process (or wrote into it), so "
      "what the run showed after that is lost";
  if (!then.empty()) why += "; then " + then;
  return why;
}

std::vector<std::string> tailLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t end = bytes.size();
  // A last line without its line end counts as well.
  if (end > 0 && bytes[end - 1] == '\n') --end;
  while (end > 0 && lines.size() < kTailLines) {
    const std::size_t start = bytes.rfind('\n', end - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    std::string line = bytes.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(shownText(line));
    if (start == std::string::npos) break;
    end = start;
  }
  return std::vector<std::string>(lines.rbegin(), lines.rend());
}

Outcome outcomeOf(const SharedStatus& status, std::optional<Ending> ended,
                  std::vector<std::string> standardError, const std::string& where) {
  Outcome outcome;
  outcome.summary = summaryIn(status);
  if (!ended) {
    outcome.summary.verdict = static_cast<Verdict>(status.verdict);
    outcome.ending = endingOf(outcome.summary, where);
    return outcome;
  }
  CrashScene scene;
  const std::string step(status.step, strnlen(status.step, kStatusText));
  const std::size_t shown = std::min<std::size_t>(status.stepShown.load(), step.size());
  scene.step = step.substr(0, shown);
  if (shown < step.size()) scene.step += shownText(step.substr(shown), kStatusText);
  if (status.depth.load() > 0) scene.call = status.call;
  if (scene.call.empty() && status.inCall.load() != 0) scene.call = status.outermost;
  const std::uint32_t count = status.commands.load();
  const std::uint32_t first = count > kLastCommands ? count - kLastCommands : 0;
  for (std::uint32_t i = first; i < count; ++i) {
    scene.lastCommands.push_back(shownText(status.lastCommands[i % kLastCommands]));
  }
  scene.standardError = std::move(standardError);
  std::visit(Overloaded{
                 [&](endings::Crashed& crashed) { crashed.scene = std::move(scene); },
                 [&](endings::Hung& hung) { hung.scene = std::move(scene); },
                 [](auto&) {},
             },
             *ended);
  outcome.ending = std::move(*ended);
  outcome.summary.verdict = outcome.verdict();
  return outcome;
}

namespace {

// A child's side whose parent is this very process.
class HereTransport : public ChildTransport {
 public:
  explicit HereTransport(const ParentHooks& hooks) : hooks_(hooks) {
    if (!hooks_.show) hooks_.show = terminalOutput();
  }
  void send(const ChildMessage& message) override {
    if (const auto* line = std::get_if<OutputLine>(&message)) {
      hooks_.show(*line);
    } else if (hooks_.message) {
      hooks_.message(message);
    }
  }
  Answer ask(const ChildMessage& question) override {
    return Answer{hooks_.answer ? hooks_.answer(question) : std::nullopt};
  }

 private:
  ParentHooks hooks_;
};

}  // namespace

Outcome runHere(const TaskOrder& order, const std::string& where, const ParentHooks& hooks,
                DebugCapture* debug) {
  const auto start = std::chrono::steady_clock::now();
  auto status = std::make_unique<SharedStatus>();
  HereTransport transport(hooks);
  ChildLink link(*status, transport, debug);
  status->verdict = static_cast<std::int32_t>(performTask(order, link));
  status->finished.store(1);
  Outcome outcome = outcomeOf(*status, std::nullopt, {}, where);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

}  // namespace drezhost
