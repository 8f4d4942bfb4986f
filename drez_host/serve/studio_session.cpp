#include "serve/studio_session.h"

#include <algorithm>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "scenario/scenario_files.h"
#include "scenario/writer.h"
#include "serve/state_json.h"

namespace drezhost {

namespace {

// The name the page's lines carry in messages and in the trace.
const char kSessionFile[] = "session.scn";

const char kSessionHeader[] =
    "# A drez-host serve session: every scenario line run, in order.\n"
    "# Replay it with: drez-host [--script LIB] session.scn\n";

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

StudioSession::StudioSession(const TaskSettings& settings, ChildLink& link)
    : libraryPath_(settings.library),
      link_(link),
      library_(std::make_unique<LoadedLibrary>(libraryPath_, link)),
      runner_([this](drez_client_host* host, const char* path) { return createScript(host, path); },
              [this](const OutputLine& line) { output_.push_back(line); },
              runOptionsFor(settings, false)),
      parser_(kSessionFile) {
  wire(runner_, settings, link);
}

void StudioSession::onHostThread() const {
  if (std::this_thread::get_id() != hostThread_)
    throw std::logic_error("the studio was called from a thread other than the host's");
}

drez_client_callback* StudioSession::createScript(drez_client_host* host, const char* path) {
  // run() refuses "create" while no library is loaded.
  return library_->factory()(host, path);
}

void StudioSession::start(const std::string& text, const std::string& file) {
  // Read whole first, with the files it includes: a line that does not
  // parse stops the start before anything runs. The file's lines are
  // recorded as written; an included file's steps as drez-host writes them,
  // so that the saved session replays wherever it is kept. Each step runs as
  // its file names it, so that a message points into that file.
  struct Planned {
    Step step;
    std::vector<std::string> lines;  // what the session records for it
  };
  std::vector<Planned> plan;
  std::vector<std::string> lines;  // since the last step
  std::function<void(const Step&, const steps::Include&)> expand =
      [&](const Step& step, const steps::Include& include) {
        IncludedFile included(step, include);
        lines.push_back("# " + step.source + ": its steps follow");
        while (std::optional<Step> inner = included.next()) {
          if (const auto* nested = inner->as<steps::Include>()) {
            expand(*inner, *nested);
            continue;
          }
          lines.push_back(writeStep(inner->body).value_or(inner->source));
          plan.push_back(Planned{std::move(*inner), std::move(lines)});
          lines.clear();
        }
      };
  ScenarioParser parser(file);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a file from Windows
    std::optional<Step> step = parser.feed(line);
    if (!step || step->as<steps::Include>() == nullptr) lines.push_back(line);
    if (!step) continue;
    if (const auto* include = step->as<steps::Include>()) {
      expand(*step, *include);
      continue;
    }
    plan.push_back(Planned{std::move(*step), std::move(lines)});
    lines.clear();
  }
  parser.finish();

  bool created = std::any_of(plan.begin(), plan.end(), [](const Planned& planned) {
    return planned.step.as<steps::Create>() != nullptr;
  });
  // The create drez-host adds stands on no line of the file.
  Step create;
  create.file = "drez-host serve";
  create.line = 0;
  create.source = "create";
  create.body = steps::Create{};
  for (const Planned& planned : plan) {
    if (!created && planned.step.isAction()) {
      run(create, {"create"});
      created = true;
    }
    run(planned.step, planned.lines);
  }
  recorded_.insert(recorded_.end(), lines.begin(), lines.end());
  if (!created) run(create, {"create"});
  reparse();
}

std::vector<TraceLine> StudioSession::step(const std::string& line) {
  onHostThread();
  if (line.find_first_of("\r\n") != std::string::npos)
    throw ScenarioError("a step is one line: this text holds a line break");
  std::optional<Step> parsed;
  try {
    parsed = parser_.feed(line);
    // The page reaches no file on disk: a file's steps would show it.
    if (parsed && parsed->as<steps::Include>() != nullptr) {
      throw ScenarioError(parsed->where() +
                          ": the page cannot include a file; name the scenario that includes it "
                          "on drez-host serve's command line");
    }
  } catch (const ScenarioError&) {
    pending_.clear();
    reparse();
    throw;
  }
  pending_.push_back(line);
  if (!parsed) {
    if (parser_.inBlock()) return {};
    // A blank line or a comment.
    recorded_.insert(recorded_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    return {};
  }
  std::vector<std::string> lines;
  lines.swap(pending_);
  try {
    return run(*parsed, lines);
  } catch (const ScenarioError&) {
    reparse();
    throw;
  }
}

std::vector<TraceLine> StudioSession::run(const Step& step, const std::vector<std::string>& lines) {
  if (step.as<steps::Create>() != nullptr && !library_) {
    throw ScenarioError(step.where() + ": no panel library is loaded (" + libraryPath_ +
                        " failed to load): fix it and restart");
  }
  link_.setStep(step);
  try {
    runner_.run(step);
  } catch (const ScenarioError&) {
    // The step did not run: what it began to print is not kept.
    output_.clear();
    throw;
  }
  recorded_.insert(recorded_.end(), lines.begin(), lines.end());
  ++version_;
  return take();
}

std::vector<TraceLine> StudioSession::take() {
  std::vector<TraceLine> taken;
  for (const OutputLine& output : output_) {
    link_.show(output);
    TraceLine line;
    line.number = ++printed_;
    line.text = output.text;
    line.kind = output.kind;
    trace_.push_back(line);
    if (trace_.size() > kTraceKept) trace_.pop_front();
    taken.push_back(std::move(line));
  }
  output_.clear();
  return taken;
}

void StudioSession::reparse() {
  parser_ = ScenarioParser(kSessionFile);
  for (const std::string& line : splitLines(sessionText())) parser_.feed(line);
}

std::vector<TraceLine> StudioSession::restart() {
  onHostThread();
  // An open block would swallow the lines below.
  pending_.clear();
  reparse();
  std::vector<std::string> names;
  for (const Script* script : runner_.host().scripts()) names.push_back(script->name);
  std::vector<TraceLine> lines;
  auto append = [&lines](std::vector<TraceLine> more) {
    lines.insert(lines.end(), more.begin(), more.end());
  };
  for (const std::string& name : names) append(step(writeStep(steps::Delete{{}, name}).value()));
  // Fully unloaded first: the loader would otherwise hand back the old copy.
  library_.reset();
  ++version_;
  library_ = std::make_unique<LoadedLibrary>(libraryPath_, link_);
  if (names.empty()) append(step("create"));
  for (const std::string& name : names) {
    steps::Create create;
    create.name = name;
    append(step(writeStep(create).value()));
  }
  return lines;
}

std::string StudioSession::sessionText() const {
  onHostThread();
  std::string text = kSessionHeader;
  for (const std::string& line : recorded_) text += line + "\n";
  return text;
}

nlohmann::json StudioSession::state() {
  onHostThread();
  nlohmann::json state = studioJson(runner_.host().installation(), runner_.host().scripts(),
                                    runner_.statesheetColours());
  state["version"] = version_;
  state["library"] = {{"path", libraryPath_}, {"loaded", library_ != nullptr}};
  const Validator& validator = runner_.validator();
  state["counts"] = {{"expectationsNotMet", runner_.failures().size()},
                     {"errors", validator.unexpectedErrors()},
                     {"warnings", validator.count(Severity::Warning)}};
  nlohmann::json trace = nlohmann::json::array();
  for (const TraceLine& line : trace_)
    trace.push_back(
        {{"number", line.number}, {"text", line.text}, {"kind", lineKindName(line.kind)}});
  state["trace"] = std::move(trace);
  state["session"] = sessionText();
  state["inBlock"] = parser_.inBlock();
  return state;
}

Verdict StudioSession::finish() {
  const Verdict verdict = runner_.finish();
  take();
  return verdict;
}

}  // namespace drezhost
