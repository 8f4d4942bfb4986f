// drez-host serve: the studio in a web browser.
//
//   drez-host serve [--port N] [--listen ADDR] [--script LIB] [--polls MODE] [SCENARIO]
// (its command line is read with the others, in options.cpp)
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

// Runs drez-host serve with the options of its subcommand (options.h: the
// library, the polls, the port, the address and at most one scenario);
// returns the exit status.
int runServe(const Options& options);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_SERVE_H_
