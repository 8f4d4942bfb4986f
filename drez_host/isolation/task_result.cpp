#include "isolation/task_result.h"

#include "isolation/overloaded.h"

namespace drezhost {

namespace {

void addScene(std::vector<std::string>& lines, const CrashScene& scene) {
  if (!scene.step.empty()) lines.push_back("   during step " + scene.step);
  if (!scene.call.empty()) lines.push_back("   in call " + scene.call);
  if (scene.lastCommands.empty()) {
    lines.emplace_back("   no command was sent before");
  } else {
    lines.emplace_back("   the last commands sent, oldest first:");
    for (const std::string& command : scene.lastCommands) lines.push_back("     " + command);
  }
  if (!scene.standardError.empty()) {
    lines.emplace_back("   the last lines it wrote on standard error:");
    for (const std::string& line : scene.standardError) lines.push_back("     " + line);
  }
}

}  // namespace

Verdict verdictOf(const Ending& ending) {
  return std::visit(Overloaded{
                        [](const endings::Passed&) { return Verdict::Passed; },
                        [](const endings::Failed&) { return Verdict::Failed; },
                        [](const endings::Skipped&) { return Verdict::Skipped; },
                        [](const endings::BadInput&) { return Verdict::BadInput; },
                        [](const endings::Crashed&) { return Verdict::Crashed; },
                        [](const endings::Hung&) { return Verdict::Hung; },
                    },
                    ending);
}

std::string causeOf(const Ending& ending) {
  if (const auto* crashed = std::get_if<endings::Crashed>(&ending)) return crashed->cause;
  if (const auto* hung = std::get_if<endings::Hung>(&ending)) return hung->cause;
  return std::string();
}

const CrashScene* sceneOf(const Ending& ending) {
  if (const auto* crashed = std::get_if<endings::Crashed>(&ending)) return &crashed->scene;
  if (const auto* hung = std::get_if<endings::Hung>(&ending)) return &hung->scene;
  return nullptr;
}

Ending endingOf(const RunSummary& summary, const std::string& where) {
  switch (summary.verdict) {
    case Verdict::Passed:
      return endings::Passed{};
    case Verdict::Failed:
      return endings::Failed{summary.messages};
    case Verdict::Skipped:
      return endings::Skipped{summary.messages.empty() ? std::string() : summary.messages.front()};
    case Verdict::BadInput:
      return endings::BadInput{where, summary.messages};
    case Verdict::Crashed:
      return endings::Crashed{"the task said so itself", CrashScene()};
    case Verdict::Hung:
      return endings::Hung{"the task said so itself", false, CrashScene()};
  }
  return endings::Passed{};
}

std::vector<std::string> crashReport(const Ending& ending) {
  std::vector<std::string> lines;
  if (const auto* crashed = std::get_if<endings::Crashed>(&ending)) {
    lines.push_back("!! the script crashed: " + crashed->cause);
    addScene(lines, crashed->scene);
  } else if (const auto* hung = std::get_if<endings::Hung>(&ending)) {
    lines.push_back((hung->stopped ? "!! the script was stopped: " : "!! the script hung: ") +
                    hung->cause);
    addScene(lines, hung->scene);
  }
  return lines;
}

void printCrashReport(std::ostream& out, const Ending& ending) {
  const std::vector<std::string> lines = crashReport(ending);
  if (lines.empty()) return;
  out << "\n";
  for (const std::string& line : lines) out << line << "\n";
  out.flush();
}

std::vector<std::string> details(const Ending& ending) {
  return std::visit(Overloaded{
                        [](const endings::Passed&) { return std::vector<std::string>(); },
                        [](const endings::Failed& failed) { return failed.findings; },
                        [](const endings::Skipped& skipped) {
                          return std::vector<std::string>{"skipped: " + skipped.why};
                        },
                        [](const endings::BadInput& bad) { return bad.what; },
                        [&ending](const endings::Crashed&) { return crashReport(ending); },
                        [&ending](const endings::Hung&) { return crashReport(ending); },
                    },
                    ending);
}

}  // namespace drezhost
