#include "serve/serve.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "console/terminal.h"
#include "jobs/job_setup.h"
#include "jobs/panel_library.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "serve/state_json.h"
#include "serve/studio_channel.h"
#include "serve/studio_server.h"
#include "serve/studio_task.h"

namespace drezhost {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) { stopSignal = 1; }

bool stopRequested() { return stopSignal != 0; }

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
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

// The installation the studio starts from, as steps (with those of the
// files it includes); empty: Studio A.
bool installationText(const ServeSettings& settings, std::string* text) {
  if (settings.installation.empty()) return true;
  if (settings.installation == "studio-a") {
    *text = dataFileText("studio_a.scn");
    return true;
  }
  const std::string why = fileProblem(settings.installation, "installation file");
  if (!why.empty()) {
    badInput(why);
    return false;
  }
  try {
    *text = installationFileText(settings.installation);
  } catch (const ScenarioError& error) {
    badInput(error.what());
    return false;
  }
  return true;
}

// Drives the studio's child processes from the main thread: forwards the
// page's requests to the studio, publishes its state, and, when a studio
// crashes or hangs, shows the report and waits for the page's restart.
class StudioHost {
 public:
  StudioHost(const ServeSettings& settings, JobOptions options, TaskInput input)
      : settings_(settings), options_(std::move(options)), input_(std::move(input)) {}

  // Runs until drez-host is told to stop; returns the exit status.
  ExitStatus run() {
    while (true) {
      bool first = true;
      bool startFailed = false;
      ParentHooks hooks;
      hooks.show = terminalOutput();
      hooks.stopRequested = [this] { return stopOverdue(); };
      hooks.answer = [&](const std::string& answer) -> std::optional<std::string> {
        const nlohmann::json reply = nlohmann::json::parse(answer);
        if (reply.contains("state") && !reply["state"].is_null()) publish(reply["state"]);
        if (first) {
          first = false;
          if (reply.value("status", 500) != 200) {
            // The studio did not start: its answer goes to the restart that
            // asked for it, if any, and the studio ends.
            startFailed = true;
            failedStart_ = reply.value("error", "the studio did not start");
            channel_.reply(answer);
            return std::nullopt;
          }
          if (!server_ && !startServer()) {
            startFailed = true;
            return std::nullopt;
          }
        }
        return channel_.next(answer, stopRequested);
      };
      const Outcome outcome = runIsolated(kStudioTask, options_, input_.encode(), hooks);
      if (startFailed && !server_) return badInput(failedStart_);
      if (startFailed) {
        // A restart found a library that no longer loads: no script until the next.
        std::cout << "drez-host: the studio did not start again: " << failedStart_ << "\n";
        publishCrash("the studio did not start again: " + failedStart_);
        if (!waitForRestart()) return verdict_;
        continue;
      }
      if (outcome.kind == Outcome::Kind::Finished) {
        return worse(verdict_, exitStatusOf(outcome.verdict));
      }
      std::ostringstream report;
      printOutcome(report, outcome);
      std::cout << report.str() << "\n==== " << namesOf(outcome.verdict).heading << ": the studio"
                << std::flush;
      verdict_ = worse(verdict_, exitStatusOf(outcome.verdict));
      if (outcome.kind == Outcome::Kind::Stopped || stopRequested()) {
        std::cout << "\n";
        return verdict_;
      }
      // The studio crashed or hung: the page shows why until it is restarted.
      std::cout << "; restart it from the page\n" << std::flush;
      // The state shows the crash before the waiting request learns of it,
      // so that a page that asks at once reads why.
      publishCrash(report.str());
      channel_.studioEnded("the studio " + std::string(namesOf(outcome.verdict).word) + ": " +
                           outcome.why + " (restart it from the page)");
      if (!waitForRestart()) return verdict_;
    }
  }

 private:
  // True a few seconds after drez-host was told to stop, when the studio
  // has not ended by itself (its scripts deleted) in that time.
  bool stopOverdue() {
    if (!stopRequested()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!stopSeen_) {
      stopSeen_ = true;
      stopSince_ = now;
    }
    return now - stopSince_ > std::chrono::seconds(3);
  }

  bool startServer() {
    server_ = std::make_unique<StudioServer>(channel_);
    const int port = server_->bind(settings_.listen, settings_.port);
    if (port < 0) {
      failedStart_ = "cannot listen on " + settings_.listen + " port " +
                     std::to_string(settings_.port) +
                     " (in use, or not an address of this machine)";
      server_.reset();
      return false;
    }
    if (!isLoopback(settings_.listen)) {
      std::cerr << "drez-host: warning: listening on " << settings_.listen
                << ": other machines can reach the studio and drive the panel script\n";
    }
    std::cout << "drez-host: serving the studio at http://" << urlHost(settings_.listen) << ":"
              << port << "/ (Ctrl-C ends)" << std::endl;
    server_->publish(state_);
    http_ = std::thread([this] { server_->serve(); });
    return true;
  }

  void publish(const nlohmann::json& state) {
    state_ = dumpJson(state);
    if (server_) server_->publish(state_);
  }

  void publishCrash(const std::string& report) {
    nlohmann::json state =
        state_.empty() ? nlohmann::json::object() : nlohmann::json::parse(state_);
    state["crashed"] = report;
    state["version"] = state.value("version", 0) + 1;
    state["scripts"] = nlohmann::json::array();
    publish(state);
  }

  // Until a restart request comes, every request is answered with the
  // crash; false when drez-host stops first.
  bool waitForRestart() {
    std::optional<std::string> answer;
    while (std::optional<std::string> request =
               channel_.next(answer, [] { return stopRequested(); })) {
      // The new studio's first answer goes to the restart.
      if (nlohmann::json::parse(*request).value("op", "") == "restart") return true;
      answer = dumpJson(
          {{"status", 503}, {"error", "the studio crashed or hung: restart it from the page"}});
    }
    return false;
  }

 public:
  ~StudioHost() {
    channel_.stop();
    if (server_) server_->stop();
    if (http_.joinable()) http_.join();
  }

 private:
  const ServeSettings& settings_;
  JobOptions options_;
  TaskInput input_;
  StudioChannel channel_;
  std::unique_ptr<StudioServer> server_;
  std::thread http_;
  std::string state_ = "{}";
  std::string failedStart_;
  ExitStatus verdict_ = ExitStatus::Passed;
  bool stopSeen_ = false;
  std::chrono::steady_clock::time_point stopSince_;
};

}  // namespace

ExitStatus runServe(const ServeSettings& settings) {
  const std::string& scenario = settings.scenario;
  if (!scenario.empty()) {
    const std::string why = fileProblem(scenario, "scenario file");
    if (!why.empty()) return badInput(why);
  }
  std::string installation;
  if (!installationText(settings, &installation)) return ExitStatus::BadInput;
  JobOptions options;
  options.polls = settings.polls;
  options.timeout = settings.timeout;
  try {
    options.library = choosePanelLibrary(settings.script);
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  }
  std::cout << "drez-host: panel library " << options.library << "\n";
  const TaskInput input = studioInput(options.library, settings.polls, installation,
                                      scenario.empty() ? std::string() : fileText(scenario),
                                      scenario.empty() ? "studio" : scenario);
  stopSignal = 0;
  auto previousInt = std::signal(SIGINT, onStopSignal);
  auto previousTerm = std::signal(SIGTERM, onStopSignal);
  ExitStatus status = ExitStatus::Passed;
  {
    StudioHost host(settings, options, input);
    status = host.run();
    std::cout << "\ndrez-host: stopped\n" << std::flush;
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  return status;
}

}  // namespace drezhost
