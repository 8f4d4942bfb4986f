#include "scenario_parser.h"

#include <charconv>

#include "trace.h"

namespace drezhost {

namespace {

const char kUsage[] =
    "installation:\n"
    "  installation studio-a|empty\n"
    "  device infodriver|router|outputs <name> <number> [offset <n>] [slots|destinations|lamps "
    "<n>]\n"
    "  source <router> <source> <name>\n"
    "  panelfile <file> <control>...\n"
    "  remove device <name> | remove panelfile <file> | remove control <file> <control>\n"
    "  property <control> <property> <value> [panel <id>]\n"
    "  host polls reentrant|queued|off\n"
    "  host lookups on|off\n"
    "  statesheet <name> <colour>  (grey, amber, red, green, blue, white, #rgb, #rrggbb)\n"
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
    "  expect trace <file>        (the last action's trace, as --record-trace writes it)\n"
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
    last_ = read(&quoted);
    return true;
  }
  // The word the last successful accept() took.
  const std::string& last() const { return last_; }
  std::string text(const std::string& what) {
    if (done()) throw std::invalid_argument("expected " + what + ", found the end of the line");
    bool quoted = false;
    return read(&quoted);
  }
  std::string choice(const std::string& what, std::initializer_list<const char*> choices) {
    std::string word = text(what);
    for (const char* choice : choices) {
      if (word == choice) return word;
    }
    throw std::invalid_argument("expected " + what + ", found '" + shownText(word) + "'");
  }
  int32_t integer(const std::string& what) {
    const std::string word = text(what + " (an integer)");
    int32_t value = 0;
    auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    const bool whole = result.ptr == word.data() + word.size();
    if (!word.empty() && whole && result.ec == std::errc::result_out_of_range) {
      throw std::invalid_argument("expected " + what + " (an integer), found '" + shownText(word) +
                                  "', which is outside -2147483648 to 2147483647");
    }
    if (word.empty() || result.ec != std::errc() || !whole) {
      throw std::invalid_argument("expected " + what + " (an integer), found '" + shownText(word) +
                                  "'");
    }
    return value;
  }
  // An integer of at least `least`.
  int32_t atLeast(const std::string& what, int32_t least) {
    const int32_t value = integer(what);
    if (value < least) {
      throw std::invalid_argument("expected " + what + " of " + std::to_string(least) +
                                  " or more, found " + std::to_string(value));
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
    if (!done())
      throw std::invalid_argument("unexpected '" + shownText(text("")) +
                                  "' at the end of the line");
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
  std::string last_;
};

// The trailing options "panel <id>" and "to <script>", in any order; null
// for an option the step does not take.
void options(Words& words, std::string* panel, std::string* script) {
  while (!words.done()) {
    if (panel != nullptr && words.accept("panel")) {
      *panel = words.text("a panel id after 'panel'");
    } else if (script != nullptr && words.accept("to")) {
      *script = words.text("a script name after 'to'");
    } else {
      words.end();
    }
  }
}

steps::Device parseDevice(Words& words) {
  const std::string kind =
      words.choice("infodriver, router or outputs", {"infodriver", "router", "outputs"});
  steps::Device device;
  device.kind = kind == "router"    ? DeviceKind::Router
                : kind == "outputs" ? DeviceKind::Outputs
                                    : DeviceKind::Infodriver;
  device.name = words.text("a device name");
  device.number = words.integer("a device number");
  const char* size = kind == "infodriver" ? "slots" : kind == "router" ? "destinations" : "lamps";
  while (!words.done()) {
    if (words.accept("offset")) {
      device.offset = words.atLeast("an offset", 0);
    } else if (words.accept(size)) {
      (kind == "outputs" ? device.lamps : device.size) =
          words.atLeast(std::string("a count of ") + size, 1);
    } else {
      throw std::invalid_argument(std::string("expected 'offset' or '") + size + "', found '" +
                                  shownText(words.text("")) + "'");
    }
  }
  return device;
}

StepBody parseExpect(Words& words, bool* opensBlock) {
  StepBody body;
  if (words.accept("commands")) {
    body = steps::ExpectCommands{};
    *opensBlock = true;
  } else if (words.accept("no")) {
    const std::string what =
        words.choice("'commands' or 'reply' after 'expect no'", {"commands", "reply"});
    if (what == "commands") {
      body = steps::ExpectCommands{};  // a block that is closed already
    } else {
      body = steps::ExpectReply{};
    }
  } else if (words.accept("sent")) {
    steps::ExpectSent sent;
    sent.command = words.rest("a command text", false);
    body = sent;
  } else if (words.accept("reply")) {
    steps::ExpectReply reply;
    reply.reply = words.rest("the reply text", true);
    body = reply;
  } else if (words.accept("output")) {
    steps::ExpectOutput output;
    output.device = words.text("an output device name");
    output.index = words.integer("an output index");
    output.state = words.integer("a state");
    body = output;
  } else if (words.accept("lamps")) {
    steps::ExpectLamps lamps;
    lamps.device = words.text("an output device name");
    lamps.states.push_back(words.integer("a lamp state"));
    while (!words.done()) lamps.states.push_back(words.integer("a lamp state"));
    body = lamps;
  } else if (words.accept("property")) {
    steps::ExpectProperty property;
    property.control = words.text("a control id");
    property.property = words.text("a property name");
    property.value = words.text("a value");
    options(words, &property.panel, nullptr);
    body = property;
  } else if (words.accept("trace")) {
    steps::ExpectTrace trace;
    trace.file = words.text("a trace file");
    body = trace;
  } else if (words.accept("error") || words.accept("warning")) {
    // accept() has moved past the word: which one it was decides the severity.
    steps::ExpectProblem problem;
    problem.severity = words.last() == "error" ? Severity::Error : Severity::Warning;
    problem.text = words.rest("part of the message", true);
    body = problem;
  } else {
    throw std::invalid_argument(
        "expected commands, no commands, sent, reply, no reply, output, lamps, property, trace, "
        "error or warning after 'expect', found '" +
        shownText(words.text("")) + "'");
  }
  words.end();
  return body;
}

StepBody parseRemove(Words& words) {
  const std::string what = words.choice("device, panelfile or control after 'remove'",
                                        {"device", "panelfile", "control"});
  StepBody body;
  if (what == "device") {
    body = steps::RemoveDevice{words.text("a device name")};
  } else if (what == "panelfile") {
    body = steps::RemovePanelFile{words.text("a panel file name")};
  } else {
    steps::RemoveControl remove;
    remove.file = words.text("a panel file name");
    remove.control = words.text("a control id");
    body = remove;
  }
  words.end();
  return body;
}

StepBody parseHost(Words& words) {
  const std::string what = words.choice("polls or lookups after 'host'", {"polls", "lookups"});
  StepBody body;
  if (what == "polls") {
    const std::string mode =
        words.choice("reentrant, queued or off", {"reentrant", "queued", "off"});
    body = steps::HostPolls{mode == "queued" ? PollDelivery::Queued
                            : mode == "off"  ? PollDelivery::Off
                                             : PollDelivery::Reentrant};
  } else {
    body = steps::HostLookups{words.choice("on or off", {"on", "off"}) == "on"};
  }
  words.end();
  return body;
}

// A colour a view can show safely: a name from a short list, or hex digits.
bool isColour(const std::string& text) {
  for (const char* name : {"grey", "amber", "red", "green", "blue", "white"}) {
    if (text == name) return true;
  }
  if ((text.size() != 4 && text.size() != 7) || text[0] != '#') return false;
  return text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

steps::Statesheet parseStatesheet(Words& words) {
  steps::Statesheet statesheet;
  statesheet.name = words.text("a statesheet name");
  statesheet.colour = words.text("a colour");
  if (!isColour(statesheet.colour)) {
    throw std::invalid_argument(
        "expected a colour (grey, amber, red, green, blue, white, #rgb or #rrggbb), found '" +
        statesheet.colour + "'");
  }
  words.end();
  return statesheet;
}

steps::Create parseCreate(Words& words) {
  steps::Create create;
  if (!words.done() && !words.peek("path")) create.name = words.text("a script name");
  if (words.accept("path")) create.path = words.text("a path text after 'path'");
  words.end();
  return create;
}

// The step of one line; `*opensBlock` is set for a step that a block follows.
StepBody parseWords(Words& words, bool* opensBlock) {
  const std::string keyword = words.text("a step");
  if (keyword == "expect") return parseExpect(words, opensBlock);
  if (keyword == "remove") return parseRemove(words);
  if (keyword == "host") return parseHost(words);
  if (keyword == "create") return parseCreate(words);
  if (keyword == "statesheet") return parseStatesheet(words);
  StepBody body;
  if (keyword == "installation") {
    body = steps::Installation{words.choice("studio-a or empty", {"studio-a", "empty"}) == "empty"};
  } else if (keyword == "device") {
    body = parseDevice(words);
  } else if (keyword == "source") {
    steps::Source source;
    source.router = words.text("a router name");
    source.source = words.integer("a source number");
    source.name = words.text("a source name");
    body = source;
  } else if (keyword == "panelfile") {
    steps::PanelFile file;
    file.file = words.text("a panel file name");
    while (!words.done()) file.controls.push_back(words.text("a control id"));
    body = file;
  } else if (keyword == "property") {
    steps::Property property;
    property.control = words.text("a control id");
    property.property = words.text("a property name");
    property.value = words.text("a value");
    options(words, &property.panel, nullptr);
    body = property;
  } else if (keyword == "delete") {
    steps::Delete remove;
    if (!words.done()) remove.script = words.text("a script name");
    body = remove;
  } else if (keyword == "use") {
    body = steps::Use{words.text("a script name")};
  } else if (keyword == "set") {
    steps::Set set;
    set.infodriver = words.text("an infodriver name");
    set.slot = words.integer("a slot number");
    set.text = words.text("the slot's text (quote it when empty or with blanks)");
    body = set;
  } else if (keyword == "route") {
    steps::Route route;
    route.router = words.text("a router name");
    route.destination = words.integer("a destination");
    route.source = words.integer("a source");
    if (!words.done()) route.sourceName = words.text("a source name");
    body = route;
  } else if (keyword == "request") {
    steps::Request request;
    request.text = words.text("the request text");
    options(words, nullptr, &request.script);
    body = request;
  } else if (keyword == "event") {
    steps::Event event;
    event.id = words.integer("an event id");
    options(words, nullptr, &event.script);
    body = event;
  } else if (keyword == "control") {
    steps::Control control;
    control.control = words.text("a control id");
    control.command = words.text("the event's command text");
    options(words, &control.panel, &control.script);
    body = control;
  } else if (keyword == "notify") {
    steps::Notify notify;
    notify.kind = words.choice("6 or 7", {"6", "7"}) == "6" ? 6 : 7;
    notify.value = words.integer("a value");
    options(words, nullptr, &notify.script);
    body = notify;
  } else if (keyword == "on") {
    body = steps::On{words.rest("the command text that triggers the changes", false), {}};
    *opensBlock = true;
  } else if (keyword == "show") {
    body = steps::Show{};
  } else if (keyword == "help") {
    body = steps::Help{};
  } else if (keyword == "say") {
    body = steps::Say{words.rest("a text", true)};
  } else {
    throw std::invalid_argument("unknown step '" + shownText(keyword) + "' (try: help)");
  }
  words.end();
  return body;
}

}  // namespace

Step ScenarioParser::parse(const std::string& line, bool* opensBlock) {
  Step step;
  step.file = file_;
  step.line = line_;
  step.source = trim(line);
  try {
    Words words(step.source);
    step.body = parseWords(words, opensBlock);
  } catch (const std::invalid_argument& error) {
    throw ScenarioError(step.where() + ": " + error.what() + " in: " + shownText(step.source));
  }
  return step;
}

std::optional<Step> ScenarioParser::feed(const std::string& line) {
  ++line_;
  // A byte-order mark in front of the first line is no part of the step.
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  const bool marked = line_ == 1 && line.compare(0, 3, kByteOrderMark) == 0;
  const std::string text = trim(marked ? line.substr(3) : line);
  if (block_) {
    if (text == "end") {
      Step done = std::move(*block_);
      block_.reset();
      return done;
    }
    if (text.empty() || text[0] == '#') return std::nullopt;
    if (auto* expected = std::get_if<steps::ExpectCommands>(&block_->body)) {
      expected->commands.push_back(text);
      return std::nullopt;
    }
    bool opensBlock = false;
    Step change = parse(text, &opensBlock);
    if (!change.as<steps::Set>() && !change.as<steps::Route>()) {
      throw ScenarioError(change.where() + ": an 'on' block holds only set and route steps, not: " +
                          shownText(text));
    }
    std::get<steps::On>(block_->body).changes.push_back(std::move(change));
    return std::nullopt;
  }
  if (text.empty() || text[0] == '#') return std::nullopt;
  bool opensBlock = false;
  Step step = parse(text, &opensBlock);
  if (opensBlock) {
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
