// The way from the HTTP server's threads to the studio, which runs in a
// child process that drez-host's main thread talks to. A handler hands its
// request to call() and waits; the main thread takes one request at a time
// with next(), forwards it to the child and hands the child's answer back
// with the next call of next(). So the script sees one request at a time, in
// order, whatever the number of browsers.
//
// Threading: call() on any thread but the main one; next(), studioEnded()
// on the main thread; stop() on any.

#ifndef DREZ_HOST_SERVE_STUDIO_CHANNEL_H_
#define DREZ_HOST_SERVE_STUDIO_CHANNEL_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace drezhost {

// The studio cannot answer: drez-host is stopping, or the studio ended
// (crashed, hung) before it answered; the message says which.
class StudioUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StudioChannel {
 public:
  // From an HTTP thread: sends `request` and waits for its answer. Throws
  // StudioUnavailable when drez-host stops first, or the studio ended.
  std::string call(const std::string& request);

  // On the main thread: hands `answer` to the request it answers (the one
  // the last next() gave; none for the studio's first answer), then waits
  // for the next request. Nothing once stop() was called or `stopRequested`
  // (asked about ten times a second) is true.
  std::optional<std::string> next(const std::optional<std::string>& answer,
                                  const std::function<bool()>& stopRequested);

  // On the main thread: hands `answer` to the request in hand, if any,
  // without taking the next.
  void reply(const std::string& answer);

  // On the main thread: the studio ended without answering the request in
  // hand; its caller gets StudioUnavailable with `why`.
  void studioEnded(const std::string& why);

  // From any thread: no more requests; every caller waiting wakes.
  void stop();
  bool stopped() const;

 private:
  struct Pending {
    std::string request;
    std::promise<std::string> answer;
  };

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::unique_ptr<Pending>> queue_;
  std::unique_ptr<Pending> inHand_;  // main thread only
  bool stopped_ = false;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STUDIO_CHANNEL_H_
