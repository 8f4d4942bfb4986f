// The pieces isolation.cpp shares with the platform files
// (isolation_posix.cpp, isolation_windows.cpp): the block of memory the
// child and the parent share, the frames that cross the pipes, and the
// parent's loop around one child. Not for the jobs: they see isolation.h.

#ifndef DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_
#define DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "isolation/isolation.h"

namespace drezhost {

constexpr std::size_t kStatusText = 480;
constexpr std::size_t kLastCommands = 8;
constexpr std::size_t kStatusMessages = 8192;

// The block the child writes and the parent reads. Plain data and lock-free
// atomics only: it lives in memory both processes map.
struct SharedStatus {
  std::atomic<std::uint32_t> callSequence{0};  // one more at each outermost call's start
  std::atomic<std::int32_t> inCall{0};         // an outermost call is in progress
  std::atomic<std::int32_t> depth{0};          // calls in progress, nested
  std::atomic<std::int32_t> summarySet{0};     // the work set its summary
  std::atomic<std::int32_t> finished{0};       // the work returned, the library unloaded
  std::atomic<std::uint32_t> commands{0};      // commands sent in all
  char step[kStatusText] = {};
  char call[kStatusText] = {};       // the innermost call in progress
  char outermost[kStatusText] = {};  // the outermost call in progress
  char lastCommands[kLastCommands][kStatusText] = {};
  std::int32_t verdict = 0;  // a Verdict
  std::int32_t actions = 0;
  std::int32_t expectations = 0;
  std::uint64_t notMet = 0;
  std::uint64_t errors = 0;
  std::uint64_t warnings = 0;
  std::uint64_t debugLines = 0;
  char messages[kStatusMessages] = {};  // each ended by '\x1e'
  // Written by a child's crash handler where the system tells no more than
  // an exit code (Windows): what ended it.
  std::atomic<std::int32_t> crashed{0};
  char crash[kStatusText] = {};
  // The exception `crash` describes. Set as well, with `crashed` still 0,
  // when the exception is first raised: a process that then ends with this
  // code as its status died of it, even when no handler of ours ran.
  std::atomic<std::uint32_t> crashCode{0};
};

// What crosses a pipe, one frame at a time: a type byte, four bytes of
// length (least significant first) and the data.
enum class FrameType : char {
  Line = 'L',      // child -> parent: kind, spaced, text
  Message = 'M',   // child -> parent: ChildLink::send
  Question = 'Q',  // child -> parent: ChildLink::ask
  Answer = 'A',    // parent -> child: the answer
  NoAnswer = 'N',  // parent -> child: there is none
};

struct Frame {
  FrameType type = FrameType::Line;
  std::string data;
};

// The bytes of a frame.
std::string encodeFrame(FrameType type, const std::string& data);
// Takes one whole frame off the front of `buffer`, if it holds one.
std::optional<Frame> decodeFrame(std::string& buffer);
// A line's frame data, and back.
std::string encodeLine(const OutputLine& line);
OutputLine decodeLine(const std::string& data);

// How a child's side reaches its parent.
class ChildTransport {
 public:
  virtual ~ChildTransport() = default;
  virtual void show(const OutputLine& line) = 0;
  virtual void send(const std::string& message) = 0;
  virtual std::optional<std::string> ask(const std::string& question) = 0;
};

// A child's side over two pipes, with `write` and `read` the platform's
// (they return false once the pipe is gone: the script may close it).
class PipeTransport : public ChildTransport {
 public:
  using Write = bool (*)(void* to, const char* data, std::size_t size);
  using Read = long (*)(void* from, char* data, std::size_t size);  // 0 at the end, < 0 on error
  PipeTransport(void* out, Write write, void* in, Read read)
      : out_(out), write_(write), in_(in), read_(read) {}

  void show(const OutputLine& line) override;
  void send(const std::string& message) override;
  std::optional<std::string> ask(const std::string& question) override;

 private:
  void put(FrameType type, const std::string& data);

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

  // Takes `bytes` read from the child's pipe.
  void received(const char* bytes, std::size_t size);
  // True when an outermost call has been in progress longer than the budget.
  bool overdue();

 private:
  ParentHooks hooks_;
  const SharedStatus& status_;
  double budget_;
  Reply reply_;
  std::string buffer_;
  std::uint32_t sequence_ = 0;
  bool watching_ = false;
  std::chrono::steady_clock::time_point since_;
};

// Copies what the child left in `status` into `outcome`: the step, the call
// in progress, the last commands and the summary.
void readStatus(const SharedStatus& status, Outcome& outcome);

// Runs `task` in this process, the hooks called directly.
Outcome runHere(const ChildTask& task, const JobOptions& options, const std::string& payload,
                const ParentHooks& hooks, DebugCapture* debug);

// "a call into the script did not return within 5 s (--timeout); ...".
std::string overdueReason(double budgetSeconds);
// Why a child that ParentHooks::stopRequested ended is gone.
std::string stoppedReason();

// `outcome` is one of a child that did not finish its work: `kind` (not
// Finished), its verdict (crashed, or hung), and `why`.
void markEnded(Outcome& outcome, Outcome::Kind kind, std::string why);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_ISOLATION_PARTS_H_
