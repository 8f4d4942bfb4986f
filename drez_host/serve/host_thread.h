// The host's one thread, where every call into a panel script happens.
//
// The HTTP server answers requests on threads of its own. They never touch
// the studio: they hand work to the host thread with call() and wait for its
// result, so the script, the simulated host and the scenario runner only
// ever see one thread, as a real host gives a script. The thread that calls
// run() becomes the host thread (drez-host serve: the main thread).

#ifndef DREZ_HOST_SERVE_HOST_THREAD_H_
#define DREZ_HOST_SERVE_HOST_THREAD_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace drezhost {

// call() after stop(), or work dropped by stop() before it ran.
class HostStopped : public std::runtime_error {
 public:
  HostStopped() : std::runtime_error("drez-host is stopping") {}
};

class HostThread {
 public:
  // Runs queued work, in order, on the calling thread until stop() is called
  // or `stopRequested` (polled about ten times a second, e.g. a signal flag)
  // returns true. Work still queued then is dropped: its callers get
  // HostStopped.
  void run(const std::function<bool()>& stopRequested);
  // From any thread: no more work is accepted, and run() returns.
  void stop();

  // From a thread other than the host's: runs `work` on the host thread and
  // returns its result, or rethrows what it threw. Throws HostStopped when
  // the host thread has stopped, or stops before running it.
  template <typename Work>
  auto call(Work work) -> decltype(work()) {
    using Result = decltype(work());
    std::packaged_task<Result()> task(std::move(work));
    std::future<Result> result = task.get_future();
    // The queue holds the only owner: when stop() drops the work unrun, the
    // task goes, its promise breaks, and the caller below wakes.
    auto shared = std::make_shared<std::packaged_task<Result()>>(std::move(task));
    post([shared = std::move(shared)] { (*shared)(); });
    try {
      return result.get();
    } catch (const std::future_error&) {
      throw HostStopped();  // dropped unrun: the promise was broken
    }
  }

 private:
  void post(std::function<void()> work);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool stopped_ = false;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_HOST_THREAD_H_
