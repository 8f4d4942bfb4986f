// What drez-host serve is told to do; the command line fills it.

#ifndef DREZ_HOST_SERVE_SERVE_SETTINGS_H_
#define DREZ_HOST_SERVE_SERVE_SETTINGS_H_

#include <optional>
#include <string>

#include "simulator/simulated_host.h"

namespace drezhost {

struct ServeSettings {
  std::optional<std::string> script;  // --script; none: the usual rule (jobs/panel_library.h)
  PollDelivery polls = PollDelivery::Reentrant;
  std::string installation;          // --installation: a file, or studio-a; empty: Studio A
  int port = 8080;                   // 0: a free port
  std::string listen = "127.0.0.1";  // the address to listen on
  std::string scenario;              // empty: none
  std::string capture;               // --capture: a capture shown read-only; empty: none
  double timeout = 5;                // seconds one call into the script may take
};

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_SERVE_SETTINGS_H_
