// Isolation on POSIX systems: fork() without exec, the child in a process
// group of its own, watched with waitid().

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <vector>

#include "isolation/isolation_parts.h"

namespace drezhost {

namespace {

bool writeAll(void* to, const char* data, std::size_t size) {
  const int fd = *static_cast<int*>(to);
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

long readSome(void* from, char* data, std::size_t size) {
  const int fd = *static_cast<int*>(from);
  while (true) {
    const ssize_t got = ::read(fd, data, size);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<long>(got);
  }
}

// "signal 11 (SIGSEGV, Segmentation fault)".
std::string signalName(int signal) {
  std::string text = "signal " + std::to_string(signal);
  const char* abbreviation = sigabbrev_np(signal);
  const char* description = sigdescr_np(signal);
  if (abbreviation != nullptr || description != nullptr) {
    text += " (";
    if (abbreviation != nullptr) text += std::string("SIG") + abbreviation;
    if (abbreviation != nullptr && description != nullptr) text += ", ";
    if (description != nullptr) text += description;
    text += ")";
  }
  return text;
}

// The child: it never returns from here. Its standard output and error go
// into `output` (the parent's file), when there is one.
[[noreturn]] void runChild(const TaskOrder& order, SharedStatus& status, int out, int in,
                           std::optional<std::uint64_t> output) {
  // Every process the script starts joins this group, which ends with the run.
  setpgid(0, 0);
  // A parent gone makes a write fail instead of ending the child unreported.
  signal(SIGPIPE, SIG_IGN);
  const int nothing = open("/dev/null", O_RDONLY);
  if (nothing >= 0) {
    dup2(nothing, STDIN_FILENO);
    close(nothing);
  }
  // drez-host's own output, given back once the work is done: what runs as
  // the process ends (a leak checker's report) then reaches the terminal.
  const int savedOut = dup(STDOUT_FILENO);
  const int savedErr = dup(STDERR_FILENO);
  std::unique_ptr<DebugCapture> capture = DebugCapture::into(output);
  PipeTransport transport(status, &out, writeAll, &in, readSome);
  ChildLink link(status, transport, capture.get());
  const Verdict verdict = performTask(order, link);
  status.verdict = static_cast<std::int32_t>(verdict);
  status.finished.store(1);
  capture.reset();
  if (savedOut >= 0) dup2(savedOut, STDOUT_FILENO);
  if (savedErr >= 0) dup2(savedErr, STDERR_FILENO);
  close(out);
  close(in);
  throw ChildExit{exitCode(exitStatusOf(verdict))};
}

// Why the child ended as it did, when it did not finish its work.
std::string whyItEnded(int result, const SharedStatus& status) {
  if (WIFSIGNALED(result)) {
    std::string why = "the process died of " + signalName(WTERMSIG(result));
    if (status.finished.load() != 0) {
      why += " as it ended, its work done (the panel library's code that runs at exit)";
    }
    return why;
  }
  return "the process ended with exit status " + std::to_string(WEXITSTATUS(result)) +
         " in the middle of the run";
}

}  // namespace

const char kChildArgument[] = "--drez-child";

bool isChildProcess(int, char**) { return false; }

void runChildProcess(int, char**) { throw ChildExit{exitCode(ExitStatus::Crashed)}; }

Outcome runIsolated(const TaskOrder& order, const Isolation& isolation, const std::string& where,
                    const ParentHooks& hooks) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  if (!isolation.isolate) {
    std::unique_ptr<DebugCapture> capture = DebugCapture::start(false);
    return runHere(order, where, hooks, capture.get());
  }
  // A child gone must not end drez-host when an answer is written to it.
  signal(SIGPIPE, SIG_IGN);
  void* memory = mmap(nullptr, sizeof(SharedStatus), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  int up[2] = {-1, -1};    // child -> parent
  int down[2] = {-1, -1};  // parent -> child
  if (memory == MAP_FAILED || pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0) {
    std::cerr << "drez-host: cannot isolate the script (" << strerror(errno)
              << "): running it in this process\n";
    if (memory != MAP_FAILED) munmap(memory, sizeof(SharedStatus));
    std::unique_ptr<DebugCapture> capture = DebugCapture::start(false);
    return runHere(order, where, hooks, capture.get());
  }
  auto* status = new (memory) SharedStatus();
  // What the child writes on its standard error, read after it has died.
  const std::unique_ptr<OutputFile> output = OutputFile::create();
  // What is buffered now would be written twice, by both processes.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(up[0]);
    close(down[1]);
    runChild(order, *status, up[1], down[0],
             output ? std::optional<std::uint64_t>(output->handle()) : std::nullopt);
  }
  close(up[1]);
  close(down[0]);
  if (child > 0) setpgid(child, child);  // as the child does, whichever comes first

  ParentSide side(hooks, *status, isolation.timeout, [&down](const std::string& frame) {
    writeAll(&down[1], frame.data(), frame.size());
  });
  bool timedOut = false;
  bool stopped = false;
  bool pipeOpen = true;
  // The pipe carried what the child did not write: the script wrote into
  // drez-host's descriptors.
  bool channelLost = false;
  char bytes[65536];
  siginfo_t ended = {};
  useconds_t nap = 1000;  // the wait for the end once the pipe is closed
  while (child > 0) {
    if (pipeOpen) {
      pollfd wait = {up[0], POLLIN, 0};
      if (poll(&wait, 1, 100) > 0) {
        const long got = readSome(&up[0], bytes, sizeof bytes);
        if (got <= 0) {
          pipeOpen = false;  // the script may close it: the process tells the end
        } else if (!side.received(bytes, static_cast<std::size_t>(got))) {
          pipeOpen = false;
          channelLost = true;
        }
      }
    } else {
      // The pipe closes as the child ends: its end comes within a few
      // milliseconds, which a fixed wait of 100 would add to every run.
      usleep(nap);
      nap = std::min<useconds_t>(nap * 2, 100 * 1000);
    }
    // The child is watched through its process, which it cannot close; it
    // stays a zombie until the group is ended below.
    ended = {};
    if (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        ended.si_pid == child) {
      break;
    }
    if (side.overdue()) {
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
      timedOut = true;
      break;
    }
    if (hooks.stopRequested && hooks.stopRequested()) {
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
      stopped = true;
      break;
    }
  }
  // What the child wrote before it ended.
  if (pipeOpen) {
    fcntl(up[0], F_SETFL, fcntl(up[0], F_GETFL) | O_NONBLOCK);
    long got = 0;
    while ((got = readSome(&up[0], bytes, sizeof bytes)) > 0) {
      if (!side.received(bytes, static_cast<std::size_t>(got))) {
        channelLost = true;
        break;
      }
    }
  }
  // Every process the script started ends with the run.
  if (child > 0) kill(-child, SIGKILL);
  int result = 0;
  if (child > 0) {
    while (waitpid(child, &result, 0) < 0 && errno == EINTR) {
    }
  }
  close(up[0]);
  close(down[1]);
  // A write to the pipe failed in the child: the script closed it.
  channelLost = channelLost || status->channelLost.load() != 0;
  const bool finished = WIFEXITED(result) && status->finished.load() != 0;
  std::optional<Ending> ending;
  if (child < 0) {
    ending = endings::Crashed{
        std::string("drez-host could not start a child process: ") + strerror(errno), {}};
  } else if (stopped) {
    ending = endings::Hung{stoppedReason(), true, {}};
  } else if (timedOut) {
    ending = endings::Hung{overdueReason(isolation.timeout), false, {}};
  } else if (channelLost) {
    ending = endings::Crashed{
        channelLostReason(finished ? std::string() : whyItEnded(result, *status)), {}};
  } else if (!finished) {
    ending = endings::Crashed{whyItEnded(result, *status), {}};
  }
  std::vector<std::string> tail;
  if (ending && output) tail = tailLines(output->tail(kTailBytes));
  Outcome outcome = outcomeOf(*status, std::move(ending), std::move(tail), where);
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  status->~SharedStatus();
  munmap(memory, sizeof(SharedStatus));
  return outcome;
}

}  // namespace drezhost
