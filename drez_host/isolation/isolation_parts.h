// The pieces isolation.cpp shares with the platform files
// (isolation_posix.cpp, isolation_windows.cpp): the block of memory the
// child and the parent share, the two ends of the pipes (each frame made by
// isolation/codec.h), and the parent's loop around one child. Not for the
// jobs: they see isolation.h.

#ifndef DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_
#define DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "isolation/isolation.h"

namespace drezhost {

constexpr std::size_t kStatusText = 480;
constexpr std::size_t kLastCommands = 8;
// Room for the summary's frame; a longer summary loses messages from its end.
constexpr std::size_t kSummaryBytes = 65536;
// How much of the child's own standard error a crash report shows, at most.
constexpr std::size_t kTailLines = 40;
constexpr std::size_t kTailBytes = 16384;

// The block the child writes and the parent reads. Plain data and lock-free
// atomics only: it lives in memory both processes map.
struct SharedStatus {
  std::atomic<std::uint32_t> callSequence{0};  // one more at each outermost call's start
  std::atomic<std::int32_t> inCall{0};         // an outermost call is in progress
  std::atomic<std::int32_t> depth{0};          // calls in progress, nested
  std::atomic<std::int32_t> finished{0};       // the work returned, the library unloaded
  std::atomic<std::uint32_t> commands{0};      // commands sent in all
  // The pipe to the parent failed in the child: the script closed (or
  // replaced) drez-host's descriptors. Set once, with the step it was in.
  std::atomic<std::int32_t> channelLost{0};
  char step[kStatusText] = {};
  // How much of `step` is safe to show as it is; the rest is a scenario's
  // line as written.
  std::atomic<std::uint32_t> stepShown{0};
  char call[kStatusText] = {};       // the innermost call in progress
  char outermost[kStatusText] = {};  // the outermost call in progress
  char lastCommands[kLastCommands][kStatusText] = {};
  std::int32_t verdict = 0;  // a Verdict, once `finished`
  // The summary, as the frame of a messages::Finished (isolation/codec.h);
  // `summarySize` is its length once it is whole.
  std::atomic<std::uint32_t> summarySize{0};
  char summary[kSummaryBytes] = {};
  // Written by a child's crash handler where the system tells no more than
  // an exit code (Windows): what ended it.
  std::atomic<std::int32_t> crashed{0};
  char crash[kStatusText] = {};
  // The exception `crash` describes. Set as well, with `crashed` still 0,
  // when the exception is first raised: a process that then ends with this
  // code as its status died of it, even when no handler of ours ran.
  std::atomic<std::uint32_t> crashCode{0};
};

// How a child's side reaches its parent.
class ChildTransport {
 public:
  virtual ~ChildTransport() = default;
  virtual void send(const ChildMessage& message) = 0;
  virtual Answer ask(const ChildMessage& question) = 0;
};

// A child's side over two pipes, with `write` and `read` the platform's
// (they return false once the pipe is gone: the script may close it). A
// failed write is noted in `status` (channelLost).
class PipeTransport : public ChildTransport {
 public:
  using Write = bool (*)(void* to, const char* data, std::size_t size);
  using Read = long (*)(void* from, char* data, std::size_t size);  // 0 at the end, < 0 on error
  PipeTransport(SharedStatus& status, void* out, Write write, void* in, Read read)
      : status_(status), out_(out), write_(write), in_(in), read_(read) {}

  void send(const ChildMessage& message) override;
  Answer ask(const ChildMessage& question) override;

 private:
  void lost();

  SharedStatus& status_;
  void* out_;
  Write write_;
  void* in_;
  Read read_;
  std::string buffer_;
  bool broken_ = false;
};

// The parent's side of one child: it takes the frames the child sends and
// calls the hooks, answers questions through `reply`, and keeps the
// watchdog's view of the shared status.
class ParentSide {
 public:
  using Reply = std::function<void(const std::string& frame)>;
  ParentSide(const ParentHooks& hooks, const SharedStatus& status, double budgetSeconds,
             Reply reply);

  // Takes `bytes` read from the child's pipe. False once what came can no
  // longer be read as frames (something other than the child wrote there):
  // the parent reads no more of it.
  bool received(const char* bytes, std::size_t size);
  // True when an outermost call has been in progress longer than the budget.
  bool overdue();

 private:
  void handle(const ChildMessage& message);

  ParentHooks hooks_;
  const SharedStatus& status_;
  double budget_;
  Reply reply_;
  std::string buffer_;
  std::size_t read_ = 0;  // how much of buffer_ is taken
  std::uint32_t sequence_ = 0;
  bool watching_ = false;
  std::chrono::steady_clock::time_point since_;
};

// The installed work, called in the child; throws std::logic_error when the
// program installed none.
Verdict performTask(const TaskOrder& order, ChildLink& link);

// The outcome of a child that ended, from what it left in `status`: a
// finished one's own verdict (unless `ended` says otherwise), or `ended`
// (crashed or hung) with the step, the call, the last commands and
// `standardError`; the summary in both cases. `where` names the task's input.
Outcome outcomeOf(const SharedStatus& status, std::optional<Ending> ended,
                  std::vector<std::string> standardError, const std::string& where);

// Runs `order` in this process, the hooks called directly.
Outcome runHere(const TaskOrder& order, const std::string& where, const ParentHooks& hooks,
                DebugCapture* debug);

// "a call into the script did not return within 5 s (--timeout); ...".
std::string overdueReason(double budgetSeconds);
// Why a child that ParentHooks::stopRequested ended is gone.
std::string stoppedReason();
// Why a child whose channel the script closed (or wrote into) did not finish;
// `then` says how the process ended after that (may be empty).
std::string channelLostReason(const std::string& then);

// The last lines (at most kTailLines) of `bytes`, the end of what the child
// wrote on its standard error, each shown safely.
std::vector<std::string> tailLines(const std::string& bytes);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_
