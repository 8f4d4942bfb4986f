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
// The studio runs in a child process (studio_task.h): the panel library is
// loaded only there, so a crash, a hang or an exit of the script shows on
// the page and in the trace as the crash report, and the page can start the
// studio again. The HTTP server runs in drez-host's own process.
//
// Threading: the thread that calls runServe talks to the studio's child and
// serves, one at a time, the requests the HTTP server's threads hand it
// (studio_channel.h). SIGINT or SIGTERM ends it within a few seconds.

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
