#include "jobs/isolation.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "simulator/trace.h"

namespace drezhost {

namespace {

constexpr std::size_t kText = 480;
constexpr std::size_t kLastCommands = 8;
constexpr std::size_t kMessages = 8192;

void copyText(char (&into)[kText], const std::string& text) {
  const std::size_t length = text.size() < kText - 1 ? text.size() : kText - 1;
  std::memcpy(into, text.data(), length);
  into[length] = '\0';
}

}  // namespace

// The block the child writes and the parent reads. Plain data and lock-free
// atomics only: it lives in memory both processes map.
struct SharedStatus {
  std::atomic<std::uint32_t> progress{0};  // changes at every call's start and end
  std::atomic<std::int32_t> depth{0};      // calls in progress
  std::atomic<std::int32_t> finished{0};   // the work returned
  std::atomic<std::uint32_t> commands{0};  // commands sent in all
  char step[kText] = {};
  char call[kText] = {};
  char lastCommands[kLastCommands][kText] = {};
  std::int32_t verdict = 0;  // a Verdict
  std::int32_t actions = 0;
  std::int32_t expectations = 0;
  std::uint64_t notMet = 0;
  std::uint64_t errors = 0;
  std::uint64_t warnings = 0;
  char messages[kMessages] = {};  // one a line
};

void ChildLink::setStep(const std::string& step) { copyText(status_.step, step); }

void ChildLink::setSummary(const RunSummary& summary) {
  status_.verdict = static_cast<std::int32_t>(summary.verdict);
  status_.actions = summary.actions;
  status_.expectations = summary.expectations;
  status_.notMet = summary.notMet;
  status_.errors = summary.errors;
  status_.warnings = summary.warnings;
  std::string joined;
  for (const std::string& message : summary.messages) joined += message + "\n";
  const std::size_t length = joined.size() < kMessages - 1 ? joined.size() : kMessages - 1;
  std::memcpy(status_.messages, joined.data(), length);
  status_.messages[length] = '\0';
}

void ChildLink::enteringCall(const HostCall&, const std::string& context) {
  copyText(status_.call, context);
  status_.depth.fetch_add(1);
  status_.progress.fetch_add(1);
}

void ChildLink::leftCall() {
  status_.depth.fetch_sub(1);
  status_.progress.fetch_add(1);
}

void ChildLink::commandSent(const std::string& text) {
  const std::uint32_t count = status_.commands.load(std::memory_order_relaxed);
  // Copied as it is (cut), and made safe to show only when it is read.
  copyText(status_.lastCommands[count % kLastCommands], text);
  status_.commands.store(count + 1, std::memory_order_relaxed);
}

namespace {

Outcome readStatus(const SharedStatus& status, Outcome outcome) {
  outcome.step = status.step;
  if (status.depth.load() > 0) outcome.call = status.call;
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
  const std::string messages = status.messages;
  std::size_t start = 0;
  while (start < messages.size()) {
    const std::size_t end = messages.find('\n', start);
    summary.messages.push_back(messages.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return outcome;
}

Outcome runHere(const std::function<Verdict(ChildLink&)>& work) {
  auto status = std::make_unique<SharedStatus>();
  ChildLink link(*status);
  Outcome outcome;
  outcome.verdict = work(link);
  return readStatus(*status, outcome);
}

}  // namespace

#if defined(_WIN32)

bool isolationAvailable() { return false; }

Outcome runIsolated(const std::function<Verdict(ChildLink&)>& work, const IsolationOptions&) {
  const auto start = std::chrono::steady_clock::now();
  Outcome outcome = runHere(work);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

#else

bool isolationAvailable() { return true; }

Outcome runIsolated(const std::function<Verdict(ChildLink&)>& work,
                    const IsolationOptions& options) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  if (!options.isolate) {
    Outcome outcome = runHere(work);
    outcome.seconds = elapsed();
    return outcome;
  }
  void* memory = mmap(nullptr, sizeof(SharedStatus), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  int alive[2] = {-1, -1};
  if (memory == MAP_FAILED || pipe(alive) != 0) {
    std::cerr << "drez-host: cannot isolate the script (" << std::strerror(errno)
              << "): running it in this process\n";
    if (memory != MAP_FAILED) munmap(memory, sizeof(SharedStatus));
    Outcome outcome = runHere(work);
    outcome.seconds = elapsed();
    return outcome;
  }
  auto* status = new (memory) SharedStatus();
  // What is buffered now would be written twice, by both processes.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(alive[0]);
    ChildLink link(*status);
    const Verdict verdict = work(link);
    std::cout.flush();
    std::cerr.flush();
    status->verdict = static_cast<std::int32_t>(verdict);
    status->finished.store(1);
    throw ChildExit{exitCode(exitStatusOf(verdict))};
  }
  close(alive[1]);
  Outcome outcome;
  if (child < 0) {
    std::cerr << "drez-host: cannot start a child process (" << std::strerror(errno)
              << "): running the script in this process\n";
    close(alive[0]);
    status->~SharedStatus();
    munmap(memory, sizeof(SharedStatus));
    outcome = runHere(work);
    outcome.seconds = elapsed();
    return outcome;
  }
  // The pipe closes when the child ends; until then, the watchdog looks at
  // the child's progress ten times a second.
  std::uint32_t seen = status->progress.load();
  auto lastChange = Clock::now();
  bool timedOut = false;
  while (true) {
    pollfd ended = {alive[0], POLLIN, 0};
    const int ready = poll(&ended, 1, 100);
    if (ready > 0) {
      char byte = 0;
      if (read(alive[0], &byte, 1) <= 0) break;
      continue;
    }
    const std::uint32_t now = status->progress.load();
    if (now != seen || status->depth.load() <= 0) {
      seen = now;
      lastChange = Clock::now();
    } else if (std::chrono::duration<double>(Clock::now() - lastChange).count() >
               options.callBudgetSeconds) {
      kill(child, SIGKILL);
      timedOut = true;
      break;
    }
  }
  close(alive[0]);
  int result = 0;
  while (waitpid(child, &result, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) {
    outcome.kind = Outcome::Kind::TimedOut;
    char budget[64];
    std::snprintf(budget, sizeof budget, "%g", options.callBudgetSeconds);
    outcome.why = std::string("a call into the script did not return within ") + budget +
                  " s (--timeout); drez-host ended it";
    outcome.verdict = Verdict::Hung;
  } else if (WIFEXITED(result) && status->finished.load() != 0) {
    outcome.verdict = static_cast<Verdict>(status->verdict);
  } else {
    outcome.kind = Outcome::Kind::Crashed;
    outcome.verdict = Verdict::Crashed;
    if (WIFSIGNALED(result)) {
      const int signal = WTERMSIG(result);
      const char* name = strsignal(signal);
      outcome.why = "the process died of signal " + std::to_string(signal) +
                    (name != nullptr ? std::string(" (") + name + ")" : std::string());
    } else {
      outcome.why = "the process ended with exit status " + std::to_string(WEXITSTATUS(result)) +
                    " in the middle of the run";
    }
  }
  outcome = readStatus(*status, outcome);
  outcome.seconds = elapsed();
  status->~SharedStatus();
  munmap(memory, sizeof(SharedStatus));
  return outcome;
}

#endif

void printOutcome(std::ostream& out, const Outcome& outcome) {
  if (outcome.kind == Outcome::Kind::Finished) return;
  out << "\n!! "
      << (outcome.kind == Outcome::Kind::Crashed ? "the script crashed: " : "the script hung: ")
      << outcome.why << "\n";
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
