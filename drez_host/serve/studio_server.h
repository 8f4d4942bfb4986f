// The HTTP side of drez-host serve: the page and its API.
//
//   GET  /, /studio.css, /studio.js, /timeline.js  the page, built into the
//                       program
//   GET  /api/state     the whole studio as JSON (studio_session.h), as the
//                       studio's last answer left it
//   POST /api/step      one scenario line (text/plain); answers
//                       {"lines": [trace lines]} or 400 {"error": message}
//   POST /api/restart   deletes the script, reloads the panel library from
//                       the path given on the command line, creates it again
//   GET  /api/session   the session as a scenario file (a download)
//   GET  /api/events    Server-Sent Events: "state" with the whole studio
//                       after every change
//
// Showing a capture (showCapture), the server is read-only: every POST is
// refused (405), and beside the above it answers
//
//   GET  /api/capture?from=F&count=C   {"calls": [...], "total": N, "from": F,
//                       "differing": [every marked call's index]}: calls F
//                       (default 1) to F+C-1 (C default and at most
//                       kCallsPerPage), each as CaptureTimeline::callJson
//   GET  /api/state?call=N   the studio after call N (1 to total), in the
//                       shape of /api/state; 404 out of range, 400 when N
//                       is no decimal number. Without call=: after the last.
//
// Refused, with a message and nothing changed: a POST whose Origin is not
// the page's own (403; a POST without Origin comes from no browser page), a
// Host header that names another server while listening on one address
// (403: a page reached by DNS rebinding), a body that is not text/plain
// (415), over kMaxBody bytes (413) or more than one line (400).
//
// Threading: handlers run on the HTTP server's threads. They never reach the
// studio but through the channel (studio_channel.h), which the main thread
// serves, one request at a time. publish() runs on the main thread; the
// state and the event streams read what it published, so they answer while
// the studio is busy.

#ifndef DREZ_HOST_SERVE_STUDIO_SERVER_H_
#define DREZ_HOST_SERVE_STUDIO_SERVER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serve/capture_timeline.h"
#include "serve/studio_channel.h"

namespace httplib {
class Server;
struct Response;
}  // namespace httplib

namespace drezhost {

class StudioServer {
 public:
  // Larger bodies are refused: a scenario line is short.
  static constexpr std::size_t kMaxBody = 4096;
  // Event streams at once; each holds one of the server's threads.
  static constexpr int kMaxStreams = 4;

  // `channel` must outlive the server.
  explicit StudioServer(StudioChannel& channel);
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  // Binds to `address` and `port` (0: a free one). Returns the port, or -1
  // when it cannot bind. `wildcard`: the address is 0.0.0.0 or ::, any
  // Host header is then accepted.
  int bind(const std::string& address, int port);
  // Serves until stop(); on a thread of its own.
  void serve();
  // From any thread: ends the event streams and the server.
  void stop();

  // After a change: the studio's state (JSON), which /api/state answers
  // and the streams send.
  void publish(const std::string& state);

  // Calls in one page of /api/capture, at most.
  static constexpr std::size_t kCallsPerPage = 1000;
  // Before serve(): shows `timeline` (it must outlive the server) read-only;
  // every state the API gives is `frame` (the page's header: library,
  // counts, the capture's name) with the studio after the call over it.
  void showCapture(const CaptureTimeline* timeline, const nlohmann::json& frame);

 private:
  struct Stream;
  void routes();
  bool allowed(const std::string& host) const;

  void captureRoutes();
  std::string captureState(std::size_t call) const;

  // Forwards `request` to the studio; fills `response` with its answer.
  void forward(const std::string& request, httplib::Response& response);

  StudioChannel& channel_;
  std::unique_ptr<httplib::Server> http_;
  std::vector<std::string> hosts_;  // Host headers that name this server
  bool anyHost_ = false;
  const CaptureTimeline* timeline_ = nullptr;
  nlohmann::json frame_;

  std::mutex mutex_;  // guards what follows
  std::condition_variable changed_;
  std::string state_;  // the latest state, as JSON
  int64_t version_ = 0;
  int streams_ = 0;
  bool stopping_ = false;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STUDIO_SERVER_H_
