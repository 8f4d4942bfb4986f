#include "scenario_parser.h"

#include <charconv>

namespace drezhost {

namespace {

const char kUsage[] =
    "installation:\n"
    "  installation studio-a|empty\n"
    "  device infodriver|router|outputs <name> <number> [offset <n>] [slots|destinations|lamps <n>]\n"
    "  source <router> <source> <name>\n"
    "  panelfile <file> <control>...\n"
    "  remove device <name> | remove panelfile <file> | remove control <file> <control>\n"
    "  property <control> <property> <value> [panel <id>]\n"
    "  host polls reentrant|queued|off\n"
    "  host lookups on|off\n"
    "actions:\n"
    "  create [<script>] [path <text>]\n"
    "  delete [<script>]\n"
    "  use <script>\n"
    "  set <infodriver> <slot> <text>\n"
    "  route <router> <destination> <source> [<source name>]\n"
    "  request <text> [to <script>]\n"
    "  event <id> [to <script>]\n"
    "  control <control> <command> [panel <id>] [to <script>]\n"
    "  notify 6|7 <value> [to <script>]\n"
    "  on <command text>          (then set and route steps, then: end)\n"
    "  show | say <text> | help\n"
    "expectations about the last action:\n"
    "  expect commands            (then one command text a line, then: end)\n"
    "  expect no commands\n"
    "  expect sent <command text>\n"
    "  expect reply <text> | expect no reply\n"
    "  expect output <device> <index> <state>\n"
    "  expect lamps <device> <state>...\n"
    "  expect property <control> <property> <value> [panel <id>]\n"
    "  expect error <text> | expect warning <text>\n";

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isQuote(char c) { return c == '\'' || c == '"'; }

// Reads the words of one line as they are asked for, so that the free text
// of "say" or "expect sent" is never split. Every "expected" problem throws
// std::invalid_argument with a message that the parser places.
class Words {
 public:
  explicit Words(const std::string& line) : line_(line) {}

  bool done() {
    while (pos_ < line_.size() && isBlank(line_[pos_])) ++pos_;
    return pos_ >= line_.size();
  }
  bool peek(const char* keyword) {
    const std::size_t start = pos_;
    bool quoted = false;
    const bool match = !done() && read(&quoted) == keyword && !quoted;
    pos_ = start;
    return match;
  }
  bool accept(const char* keyword) {
    if (!peek(keyword)) return false;
    bool quoted = false;
    done();  // onto the word
    read(&quoted);
    return true;
  }
  std::string text(const std::string& what) {
    if (done()) throw std::invalid_argument("expected " + what + ", found the end of the line");
    bool quoted = false;
    return read(&quoted);
  }
  std::string choice(const std::string& what, std::initializer_list<const char*> choices) {
    const std::string word = text(what);
    for (const char* choice : choices) {
      if (word == choice) return word;
    }
    throw std::invalid_argument("expected " + what + ", found '" + word + "'");
  }
  int32_t integer(const std::string& what) {
    const std::string word = text(what + " (an integer)");
    int32_t value = 0;
    auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || result.ec != std::errc() || result.ptr != word.data() + word.size()) {
      throw std::invalid_argument("expected " + what + " (an integer), found '" + word + "'");
    }
    return value;
  }
  // The rest of the line as written. With `unquote`, a rest that is one
  // quoted word loses its quotes.
  std::string rest(const std::string& what, bool unquote) {
    if (done()) throw std::invalid_argument("expected " + what + ", found the end of the line");
    std::string rest = trim(line_.substr(pos_));
    pos_ = line_.size();
    const bool oneQuoted = rest.size() >= 2 && isQuote(rest[0]) && rest.back() == rest[0] &&
                           rest.find(rest[0], 1) == rest.size() - 1;
    return unquote && oneQuoted ? rest.substr(1, rest.size() - 2) : rest;
  }
  void end() {
    if (!done()) throw std::invalid_argument("unexpected '" + text("") + "' at the end of the line");
  }

 private:
  // The next word; `pos_` is on its first character.
  std::string read(bool* quoted) {
    const std::size_t start = pos_;
    *quoted = isQuote(line_[start]);
    if (!*quoted) {
      while (pos_ < line_.size() && !isBlank(line_[pos_])) ++pos_;
      return line_.substr(start, pos_ - start);
    }
    const std::size_t close = line_.find(line_[start], start + 1);
    if (close == std::string::npos) throw std::invalid_argument("a quote is not closed");
    pos_ = close + 1;
    if (pos_ < line_.size() && !isBlank(line_[pos_])) {
      throw std::invalid_argument("a closing quote must be followed by a blank");
    }
    return line_.substr(start + 1, close - start - 1);
  }

  const std::string& line_;
  std::size_t pos_ = 0;
};

// The trailing options "panel <id>" and "to <script>", in any order.
void options(Words& words, Step& step, bool panel, bool script) {
  while (!words.done()) {
    if (panel && words.accept("panel")) {
      step.panel = words.text("a panel id after 'panel'");
    } else if (script && words.accept("to")) {
      step.script = words.text("a script name after 'to'");
    } else {
      words.end();
    }
  }
}

void parseDevice(Words& words, Step& step) {
  const std::string kind = words.choice("infodriver, router or outputs", {"infodriver", "router", "outputs"});
  step.texts = {kind, words.text("a device name")};
  step.numbers = {words.integer("a device number"), 0, 0, 0};
  const char* size = kind == "infodriver" ? "slots" : kind == "router" ? "destinations" : "lamps";
  while (!words.done()) {
    if (words.accept("offset")) {
      step.numbers[1] = words.integer("an offset");
    } else if (words.accept(size)) {
      step.numbers[kind == "outputs" ? 3 : 2] = words.integer(std::string("a count of ") + size);
    } else {
      throw std::invalid_argument(std::string("expected 'offset' or '") + size + "', found '" +
                                  words.text("") + "'");
    }
  }
}

void parseExpect(Words& words, Step& step) {
  if (words.accept("commands")) {
    step.kind = StepKind::ExpectCommands;
  } else if (words.accept("no")) {
    const std::string what = words.choice("'commands' or 'reply' after 'expect no'", {"commands", "reply"});
    step.kind = what == "commands" ? StepKind::ExpectCommands : StepKind::ExpectNoReply;
    step.texts = {"no"};  // a block that is closed already
  } else if (words.accept("sent")) {
    step.kind = StepKind::ExpectSent;
    step.texts = {words.rest("a command text", false)};
  } else if (words.accept("reply")) {
    step.kind = StepKind::ExpectReply;
    step.texts = {words.rest("the reply text", true)};
  } else if (words.accept("output")) {
    step.kind = StepKind::ExpectOutput;
    step.texts = {words.text("an output device name")};
    step.numbers = {words.integer("an output index"), words.integer("a state")};
  } else if (words.accept("lamps")) {
    step.kind = StepKind::ExpectLamps;
    step.texts = {words.text("an output device name")};
    step.numbers.push_back(words.integer("a lamp state"));
    while (!words.done()) step.numbers.push_back(words.integer("a lamp state"));
  } else if (words.accept("property")) {
    step.kind = StepKind::ExpectProperty;
    step.texts = {words.text("a control id"), words.text("a property name"), words.text("a value")};
    options(words, step, true, false);
  } else if (words.accept("error")) {
    step.kind = StepKind::ExpectError;
    step.texts = {words.rest("part of the message", true)};
  } else if (words.accept("warning")) {
    step.kind = StepKind::ExpectWarning;
    step.texts = {words.rest("part of the message", true)};
  } else {
    throw std::invalid_argument(
        "expected commands, no commands, sent, reply, no reply, output, lamps, property, error or "
        "warning after 'expect', found '" + words.text("") + "'");
  }
  words.end();
}

void parseRemove(Words& words, Step& step) {
  const std::string what = words.choice("device, panelfile or control after 'remove'", {"device", "panelfile", "control"});
  if (what == "device") {
    step.kind = StepKind::RemoveDevice;
    step.texts = {words.text("a device name")};
  } else if (what == "panelfile") {
    step.kind = StepKind::RemovePanelFile;
    step.texts = {words.text("a panel file name")};
  } else {
    step.kind = StepKind::RemoveControl;
    step.texts = {words.text("a panel file name"), words.text("a control id")};
  }
  words.end();
}

void parseHost(Words& words, Step& step) {
  const std::string what = words.choice("polls or lookups after 'host'", {"polls", "lookups"});
  if (what == "polls") {
    step.kind = StepKind::HostPolls;
    step.texts = {words.choice("reentrant, queued or off", {"reentrant", "queued", "off"})};
  } else {
    step.kind = StepKind::HostLookups;
    step.numbers = {words.choice("on or off", {"on", "off"}) == "on" ? 1 : 0};
  }
  words.end();
}

void parseCreate(Words& words, Step& step) {
  step.kind = StepKind::Create;
  step.texts = {"", ""};
  if (!words.done() && !words.peek("path")) step.texts[0] = words.text("a script name");
  if (words.accept("path")) step.texts[1] = words.text("a path text after 'path'");
  words.end();
}

void parseWords(Words& words, Step& step) {
  const std::string keyword = words.text("a step");
  if (keyword == "expect") return parseExpect(words, step);
  if (keyword == "remove") return parseRemove(words, step);
  if (keyword == "host") return parseHost(words, step);
  if (keyword == "create") return parseCreate(words, step);
  if (keyword == "installation") {
    step.kind = StepKind::Installation;
    step.texts = {words.choice("studio-a or empty", {"studio-a", "empty"})};
  } else if (keyword == "device") {
    step.kind = StepKind::Device;
    parseDevice(words, step);
  } else if (keyword == "source") {
    step.kind = StepKind::Source;
    step.texts = {words.text("a router name")};
    step.numbers = {words.integer("a source number")};
    step.texts.push_back(words.text("a source name"));
  } else if (keyword == "panelfile") {
    step.kind = StepKind::PanelFile;
    step.texts = {words.text("a panel file name")};
    while (!words.done()) step.texts.push_back(words.text("a control id"));
  } else if (keyword == "property") {
    step.kind = StepKind::Property;
    step.texts = {words.text("a control id"), words.text("a property name"), words.text("a value")};
    options(words, step, true, false);
  } else if (keyword == "delete" || keyword == "use") {
    step.kind = keyword == "delete" ? StepKind::Delete : StepKind::Use;
    if (keyword == "use" || !words.done()) step.script = words.text("a script name");
  } else if (keyword == "set") {
    step.kind = StepKind::Set;
    step.texts = {words.text("an infodriver name")};
    step.numbers = {words.integer("a slot number")};
    step.texts.push_back(words.text("the slot's text (quote it when empty or with blanks)"));
  } else if (keyword == "route") {
    step.kind = StepKind::Route;
    step.texts = {words.text("a router name"), ""};
    step.numbers = {words.integer("a destination"), words.integer("a source")};
    if (!words.done()) step.texts[1] = words.text("a source name");
  } else if (keyword == "request") {
    step.kind = StepKind::Request;
    step.texts = {words.text("the request text")};
    options(words, step, false, true);
  } else if (keyword == "event") {
    step.kind = StepKind::Event;
    step.numbers = {words.integer("an event id")};
    options(words, step, false, true);
  } else if (keyword == "control") {
    step.kind = StepKind::Control;
    step.texts = {words.text("a control id"), words.text("the event's command text")};
    options(words, step, true, true);
  } else if (keyword == "notify") {
    step.kind = StepKind::Notify;
    step.numbers = {words.choice("6 or 7", {"6", "7"}) == "6" ? 6 : 7, words.integer("a value")};
    options(words, step, false, true);
  } else if (keyword == "on") {
    step.kind = StepKind::On;
    step.texts = {words.rest("the command text that triggers the changes", false)};
  } else if (keyword == "show" || keyword == "help") {
    step.kind = keyword == "show" ? StepKind::Show : StepKind::Help;
  } else if (keyword == "say") {
    step.kind = StepKind::Say;
    step.texts = {words.rest("a text", true)};
  } else {
    throw std::invalid_argument("unknown step '" + keyword + "' (try: help)");
  }
  words.end();
}

}  // namespace

Step ScenarioParser::parse(const std::string& line) {
  Step step;
  step.file = file_;
  step.line = line_;
  step.source = trim(line);
  try {
    Words words(step.source);
    parseWords(words, step);
  } catch (const std::invalid_argument& error) {
    throw ScenarioError(step.where() + ": " + error.what() + " in: " + step.source);
  }
  return step;
}

std::optional<Step> ScenarioParser::feed(const std::string& line) {
  ++line_;
  const std::string text = trim(line);
  if (block_) {
    if (text == "end") {
      Step done = std::move(*block_);
      block_.reset();
      return done;
    }
    if (text.empty() || text[0] == '#') return std::nullopt;
    if (block_->kind == StepKind::ExpectCommands) {
      block_->block.push_back(text);
      return std::nullopt;
    }
    Step change = parse(text);
    if (change.kind != StepKind::Set && change.kind != StepKind::Route) {
      throw ScenarioError(change.where() + ": an 'on' block holds only set and route steps, not: " + text);
    }
    block_->then.push_back(std::move(change));
    return std::nullopt;
  }
  if (text.empty() || text[0] == '#') return std::nullopt;
  Step step = parse(text);
  if ((step.kind == StepKind::ExpectCommands && step.texts.empty()) || step.kind == StepKind::On) {
    block_ = std::move(step);
    return std::nullopt;
  }
  return step;
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
  std::string line;
  while (std::getline(in, line)) {
    if (std::optional<Step> step = parser.feed(line)) steps.push_back(std::move(*step));
  }
  parser.finish();
  return steps;
}

std::string scenarioHelp() { return kUsage; }

}  // namespace drezhost
