// drez-host serve: the studio in a web browser.
//
//   drez-host serve [--port N] [--listen ADDR] [--script LIB] [--polls MODE] [SCENARIO]
//
// Builds Studio A, or the installation the scenario's set-up lines describe,
// loads the panel library, creates the script and plays the scenario; then
// serves the page and its API (studio_server.h) until SIGINT or SIGTERM,
// deletes the scripts (their teardown is traced and checked) and returns the
// verdict as drez-host does: 0 passed, 1 failed, 2 bad input.
//
// Threading: the thread that calls runServe is the host's: every call into
// the script happens on it (host_thread.h). The HTTP server runs on threads
// of its own and reaches the studio only through that thread's queue.

#ifndef DREZ_HOST_SERVE_SERVE_H_
#define DREZ_HOST_SERVE_SERVE_H_

#include <string>

#include "options.h"

namespace drezhost {

struct ServeOptions {
  int port = 8080;                   // 0: a free port
  std::string listen = "127.0.0.1";  // the address to listen on
  bool listenGiven = false;          // --listen was given: warn
  // --script, --polls, --help and the scenario,
  // read as drez-host reads them (options.h); the others are refused.
  Options common;
};

// Reads the arguments after "serve" (argv[0] is "serve"). False, with
// `*error` set, when they do not fit the usage.
bool parseServeOptions(int argc, const char* const* argv, ServeOptions* options,
                       std::string* error);

extern const char kServeUsage[];

// Runs drez-host serve; returns the exit status.
int runServe(const ServeOptions& options);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_SERVE_H_
