#include "scenario/parser.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <stdexcept>
#include <unordered_map>

#include "scenario/step_table.h"
#include "scenario/words.h"
#include "simulator/text_hash.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

// A step's first word is a few letters: a hash of them inline costs a
// fraction of std::hash's library call, which every line of a scenario made.
struct FirstWordHash {
  std::size_t operator()(std::string_view word) const {
    std::size_t hash = word.size();
    for (const char c : word) hash = hash * 31 + static_cast<unsigned char>(c);
    return hash;
  }
};

// The step table as the parser looks forms up: the words of each form's
// phrase, in the table's order, and the forms whose phrase starts with
// each word (the keys are views of `phrases`). Made once.
struct FormIndex {
  std::vector<std::vector<std::string>> phrases;
  std::unordered_map<std::string_view, std::vector<std::size_t>, FirstWordHash, std::equal_to<>>
      byFirstWord;
};

const FormIndex& formIndex() {
  static const FormIndex index = [] {
    FormIndex made;
    for (const StepForm& form : stepForms()) {
      std::vector<std::string>& words = made.phrases.emplace_back();
      std::string word;
      for (const char* c = form.phrase;; ++c) {
        if (*c == ' ' || *c == '\0') {
          words.push_back(word);
          word.clear();
          if (*c == '\0') break;
        } else {
          word += *c;
        }
      }
    }
    for (std::size_t i = 0; i < made.phrases.size(); ++i) {
      made.byFirstWord[made.phrases[i][0]].push_back(i);
    }
    return made;
  }();
  return index;
}

// What may follow the first `depth` words of the candidates' phrases, as a
// message: "commands, no commands, sent ... after 'expect'".
std::string expectedAfter(const std::vector<std::size_t>& candidates, std::size_t depth) {
  if (depth == 0) return "a step";
  std::vector<std::string> next;  // in the table's order
  for (std::size_t index : candidates) {
    const std::vector<std::string>& words = formIndex().phrases[index];
    std::string rest;
    for (std::size_t i = depth; i < words.size(); ++i) rest += (i == depth ? "" : " ") + words[i];
    if (next.empty() || next.back() != rest) next.push_back(rest);
  }
  std::string text;
  for (std::size_t i = 0; i < next.size(); ++i) {
    if (i != 0) text += i + 1 == next.size() ? " or " : ", ";
    text += next[i];
  }
  std::string prefix;
  for (std::size_t i = 0; i < depth; ++i)
    prefix += (i == 0 ? "" : " ") + formIndex().phrases[candidates[0]][i];
  return text + " after '" + prefix + "'";
}

// The form the line's first words name; reads those words. Allocates only
// to say what is wrong.
const StepForm& findForm(WordReader& words) {
  const FormIndex& index = formIndex();
  const std::vector<std::vector<std::string>>& all = index.phrases;
  if (words.done()) words.text(expectedAfter({}, 0));  // throws
  std::string_view word = words.view("");
  const auto first = index.byFirstWord.find(word);
  if (first == index.byFirstWord.end()) {
    throw std::invalid_argument("unknown step '" + shownText(std::string(word)) + "' (try: help)");
  }
  constexpr std::size_t kMostForms = 64;
  std::size_t candidates[kMostForms];
  std::size_t count = std::min(first->second.size(), kMostForms);
  std::copy_n(first->second.begin(), count, candidates);
  auto listed = [&] { return std::vector<std::size_t>(candidates, candidates + count); };
  for (std::size_t depth = 1;; ++depth) {
    for (std::size_t i = 0; i < count; ++i) {
      if (all[candidates[i]].size() == depth) return stepForms()[candidates[i]];
    }
    if (words.done()) words.text(expectedAfter(listed(), depth));  // throws
    word = words.view("");
    std::size_t matching = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (all[candidates[i]][depth] == word) candidates[matching++] = candidates[i];
    }
    if (matching == 0) {
      throw std::invalid_argument("expected " + expectedAfter(listed(), depth) + ", found '" +
                                  shownText(std::string(word)) + "'");
    }
    count = matching;
  }
}

}  // namespace

void ScenarioParser::parse(std::string_view text, Step& step, const StepForm** form,
                           bool* opensBlock) {
  if (step.file != file_) step.file.assign(file_);  // most lines are of the step before's file
  step.line = line_;
  step.source.assign(text);
  step.includedFrom = includedFrom_;
  if (parsed_.empty()) parsed_.resize(kParsedSlots);
  Parsed& parsed = parsed_[textSlot<kParsedBits>(text)];
  const bool seen = parsed.text == text;  // no line is empty
  if (seen && parsed.form != nullptr) {
    step.body = parsed.body;
    *form = parsed.form;
    *opensBlock = parsed.opensBlock;
    return;
  }
  try {
    WordReader words(step.source);
    *form = &findForm(words);
    (*form)->parse(words, step.body, opensBlock);
    words.end();
  } catch (const std::invalid_argument& error) {
    throw ScenarioError(step.where() + ": " + error.what() + " in: " + shownText(step.source));
  }
  // A line's step is kept the second time it is read: a scenario whose
  // lines all differ pays for its text only.
  if (seen) {
    parsed.body = step.body;
    parsed.form = *form;
    parsed.opensBlock = *opensBlock;
  } else {
    parsed.text.assign(text);
    parsed.form = nullptr;
  }
}

std::optional<Step> ScenarioParser::feed(const std::string& line) {
  Step step;
  if (!feed(line, step)) return std::nullopt;
  return step;
}

bool ScenarioParser::feed(const std::string& line, Step& step) {
  ++line_;
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  const bool marked = line_ == 1 && line.compare(0, 3, kByteOrderMark) == 0;
  const std::string_view text = trimmedView(std::string_view(line).substr(marked ? 3 : 0));
  if (block_) {
    if (text == "end") {
      step = std::move(*block_);
      block_.reset();
      return true;
    }
    if (text.empty() || text[0] == '#') return false;
    if (blockForm_->block != BlockLines::Steps) {
      blockForm_->addLine(block_->body, std::string(text));
      return false;
    }
    const StepForm* form = nullptr;
    bool opensBlock = false;
    Step inner;
    try {
      parse(text, inner, &form, &opensBlock);
    } catch (const ScenarioError&) {
      block_.reset();
      throw;
    }
    if (opensBlock || !blockForm_->holds(*form)) {
      std::string steps;
      for (std::size_t i = 0; i < blockForm_->blockSteps.size(); ++i) {
        if (i != 0) steps += i + 1 == blockForm_->blockSteps.size() ? " and " : ", ";
        steps += blockForm_->blockSteps[i];
      }
      const std::string where = inner.where();
      block_.reset();
      throw ScenarioError(where + ": an '" + blockForm_->phrase + "' block holds only " + steps +
                          " steps, not: " + shownText(std::string(text)));
    }
    blockForm_->addStep(block_->body, std::move(inner));
    return false;
  }
  if (text.empty() || text[0] == '#') return false;
  const StepForm* form = nullptr;
  bool opensBlock = false;
  parse(text, step, &form, &opensBlock);
  if (opensBlock) {
    block_ = std::move(step);
    blockForm_ = form;
    return false;
  }
  return true;
}

void ScenarioParser::tooLong() {
  ++line_;
  throw ScenarioError(Step::placeOf(file_, line_, includedFrom_.get()) +
                      ": the line is longer than " + std::to_string(kLineLimit) + " bytes");
}

bool ScenarioLines::fill() {
  if (in_.rdbuf() == nullptr || !in_.good()) return false;
  if (block_.empty()) block_.resize(kBlock);
  at_ = 0;
  end_ = 0;
  // The stream waits for bytes (peek) only when it holds none.
  if (in_.rdbuf()->in_avail() <= 0 && in_.peek() == std::char_traits<char>::eof()) return false;
  const std::streamsize got = in_.readsome(block_.data(), static_cast<std::streamsize>(kBlock));
  if (got > 0) {
    end_ = static_cast<std::size_t>(got);
    return true;
  }
  // A stream that holds no bytes of its own gives them one by one.
  const int byte = in_.get();
  if (byte == std::char_traits<char>::eof()) return false;
  block_[0] = static_cast<char>(byte);
  end_ = 1;
  return true;
}

bool ScenarioLines::next(std::string& line, bool* cut) {
  line.clear();
  *cut = false;
  bool any = false;  // a byte of the line was read, or its line feed
  while (at_ < end_ || fill()) {
    const char* start = block_.data() + at_;
    const std::size_t left = end_ - at_;
    const auto* feed = static_cast<const char*>(std::memchr(start, '\n', left));
    const std::size_t length = feed != nullptr ? static_cast<std::size_t>(feed - start) : left;
    any = true;
    const std::size_t room = ScenarioParser::kLineLimit - line.size();
    if (length > room) *cut = true;
    line.append(start, std::min(length, room));
    at_ += length;
    if (feed != nullptr) {
      ++at_;
      return true;
    }
  }
  return any;
}

void ScenarioParser::finish() {
  if (!block_) return;
  const std::string where = block_->where();
  block_.reset();
  throw ScenarioError(where + ": this block has no 'end'");
}

std::vector<Step> parseScenario(std::istream& in, const std::string& file) {
  ScenarioParser parser(file);
  std::vector<Step> steps;
  ScenarioLines lines(in);
  std::string line;
  bool cut = false;
  while (lines.next(line, &cut)) {
    if (cut) parser.tooLong();
    if (std::optional<Step> step = parser.feed(line)) steps.push_back(std::move(*step));
  }
  parser.finish();
  return steps;
}

}  // namespace drezhost
