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

struct Token {
  std::string text;
  bool quoted = false;
  std::size_t start = 0;  // position in the line
};

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Token> tokenize(const std::string& line) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos >= line.size()) return tokens;
    Token token;
    token.start = pos;
    if (line[pos] == '\'' || line[pos] == '"') {
      const std::size_t close = line.find(line[pos], pos + 1);
      if (close == std::string::npos) throw std::invalid_argument("a quote opened here is not closed");
      token.quoted = true;
      token.text = line.substr(pos + 1, close - pos - 1);
      pos = close + 1;
      if (pos < line.size() && !isBlank(line[pos])) {
        throw std::invalid_argument("a closing quote must be followed by a blank");
      }
    } else {
      while (pos < line.size() && !isBlank(line[pos])) ++pos;
      token.text = line.substr(token.start, pos - token.start);
    }
    tokens.push_back(token);
  }
}

// Walks the words of one line; every "expected" problem throws
// std::invalid_argument with a message that the parser places.
class Words {
 public:
  Words(const std::string& line, std::vector<Token> tokens) : line_(line), tokens_(std::move(tokens)) {}

  bool done() const { return next_ >= tokens_.size(); }
  bool peek(const char* keyword) const {
    return !done() && !tokens_[next_].quoted && tokens_[next_].text == keyword;
  }
  bool accept(const char* keyword) {
    if (!peek(keyword)) return false;
    ++next_;
    return true;
  }
  std::string text(const std::string& what) {
    if (done()) throw std::invalid_argument("expected " + what + ", found the end of the line");
    return tokens_[next_++].text;
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
  // The rest of the line as written; a rest that is one quoted word loses
  // its quotes when `unquote` is set.
  std::string rest(const std::string& what, bool unquote) {
    if (done()) throw std::invalid_argument("expected " + what + ", found the end of the line");
    std::string rest = trim(line_.substr(tokens_[next_].start));
    if (unquote && next_ + 1 == tokens_.size() && tokens_[next_].quoted) rest = tokens_[next_].text;
    next_ = tokens_.size();
    return rest;
  }
  void end() {
    if (!done()) throw std::invalid_argument("unexpected '" + tokens_[next_].text + "' at the end of the line");
  }

 private:
  const std::string& line_;
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
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
    Words words(step.source, tokenize(step.source));
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
    if (!text.empty() && text[0] != '#') block_->block.push_back(text);
    return std::nullopt;
  }
  if (text.empty() || text[0] == '#') return std::nullopt;
  Step step = parse(text);
  if (step.kind == StepKind::ExpectCommands && step.texts.empty()) {
    block_ = std::move(step);
    return std::nullopt;
  }
  return step;
}

void ScenarioParser::finish() {
  if (!block_) return;
  const std::string where = block_->where();
  block_.reset();
  throw ScenarioError(where + ": 'expect commands' has no 'end'");
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
