#include "serve/serve.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "jobs/panel_library.h"
#include "jobs/terminal.h"
#include "serve/host_thread.h"
#include "serve/studio_server.h"
#include "serve/studio_session.h"

namespace drezhost {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) { stopSignal = 1; }

// The scenario file's text; empty text for none. False when it cannot be read.
bool readScenario(const std::string& path, std::string* text) {
  if (path.empty()) return true;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *text = content.str();
  return true;
}

bool isLoopback(const std::string& address) {
  return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

// The address as a browser is given it.
std::string urlHost(const std::string& address) {
  if (address == "0.0.0.0") return "127.0.0.1";
  if (address == "::") return "[::1]";
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

}  // namespace

ExitStatus runServe(const ServeSettings& settings) {
  const std::string& scenario = settings.scenario;
  std::string text;
  if (!readScenario(scenario, &text))
    return badInput("cannot read the scenario file '" + scenario + "'");
  std::unique_ptr<StudioSession> session;
  try {
    const std::string library = choosePanelLibrary(settings.script);
    session = std::make_unique<StudioSession>(library, settings.polls, std::cout);
    std::cout << "drez-host: panel library " << library << "\n";
    session->start(text, scenario.empty() ? "studio" : scenario);
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  } catch (const ScenarioError& failure) {
    std::cout.flush();
    badInput(failure.what());
    session->finish();
    return ExitStatus::BadInput;
  }

  HostThread host;
  StudioServer server(host, *session);
  const int port = server.bind(settings.listen, settings.port);
  if (port < 0) {
    badInput("cannot listen on " + settings.listen + " port " + std::to_string(settings.port) +
             " (in use, or not an address of this machine)");
    session->finish();
    return ExitStatus::BadInput;
  }
  if (!isLoopback(settings.listen)) {
    std::cerr << "drez-host: warning: listening on " << settings.listen
              << ": other machines can reach the studio and drive the panel script\n";
  }
  std::cout << "drez-host: serving the studio at http://" << urlHost(settings.listen) << ":" << port
            << "/ (Ctrl-C ends)" << std::endl;

  stopSignal = 0;
  auto previousInt = std::signal(SIGINT, onStopSignal);
  auto previousTerm = std::signal(SIGTERM, onStopSignal);
  server.publish();
  std::thread http([&server] { server.serve(); });
  host.run([] { return stopSignal != 0; });
  server.stop();
  http.join();
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  std::cout << "\ndrez-host: stopping: the host deletes the scripts still alive\n";
  return exitStatusOf(session->finish());
}

}  // namespace drezhost
