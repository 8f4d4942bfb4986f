#include "scenario/scenario_files.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "scenario/words.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

namespace fs = std::filesystem;

// `path` relative to the folder of `file` (as written: "<terminal>" and
// the other names of files that are not on disk have none, so the current
// one).
std::string besideFile(const std::string& file, const std::string& path) {
  return (fs::path(file).parent_path() / fs::path(path)).lexically_normal().string();
}

// One name for one file, however it is reached.
std::string identity(const std::string& path) {
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(fs::path(path), error);
  if (error) canonical = fs::absolute(fs::path(path), error).lexically_normal();
  return canonical.string();
}

}  // namespace

std::string fileProblem(const std::string& path, const std::string& what) {
  std::error_code error;
  const auto status = fs::status(path, error);
  const std::string named = "cannot read the " + what + " '" + path + "': ";
  if (error || !fs::exists(status)) return named + "it does not exist";
  if (fs::is_directory(status)) return named + "it is a directory";
  if (!fs::is_regular_file(status)) {
    return named + "it is not a regular file (a pipe or a device is not read)";
  }
  std::ifstream file(path);
  if (!file) return "cannot read the " + what + " '" + path + "'";
  return std::string();
}

IncludedFile::IncludedFile(const Step& step, const steps::Include& include)
    : path_(besideFile(step.file, include.file)),
      parser_(path_, std::make_shared<const Inclusion>(
                         Inclusion{step.file, step.line, step.includedFrom})) {
  // The files open, the outermost first.
  std::vector<std::string> chain = {step.file};
  for (const Inclusion* outer = step.includedFrom.get(); outer != nullptr;
       outer = outer->outer.get()) {
    chain.insert(chain.begin(), outer->file);
  }
  // Its name is shown in every message about its lines: nothing in it may
  // move the cursor or colour the terminal. Past this check a name is shown
  // as it is, so that a Windows path keeps its single backslashes.
  if (std::any_of(path_.begin(), path_.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    throw ScenarioError(step.where() + ": cannot include '" + shownText(path_) +
                        "': a file name holds no control character");
  }
  const std::string refused = step.where() + ": cannot include '" + path_ + "': ";
  if (chain.size() > static_cast<std::size_t>(kDepthLimit)) {
    throw ScenarioError(refused + "files include files more than " + std::to_string(kDepthLimit) +
                        " deep");
  }
  const std::string target = identity(path_);
  for (const std::string& file : chain) {
    if (identity(file) != target) continue;
    std::string cycle;
    for (const std::string& link : chain) {
      cycle += link + (cycle.empty() ? " includes " : ", which includes ");
    }
    throw ScenarioError(refused + "the files include each other: " + cycle + path_);
  }
  const std::string why = fileProblem(path_, "included file");
  if (!why.empty()) throw ScenarioError(step.where() + ": " + why);
  in_.open(path_, std::ios::binary);
  if (!in_) throw ScenarioError(step.where() + ": cannot read the included file '" + path_ + "'");
}

std::optional<Step> IncludedFile::next() {
  std::string line;
  bool cut = false;
  while (!ended_ && lines_.next(line, &cut)) {
    if (cut) parser_.tooLong();
    if (std::optional<Step> step = parser_.feed(line)) return step;
  }
  if (!ended_) {
    ended_ = true;
    parser_.finish();
  }
  return std::nullopt;
}

namespace {

// Whether a line may be a step that reads an action or includes a file:
// one that starts with "include", or with "expect" and names one of what
// an action leaves. Lines in blocks and comments start otherwise.
bool mayReadAnAction(std::string_view line) {
  static constexpr std::string_view kRead[] = {"trace", "commands", "sent"};
  line = trimmedView(line);
  if (line.substr(0, 7) == "include") return true;
  if (line.substr(0, 6) != "expect") return false;
  for (std::string_view word : kRead) {
    if (line.find(word) != std::string_view::npos) return true;
  }
  return false;
}

// False when no line of the file may be a step that reads an action or
// includes a file. Read in blocks, line by line, so that a long run's
// scenario is neither parsed twice nor held whole, and its lines cost a
// look at their first word.
bool mayReadActions(std::istream& file) {
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  std::string block;
  char buffer[1 << 16];
  bool first = true;
  while (file.read(buffer, sizeof buffer), file.gcount() > 0) {
    block.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (first && block.size() >= 3) {
      if (block.compare(0, 3, kByteOrderMark) == 0) block.erase(0, 3);
      first = false;
    }
    std::size_t begin = 0;
    for (std::size_t end; (end = block.find('\n', begin)) != std::string::npos; begin = end + 1) {
      if (mayReadAnAction(std::string_view(block).substr(begin, end - begin))) return true;
    }
    block.erase(0, begin);
    // A line longer than a step may be is left to the parse, which reports it.
    if (block.size() > ScenarioParser::kLineLimit) return true;
  }
  return mayReadAnAction(block);
}

// Adds what the file at `path` reads to `reads`; a file in `seen` is not
// read again.
void scanReads(const std::string& path, std::set<std::string>& seen, ActionReads& reads) {
  if (!seen.insert(identity(path)).second) return;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    reads = ActionReads{true, true};
    return;
  }
  if (!mayReadActions(file)) return;
  file.clear();
  file.seekg(0);
  ScenarioParser parser(path);
  ScenarioLines lines(file);
  std::string line;
  bool cut = false;
  while (lines.next(line, &cut)) {
    if (cut) continue;
    try {
      std::optional<Step> step = parser.feed(line);
      if (!step) continue;
      if (step->as<steps::ExpectTrace>() != nullptr) reads.trace = true;
      if (step->as<steps::ExpectCommands>() != nullptr ||
          step->as<steps::ExpectSent>() != nullptr) {
        reads.commands = true;
      }
      const auto* include = step->as<steps::Include>();
      if (include != nullptr &&
          seen.size() <= static_cast<std::size_t>(IncludedFile::kDepthLimit) &&
          fileProblem(besideFile(path, include->file), "file").empty()) {
        scanReads(besideFile(path, include->file), seen, reads);
      }
      if (reads.trace && reads.commands) return;
    } catch (const ScenarioError&) {
    }
  }
}

}  // namespace

ActionReads actionReads(const std::string& path) {
  std::set<std::string> seen;
  ActionReads reads;
  scanReads(path, seen, reads);
  return reads;
}

}  // namespace drezhost
