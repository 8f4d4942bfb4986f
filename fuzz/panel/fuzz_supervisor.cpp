#include "fuzz_supervisor.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_run.h"

extern char** environ;

namespace drezfuzz {

const char kChildVariable[] = "DREZ_PANEL_FUZZER_CHILD";
const char kSeedsVariable[] = "DREZ_PANEL_FUZZER_SEEDS";
const char kScenarioVariable[] = "DREZ_PANEL_FUZZER_SCENARIO";
const char kFindingVariable[] = "DREZ_PANEL_FUZZER_FINDING";

namespace {

namespace fs = std::filesystem;

// The names libFuzzer gives the inputs it keeps as findings.
const char* const kFindingNames[] = {"crash-", "leak-", "timeout-", "oom-"};
// drez-host's timeout for a call into a script, in seconds.
const char kDefaultTimeout[] = "-timeout=5";

void say(const std::string& text) { std::fprintf(stderr, "drez panel fuzzer: %s\n", text.c_str()); }

std::string fileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool writeFile(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file);
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The line of `text` that holds `at`, without its line end; empty for npos.
std::string lineAt(const std::string& text, std::size_t at) {
  if (at == std::string::npos) return std::string();
  const std::size_t begin = text.rfind('\n', at);
  const std::size_t start = begin == std::string::npos ? 0 : begin + 1;
  const std::size_t end = text.find('\n', at);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The first frame of the stack trace after `at` that is none of the
// sanitizer's own nor the C library's allocator, as "<before><function>
// <file:line>"; empty when there is none.
std::string ownFrame(const std::string& output, std::size_t at, const char* before) {
  static const char* const kRuntime[] = {"__asan",       "__interceptor",  "__sanitizer", "__lsan",
                                         "malloc",       "calloc",         "realloc",     "free",
                                         "operator new", "operator delete"};
  std::istringstream lines(output.substr(at));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t frame = line.find_first_not_of(' ');
    if (frame == std::string::npos || line[frame] != '#') continue;
    const std::size_t in = line.find(" in ");
    if (in == std::string::npos) continue;
    const std::string where = line.substr(in + 4);
    bool runtime = false;
    for (const char* name : kRuntime) runtime = runtime || startsWith(where, name);
    if (!runtime) return before + where;
  }
  return std::string();
}

// `text` as one comment line's worth: no control characters.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

class Supervisor {
 public:
  explicit Supervisor(const FuzzerSettings& settings)
      : settings_(settings), program_(fs::read_symlink("/proc/self/exe")) {
    work_ = fs::temp_directory_path() / ("drez-panel-fuzzer-" + std::to_string(getpid()));
    fs::create_directories(work_);
  }
  ~Supervisor() {
    std::error_code ignored;
    fs::remove_all(work_, ignored);
  }
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  int run(int argc, char** argv) {
    std::vector<std::string> flags;
    std::vector<std::string> inputs;
    bool scenariosOnly = false;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--scenario") {
        scenariosOnly = true;
      } else if (startsWith(arg, "--")) {
        say("unknown option " + arg + " (the fuzzer's own is --scenario FILE...)");
        return 2;
      } else if (startsWith(arg, "-")) {
        flags.push_back(arg);
        if (startsWith(arg, "-timeout=")) timeout_ = arg;
      } else {
        inputs.push_back(arg);
      }
    }
    if (scenariosOnly) {
      for (const std::string& input : inputs) writeScenario(input);
      return 0;
    }
    flags.insert(flags.begin(), timeout_);
    const bool fuzzing = std::all_of(inputs.begin(), inputs.end(), [](const std::string& input) {
      return fs::is_directory(input);
    });
    if (!fuzzing) return runChild(join(flags, inputs), {}, std::string());
    if (inputs.empty()) inputs.push_back(beside("_corpus"));
    const std::string seeds = beside("_seeds");
    inputs.push_back(seeds);
    for (const std::string& dir : inputs) fs::create_directories(dir);

    const Artifacts before = artifacts(flags);
    // Ctrl-C reaches libFuzzer, which stops and reports; this process goes
    // on to write the scenarios of what it kept.
    signal(SIGINT, SIG_IGN);
    const int status =
        runChild(join(flags, inputs), {std::string(kSeedsVariable) + "=" + seeds}, std::string());
    signal(SIGINT, SIG_DFL);
    for (const auto& [path, time] : artifacts(flags)) {
      const auto earlier = before.find(path);
      if (earlier == before.end() || earlier->second != time) writeScenario(path);
    }
    return status;
  }

 private:
  using Artifacts = std::map<std::string, fs::file_time_type>;

  std::string beside(const char* suffix) const { return program_.string() + suffix; }

  static std::vector<std::string> join(std::vector<std::string> flags,
                                       const std::vector<std::string>& inputs) {
    flags.insert(flags.end(), inputs.begin(), inputs.end());
    return flags;
  }

  // The findings libFuzzer keeps where `flags` say, with when they changed.
  static Artifacts artifacts(const std::vector<std::string>& flags) {
    std::string prefix = "./";
    std::string exact;
    for (const std::string& flag : flags) {
      if (startsWith(flag, "-artifact_prefix=")) prefix = flag.substr(17);
      if (startsWith(flag, "-exact_artifact_path=")) exact = flag.substr(21);
    }
    Artifacts found;
    std::error_code error;
    if (!exact.empty()) {
      if (fs::is_regular_file(exact, error)) found[exact] = fs::last_write_time(exact, error);
      return found;
    }
    const fs::path start(prefix);
    const fs::path dir = prefix.back() == '/' ? start : start.parent_path();
    const std::string name = prefix.back() == '/' ? std::string() : start.filename().string();
    for (const fs::directory_entry& entry :
         fs::directory_iterator(dir.empty() ? fs::path(".") : dir, error)) {
      const std::string file = entry.path().filename().string();
      if (!entry.is_regular_file() || entry.path().extension() == ".scn") continue;
      for (const char* kind : kFindingNames) {
        if (startsWith(file, name + kind)) found[entry.path().string()] = entry.last_write_time();
      }
    }
    return found;
  }

  // Runs this program as libFuzzer's child with `args`, `environment` added
  // to its own, its output to `output` (empty: this process's). Returns its
  // exit status, or 128 + the signal that ended it.
  int runChild(const std::vector<std::string>& args, std::vector<std::string> environment,
               const std::string& output) {
    environment.push_back(std::string(kChildVariable) + "=1");
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string entry = *variable;
      const std::string name = entry.substr(0, entry.find('='));
      if (name != kChildVariable && name != kSeedsVariable && name != kScenarioVariable &&
          name != kFindingVariable) {
        environment.push_back(entry);
      }
    }
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = program_.string();
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv;
    argv.reserve(argStrings.size() + 2);
    argv.push_back(self.data());
    for (std::string& arg : argStrings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    const int failed =
        posix_spawn(&child, self.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
      say("cannot start " + self + ": " + std::strerror(failed));
      return 2;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
  }

  // Runs `input` once; writes its scenario to `scenario` unless empty.
  Outcome runOne(const std::string& input, const std::string& scenario) {
    const fs::path file = work_ / "input";
    const fs::path output = work_ / "output";
    const fs::path finding = work_ / "finding";
    writeFile(file, input);
    std::error_code ignored;
    fs::remove(finding, ignored);
    std::vector<std::string> environment = {std::string(kFindingVariable) + "=" + finding.string()};
    if (!scenario.empty()) environment.push_back(std::string(kScenarioVariable) + "=" + scenario);
    // Inputs libFuzzer keeps of these runs stay in the work directory.
    const int status =
        runChild({timeout_, "-artifact_prefix=" + (work_ / "").string(), file.string()},
                 environment, output.string());
    ++runs_;
    return outcomeOf(fileText(finding), fileText(output), status);
  }

  // The input without the moves left out: `spans` as moveSpans gives them,
  // `kept` the moves (counted from 1, the header being 0) kept.
  static std::string rebuilt(const std::string& input,
                             const std::vector<std::pair<std::size_t, std::size_t>>& spans,
                             const std::vector<std::size_t>& kept, bool plainHeader) {
    std::string made =
        plainHeader ? std::string(1, '\0') : input.substr(spans[0].first, spans[0].second);
    for (std::size_t move : kept) {
      made += input.substr(spans[move].first, spans[move].second - spans[move].first);
    }
    return made;
  }

  // Drops moves while the input fails as `kind`; returns what is left and
  // how many moves it keeps.
  std::pair<std::string, std::size_t> minimise(const std::string& input, const std::string& kind) {
    const auto spans = moveSpans(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    std::vector<std::size_t> kept;
    for (std::size_t move = 1; move < spans.size(); ++move) kept.push_back(move);
    const auto begun = std::chrono::steady_clock::now();
    runs_ = 0;
    auto budgetLeft = [&] {
      return runs_ < kReplays &&
             std::chrono::steady_clock::now() - begun < std::chrono::seconds(kMinimiseSeconds);
    };
    auto fails = [&](const std::vector<std::size_t>& moves, bool plainHeader) {
      return runOne(rebuilt(input, spans, moves, plainHeader), std::string()).kind == kind;
    };
    for (std::size_t chunk = std::max<std::size_t>(1, kept.size() / 2);
         !kept.empty() && budgetLeft(); chunk = std::max<std::size_t>(1, chunk / 2)) {
      for (std::size_t start = 0; start < kept.size() && budgetLeft();) {
        std::vector<std::size_t> candidate(kept.begin(), kept.begin() + static_cast<long>(start));
        candidate.insert(candidate.end(),
                         kept.begin() + static_cast<long>(std::min(kept.size(), start + chunk)),
                         kept.end());
        if (fails(candidate, false)) {
          kept = std::move(candidate);
        } else {
          start += chunk;
        }
      }
      if (chunk == 1) break;
    }
    const bool plainHeader = budgetLeft() && input[0] != '\0' && fails(kept, true);
    return {rebuilt(input, spans, kept, plainHeader), kept.size()};
  }

  void writeScenario(const std::string& artifact) {
    const std::string input = fileText(artifact);
    const Outcome found = runOne(input, std::string());
    if (found.kind.empty()) {
      say(artifact + " does not fail when it runs on its own: no scenario written");
      return;
    }
    const std::size_t moves =
        moveSpans(reinterpret_cast<const uint8_t*>(input.data()), input.size()).size() - 1;
    auto [shortest, kept] = minimise(input, found.kind);
    const fs::path part = work_ / "scenario";
    Outcome written = runOne(shortest, part.string());
    if (written.kind != found.kind) {
      kept = moves;
      written = runOne(input, part.string());
    }
    const std::string path = artifact + ".scn";
    const bool leak = written.kind == "a leak";
    std::string text = "# " + std::string(settings_.name) + " found " + written.kind + ":\n";
    text += "#   " + printable(written.summary) + "\n";
    text +=
        "# From the input " + fs::path(artifact).filename().string() + ", " +
        (moves == 0 ? std::string("which has no moves: the start-up and teardown alone")
                    : std::to_string(kept) + " of its " + std::to_string(moves) + " moves kept") +
        ". drez-host plays it:\n";
    text += "#   drez-host" + std::string(leak ? " --no-isolate" : "") + " --script " +
            settings_.panelLibrary + " " + fs::path(path).filename().string() + "\n";
    if (memoryFault(written.kind)) {
      text +=
          "# where the fault shows with the panel built with AddressSanitizer\n"
          "# (docs/panel_authors.md, \"Finding leaks in your panel with AddressSanitizer\")";
      text += leak ? ";\n# the leak report comes as drez-host exits.\n" : ".\n";
    }
    text += fileText(part);
    if (!writeFile(path, text)) {
      say("cannot write " + path);
      return;
    }
    say(written.kind + ": wrote " + path + " (" + std::to_string(kept) + " of " +
        std::to_string(moves) + " moves)");
  }

  static bool memoryFault(const std::string& kind) {
    return startsWith(kind, "AddressSanitizer") || kind == "a leak" ||
           kind == "undefined behaviour";
  }

  const FuzzerSettings& settings_;
  const fs::path program_;
  fs::path work_;
  std::string timeout_ = kDefaultTimeout;
  int runs_ = 0;
};

}  // namespace

Outcome outcomeOf(const std::string& record, const std::string& output, int status) {
  if (const std::optional<Finding> finding = readFindingRecord(record)) {
    return {finding->kind, finding->message};
  }
  std::size_t at = std::string::npos;
  // The sanitizer's summary line, after its name: "double-free (...) in f",
  // "14 byte(s) leaked in 1 allocation(s).".
  auto summary = [&](std::size_t from) {
    const char kSummary[] = "SUMMARY: AddressSanitizer: ";
    const std::size_t line = output.find(kSummary, from);
    if (line == std::string::npos) return std::string();
    return lineAt(output, line).substr(lineAt(output, line).find(kSummary) + sizeof kSummary - 1);
  };
  if ((at = output.find("ERROR: LeakSanitizer: detected memory leaks")) != std::string::npos) {
    std::string leaked = summary(at);
    if (!leaked.empty() && leaked.back() == '.') leaked.pop_back();
    return {"a leak", leaked + ownFrame(output, at, ", allocated in ")};
  }
  if ((at = output.find("ERROR: AddressSanitizer: ")) != std::string::npos) {
    // The summary names the fault in one word: "double-free", "SEGV", ...
    const std::string type = summary(at).substr(0, summary(at).find(' '));
    return {"AddressSanitizer: " + type, type + ownFrame(output, at, " in ")};
  }
  if ((at = output.find("runtime error: ")) != std::string::npos) {
    return {"undefined behaviour", lineAt(output, at)};
  }
  if ((at = output.find("ERROR: libFuzzer: timeout")) != std::string::npos) {
    return {"a call that hangs", lineAt(output, at).substr(lineAt(output, at).find("ERROR: "))};
  }
  if ((at = output.find("ERROR: libFuzzer: out-of-memory")) != std::string::npos) {
    return {"out of memory", lineAt(output, at).substr(lineAt(output, at).find("ERROR: "))};
  }
  if ((at = output.find("ERROR: libFuzzer: deadly signal")) != std::string::npos) {
    return {"a deadly signal", lineAt(output, at).substr(lineAt(output, at).find("ERROR: "))};
  }
  if (status != 0) return {"exit status " + std::to_string(status), std::string()};
  return {};
}

int supervise(const FuzzerSettings& settings, int argc, char** argv) {
  return Supervisor(settings).run(argc, argv);
}

}  // namespace drezfuzz
