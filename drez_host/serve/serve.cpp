#include "serve/serve.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "capture_reader.h"
#include "console/terminal.h"
#include "jobs/job_setup.h"
#include "jobs/panel_library.h"
#include "jobs/replay_job.h"
#include "scenario/capture_scenario.h"
#include "scenario/data_files.h"
#include "scenario/installation_file.h"
#include "serve/capture_timeline.h"
#include "serve/state_json.h"
#include "serve/studio_channel.h"
#include "serve/studio_server.h"
#include "serve/studio_task.h"

#if defined(__SANITIZE_ADDRESS__)
#define DREZ_SERVE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DREZ_SERVE_SANITIZED 1
#endif
#endif
#ifndef DREZ_SERVE_SANITIZED
#define DREZ_SERVE_SANITIZED 0
#endif

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

// Drives the studio's child processes from the main thread: forwards the
// page's requests to the studio, publishes its state, and, when a studio
// crashes or hangs, shows the report and waits for the page's restart.
class StudioHost {
 public:
  StudioHost(const ServeSettings& settings, TaskOrder order)
      : settings_(settings), order_(std::move(order)) {
    isolation_.timeout = settings.timeout;
  }

  // Runs until drez-host is told to stop; returns the exit status.
  ExitStatus run() {
    while (true) {
      bool first = true;
      bool startFailed = false;
      ParentHooks hooks;
      hooks.show = terminalOutput();
      hooks.stopRequested = [this] { return stopOverdue(); };
      hooks.answer = [&](const ChildMessage& question) -> std::optional<std::string> {
        const auto* studio = std::get_if<messages::StudioAnswer>(&question);
        if (studio == nullptr) return std::nullopt;
        const std::string& answer = studio->json;
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
      const Outcome outcome = runIsolated(order_, isolation_, "the studio", hooks);
      if (startFailed && !server_) return badInput(failedStart_);
      if (startFailed) {
        // A restart found a library that no longer loads: no script until the next.
        std::cout << "drez-host: the studio did not start again: " << failedStart_ << "\n";
        publishCrash("the studio did not start again: " + failedStart_);
        if (!waitForRestart()) return verdict_;
        continue;
      }
      if (outcome.finished()) return worse(verdict_, exitStatusOf(outcome.verdict()));
      std::ostringstream report;
      printCrashReport(report, outcome.ending);
      std::cout << report.str() << "\n==== " << namesOf(outcome.verdict()).heading << ": the studio"
                << std::flush;
      verdict_ = worse(verdict_, exitStatusOf(outcome.verdict()));
      const auto* hung = std::get_if<endings::Hung>(&outcome.ending);
      if ((hung != nullptr && hung->stopped) || stopRequested()) {
        std::cout << "\n";
        return verdict_;
      }
      // The studio crashed or hung: the page shows why until it is restarted.
      std::cout << "; restart it from the page\n" << std::flush;
      // The state shows the crash before the waiting request learns of it,
      // so that a page that asks at once reads why.
      publishCrash(report.str());
      channel_.studioEnded("the studio " + std::string(namesOf(outcome.verdict()).word) + ": " +
                           causeOf(outcome.ending) + " (restart it from the page)");
      if (!waitForRestart()) return verdict_;
    }
  }

 private:
  // True a moment after drez-host was told to stop, when the studio has
  // not ended by itself (its scripts deleted) in that time: a script busy
  // in a call cannot hold drez-host for longer than about a second.
  bool stopOverdue() {
    if (!stopRequested()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!stopSeen_) {
      stopSeen_ = true;
      stopSince_ = now;
    }
    return now - stopSince_ > kStopGrace;
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
    // The request the studio was busy with when it was ended: its handler
    // waits for an answer, and the server cannot stop before it has one.
    channel_.studioEnded("drez-host is stopping");
    if (server_) server_->stop();
    if (http_.joinable()) http_.join();
  }

 private:
  // How long the studio has to delete its scripts once drez-host is told to
  // stop. An address-sanitized build is several times slower, and its
  // child checks for leaks as it ends: on a busy machine that took more
  // than 600 ms, and a clean stop was reported as a hang.
#if DREZ_SERVE_SANITIZED
  static constexpr std::chrono::milliseconds kStopGrace{3000};
#else
  static constexpr std::chrono::milliseconds kStopGrace{600};
#endif

  const ServeSettings& settings_;
  TaskOrder order_;
  Isolation isolation_;
  StudioChannel channel_;
  std::unique_ptr<StudioServer> server_;
  std::thread http_;
  std::string state_ = "{}";
  std::string failedStart_;
  ExitStatus verdict_ = ExitStatus::Passed;
  bool stopSeen_ = false;
  std::chrono::steady_clock::time_point stopSince_;
};

// With --script: the capture replayed against the library, isolated as
// every replay is; each difference marks its call. The frame gets what the
// replay came to.
ExitStatus markDifferences(const ServeSettings& settings, const std::string& steps,
                           CaptureTimeline& timeline, nlohmann::json& frame) {
  TaskOrder order;
  try {
    order.settings.library = choosePanelLibrary(settings.script);
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  }
  order.settings.installation = steps;
  order.settings.polls = settings.polls;
  order.task = tasks::Replay{settings.capture, true};
  Isolation isolation;
  isolation.timeout = settings.timeout;
  ParentHooks hooks;
  std::vector<std::string> problems;
  hooks.show = [&problems](const OutputLine& line) {
    if (line.kind == LineKind::Diagnostic) problems.push_back(line.text);
  };
  std::size_t differences = 0;
  hooks.message = [&](const ChildMessage& message) {
    if (const auto* found = std::get_if<messages::ReplayDifference>(&message)) {
      timeline.markDifference(found->line, found->message);
      ++differences;
    }
  };
  std::cerr << "drez-host: replaying " << settings.capture << " against " << order.settings.library
            << "\n";
  const Outcome outcome = runIsolated(order, isolation, settings.capture, hooks);
  if (outcome.verdict() == Verdict::BadInput) {
    for (const std::string& problem : problems) std::cerr << problem << "\n";
    return badInput("the capture could not be replayed against " + order.settings.library);
  }
  nlohmann::json replay = {{"library", order.settings.library},
                           {"differences", differences},
                           {"differingCalls", timeline.differingCalls()},
                           {"verdict", namesOf(outcome.verdict()).word}};
  if (!outcome.finished()) {
    std::ostringstream report;
    printCrashReport(report, outcome.ending);
    replay["crashed"] = report.str();
    frame["crashed"] = "the replay against " + order.settings.library + " " +
                       namesOf(outcome.verdict()).word + ":\n" + report.str();
  }
  frame["capture"]["replay"] = replay;
  std::cout << "drez-host: the replay against " << order.settings.library << " found "
            << differences << " differences in " << timeline.differingCalls() << " calls\n";
  return ExitStatus::Passed;
}

// drez-host serve --capture: the capture read-only, call by call.
ExitStatus runCaptureServe(const ServeSettings& settings) {
  if (!settings.scenario.empty()) {
    return badInput("serve --capture shows a capture: a scenario (" + settings.scenario +
                    ") cannot be played into it; give one or the other");
  }
  drezcapture::Capture capture;
  try {
    capture = drezcapture::readCaptureFile(settings.capture);
  } catch (const drezcapture::CaptureError& error) {
    return badInput(error.what());
  }
  const std::string why = captureProblem(capture, settings.capture);
  if (!why.empty()) return badInput(why);
  for (const std::string& note : capture.notes) std::cout << "drez-host: note: " << note << "\n";
  std::string steps;
  Installation installation;
  if (settings.installation.empty()) {
    installation = installationOf(capture);
  } else {
    if (installationSteps(settings.installation, &steps) != ExitStatus::Passed) {
      return ExitStatus::BadInput;
    }
    try {
      installation = steps.empty() ? studioA() : readInstallation(steps, settings.installation);
    } catch (const std::exception& failure) {
      return badInput(failure.what());
    }
  }
  std::string started;
  for (const drezcapture::Entry& entry : capture.entries) {
    const auto* begin = std::get_if<drezcapture::BeginEntry>(&entry);
    if (begin != nullptr && begin->started) started = *begin->started;
  }
  const std::string described = capture.describe();
  CaptureTimeline timeline(std::move(capture), installation);
  nlohmann::json frame = {
      {"version", 1},
      // No library is loaded to draw the studio: the capture alone does.
      {"library",
       {{"path", settings.script ? "replayed against " + *settings.script
                                 : std::string("the capture alone, no panel library")},
        {"loaded", true}}},
      {"counts", {{"expectationsNotMet", 0}, {"errors", 0}, {"warnings", 0}}},
      {"trace", nlohmann::json::array()},
      {"session", ""},
      {"inBlock", false},
      {"capture",
       {{"file", settings.capture},
        {"describe", described},
        {"started", started},
        {"calls", timeline.calls().size()},
        {"replay", nullptr}}}};
  if (settings.script) {
    const ExitStatus marked = markDifferences(settings, steps, timeline, frame);
    if (marked != ExitStatus::Passed) return marked;
  }
  StudioChannel channel;  // nothing reaches a studio: the server is read-only
  channel.stop();
  StudioServer server(channel);
  const int port = server.bind(settings.listen, settings.port);
  if (port < 0) {
    return badInput("cannot listen on " + settings.listen + " port " +
                    std::to_string(settings.port) + " (in use, or not an address of this machine)");
  }
  if (!isLoopback(settings.listen)) {
    std::cerr << "drez-host: warning: listening on " << settings.listen
              << ": other machines can read the capture\n";
  }
  server.showCapture(&timeline, frame);
  stopSignal = 0;
  auto previousInt = std::signal(SIGINT, onStopSignal);
  auto previousTerm = std::signal(SIGTERM, onStopSignal);
  std::cout << "drez-host: serving the capture " << settings.capture << " ("
            << timeline.calls().size() << " calls) at http://" << urlHost(settings.listen) << ":"
            << port << "/ (Ctrl-C ends)" << std::endl;
  std::thread http([&server] { server.serve(); });
  while (!stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.stop();
  http.join();
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  std::cout << "\ndrez-host: stopped\n" << std::flush;
  return ExitStatus::Passed;
}

}  // namespace

ExitStatus runServe(const ServeSettings& settings) {
  if (!settings.capture.empty()) return runCaptureServe(settings);
  const std::string& scenario = settings.scenario;
  if (!scenario.empty()) {
    const std::string why = fileProblem(scenario, "scenario file");
    if (!why.empty()) return badInput(why);
  }
  TaskOrder order;
  if (installationSteps(settings.installation, &order.settings.installation) !=
      ExitStatus::Passed) {
    return ExitStatus::BadInput;
  }
  order.settings.polls = settings.polls;
  try {
    order.settings.library = choosePanelLibrary(settings.script);
  } catch (const LibraryError& failure) {
    return badInput(failure.what());
  }
  std::cerr << "drez-host: panel library " << order.settings.library << "\n";
  order.task = tasks::Studio{scenario.empty() ? std::string() : fileText(scenario),
                             scenario.empty() ? "studio" : scenario};
  stopSignal = 0;
  auto previousInt = std::signal(SIGINT, onStopSignal);
  auto previousTerm = std::signal(SIGTERM, onStopSignal);
  ExitStatus status = ExitStatus::Passed;
  {
    StudioHost host(settings, order);
    status = host.run();
    std::cout << "\ndrez-host: stopped\n" << std::flush;
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  return status;
}

}  // namespace drezhost
