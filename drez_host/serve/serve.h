// drez-host serve: the studio in a web browser.
//
//   drez-host serve [--port N] [--listen ADDR] [--script LIB] [--polls MODE] [SCENARIO]
// (its command line is read with the others, in cli/options.cpp, into
// ServeSettings)
//
// Builds Studio A, or the installation the scenario's set-up lines describe,
// loads the panel library, creates the script and plays the scenario; then
// serves the page and its API (studio_server.h) until SIGINT or SIGTERM,
// deletes the scripts (their teardown is traced and checked) and returns the
// exit status as drez-host does (runner/verdict.h).
//
// Threading: the thread that calls runServe is the host's: every call into
// the script happens on it (host_thread.h). The HTTP server runs on threads
// of its own and reaches the studio only through that thread's queue.

#ifndef DREZ_HOST_SERVE_SERVE_H_
#define DREZ_HOST_SERVE_SERVE_H_

#include <string>

#include "runner/verdict.h"
#include "serve/serve_settings.h"

namespace drezhost {

// Runs drez-host serve with `settings`; returns the exit status.
ExitStatus runServe(const ServeSettings& settings);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_SERVE_H_
