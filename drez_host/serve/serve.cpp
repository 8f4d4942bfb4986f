#include "serve.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "host_thread.h"
#include "panel_library.h"
#include "studio_server.h"
#include "studio_session.h"

namespace drezhost {

namespace {

const int kBadInput = 2;

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) { stopSignal = 1; }

int fail(const std::string& message) {
  std::cerr << "drez-host: " << message << "\n";
  return kBadInput;
}

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

int runServe(const Options& options) {
  const std::string scenario = options.scenarios.empty() ? std::string() : options.scenarios[0];
  std::string text;
  if (!readScenario(scenario, &text))
    return fail("cannot read the scenario file '" + scenario + "'");
  std::unique_ptr<StudioSession> session;
  try {
    const std::string library = choosePanelLibrary(options.script);
    session = std::make_unique<StudioSession>(library, options.polls, std::cout);
    std::cout << "drez-host: panel library " << library << "\n";
    session->start(text, scenario.empty() ? "studio" : scenario);
  } catch (const LibraryError& failure) {
    return fail(failure.what());
  } catch (const ScenarioError& failure) {
    std::cout.flush();
    fail(failure.what());
    session->finish();
    return kBadInput;
  }

  HostThread host;
  StudioServer server(host, *session);
  const int port = server.bind(options.listen, options.port);
  if (port < 0) {
    fail("cannot listen on " + options.listen + " port " + std::to_string(options.port) +
         " (in use, or not an address of this machine)");
    session->finish();
    return kBadInput;
  }
  if (!isLoopback(options.listen)) {
    std::cerr << "drez-host: warning: listening on " << options.listen
              << ": other machines can reach the studio and drive the panel script\n";
  }
  std::cout << "drez-host: serving the studio at http://" << urlHost(options.listen) << ":" << port
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
  return session->finish();
}

}  // namespace drezhost
