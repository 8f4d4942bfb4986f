// The host the benchmarks measure against: it counts the commands it is
// given and does nothing else, so that a figure is the script's work and not
// the host's. RecordingHost copies every text into a vector, which would cost
// as much as building the numeric commands under measurement.
//
// A panel needs real replies while it starts ("SD" gives it its device
// numbers), and a benchmark needs the texts an event sends, once, to replay
// them. For that the host passes every call on to a delegate while one is
// set, and only counts while none is.
//
// Threading: single-threaded, like a real host.

#ifndef BENCH_COUNTING_HOST_H_
#define BENCH_COUNTING_HOST_H_

#include <cstddef>
#include <cstdint>

#include "drez_client_host.h"

namespace drezbench {

class CountingHost : public drez_client_host {
 public:
  // Without a delegate; counting from the start.
  CountingHost() = default;
  CountingHost(const CountingHost&) = delete;
  CountingHost& operator=(const CountingHost&) = delete;

  // With a delegate, passes the call on and returns its result. Otherwise
  // counts, and returns 0: no reply to read or release (and a failed "PS",
  // which no script under measurement sends).
  intptr_t command(const char* text, int kind) override;

  // The host takes a reply that `callback` returned, before handing it back.
  // Out of line, so that neither a reply nor its replay can be optimised away.
  void readReply(const char* reply);

  // Calls go to `delegate` (not owned) while it is not null.
  void setDelegate(drez_client_host* delegate) { delegate_ = delegate; }

  // Counted while there was no delegate.
  std::size_t executed() const { return executed_; }
  std::size_t released() const { return released_; }
  std::size_t repliesRead() const { return replies_read_; }

 private:
  drez_client_host* delegate_ = nullptr;
  std::size_t executed_ = 0;
  std::size_t released_ = 0;
  std::size_t replies_read_ = 0;
};

}  // namespace drezbench

#endif  // BENCH_COUNTING_HOST_H_
