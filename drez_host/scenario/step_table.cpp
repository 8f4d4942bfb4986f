#include "scenario/step_table.h"

#include <stdexcept>
#include <type_traits>
#include <variant>

#include "simulator/trace.h"

namespace drezhost {

namespace {

// The position of `T` among the alternatives of a variant.
template <typename T, typename... Alternatives>
constexpr std::size_t indexIn(const std::variant<Alternatives...>*) {
  constexpr bool matches[] = {std::is_same_v<T, Alternatives>...};
  for (std::size_t i = 0; i < sizeof...(Alternatives); ++i) {
    if (matches[i]) return i;
  }
  return sizeof...(Alternatives);
}

// One row of the table, for the alternative `T`.
template <typename T>
StepForm form(const char* phrase, const char* operands, StepGroup group, T (*parse)(WordReader&),
              bool (*write)(const T&, LineWriter&), const char* note = "",
              bool opensBlock = false) {
  constexpr std::size_t index = indexIn<T>(static_cast<const StepBody*>(nullptr));
  static_assert(index < std::variant_size_v<StepBody>, "a form reads an alternative of StepBody");
  StepForm row;
  row.phrase = phrase;
  row.operands = operands;
  row.note = note;
  row.group = group;
  row.opensBlock = opensBlock;
  row.index = index;
  row.parse = [parse](WordReader& words) { return StepBody(parse(words)); };
  row.write = [write](const StepBody& step, LineWriter& line) {
    return write(std::get<T>(step), line);
  };
  return row;
}

// The trailing options "panel <id>" and "to <script>", in any order; null
// for an option the step does not take.
void readOptions(WordReader& words, std::string* panel, std::string* script) {
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

void writePanel(LineWriter& line, const std::string& panel) {
  if (panel != "1") line.keyword("panel").word(panel);
}

void writeTarget(LineWriter& line, const std::string& script) {
  if (!script.empty()) line.keyword("to").word(script);
}

// The installation and the host.

steps::Installation readStudioA(WordReader&) { return steps::Installation{false}; }
steps::Installation readEmpty(WordReader&) { return steps::Installation{true}; }
bool writeStudioA(const steps::Installation& step, LineWriter&) { return !step.empty; }
bool writeEmpty(const steps::Installation& step, LineWriter&) { return step.empty; }

steps::Device readDevice(WordReader& words, DeviceKind kind) {
  steps::Device device;
  device.kind = kind;
  device.name = words.text("a device name");
  device.number = words.integer("a device number");
  const char* size = kind == DeviceKind::Infodriver ? "slots"
                     : kind == DeviceKind::Router   ? "destinations"
                                                    : "lamps";
  while (!words.done()) {
    if (words.accept("offset")) {
      device.offset = words.atLeast("an offset", 0);
    } else if (words.accept(size)) {
      (kind == DeviceKind::Outputs ? device.lamps : device.size) =
          words.atLeast(std::string("a count of ") + size, 1);
    } else {
      throw std::invalid_argument(std::string("expected 'offset' or '") + size + "', found '" +
                                  shownText(words.text("")) + "'");
    }
  }
  return device;
}

bool writeDevice(const steps::Device& device, LineWriter& line, DeviceKind kind) {
  if (device.kind != kind) return false;
  line.word(device.name).number(device.number);
  if (device.offset != 0) line.keyword("offset").number(device.offset);
  if (kind == DeviceKind::Outputs) {
    if (device.lamps != 0) line.keyword("lamps").number(device.lamps);
  } else if (device.size != 0) {
    line.keyword(kind == DeviceKind::Infodriver ? "slots" : "destinations").number(device.size);
  }
  return true;
}

steps::Device readInfodriver(WordReader& words) {
  return readDevice(words, DeviceKind::Infodriver);
}
steps::Device readRouter(WordReader& words) { return readDevice(words, DeviceKind::Router); }
steps::Device readOutputs(WordReader& words) { return readDevice(words, DeviceKind::Outputs); }
bool writeInfodriver(const steps::Device& device, LineWriter& line) {
  return writeDevice(device, line, DeviceKind::Infodriver);
}
bool writeRouter(const steps::Device& device, LineWriter& line) {
  return writeDevice(device, line, DeviceKind::Router);
}
bool writeOutputs(const steps::Device& device, LineWriter& line) {
  return writeDevice(device, line, DeviceKind::Outputs);
}

steps::Source readSource(WordReader& words) {
  steps::Source source;
  source.router = words.text("a router name");
  source.source = words.integer("a source number");
  source.name = words.text("a source name");
  return source;
}
bool writeSource(const steps::Source& source, LineWriter& line) {
  line.word(source.router).number(source.source).word(source.name);
  return true;
}

steps::PanelFile readPanelFile(WordReader& words) {
  steps::PanelFile file;
  file.file = words.text("a panel file name");
  while (!words.done()) file.controls.push_back(words.text("a control id"));
  return file;
}
bool writePanelFile(const steps::PanelFile& file, LineWriter& line) {
  line.word(file.file);
  for (const std::string& control : file.controls) line.word(control);
  return true;
}

steps::RemoveDevice readRemoveDevice(WordReader& words) {
  return steps::RemoveDevice{words.text("a device name")};
}
bool writeRemoveDevice(const steps::RemoveDevice& remove, LineWriter& line) {
  line.word(remove.name);
  return true;
}

steps::RemovePanelFile readRemovePanelFile(WordReader& words) {
  return steps::RemovePanelFile{words.text("a panel file name")};
}
bool writeRemovePanelFile(const steps::RemovePanelFile& remove, LineWriter& line) {
  line.word(remove.file);
  return true;
}

steps::RemoveControl readRemoveControl(WordReader& words) {
  steps::RemoveControl remove;
  remove.file = words.text("a panel file name");
  remove.control = words.text("a control id");
  return remove;
}
bool writeRemoveControl(const steps::RemoveControl& remove, LineWriter& line) {
  line.word(remove.file).word(remove.control);
  return true;
}

steps::Property readProperty(WordReader& words) {
  steps::Property property;
  property.control = words.text("a control id");
  property.property = words.text("a property name");
  property.value = words.text("a value");
  readOptions(words, &property.panel, nullptr);
  return property;
}
bool writeProperty(const steps::Property& property, LineWriter& line) {
  line.word(property.control).word(property.property).word(property.value);
  writePanel(line, property.panel);
  return true;
}

const char* pollsName(PollDelivery delivery) {
  return delivery == PollDelivery::Queued ? "queued"
         : delivery == PollDelivery::Off  ? "off"
                                          : "reentrant";
}

steps::HostPolls readHostPolls(WordReader& words) {
  const std::string mode = words.choice("reentrant, queued or off", {"reentrant", "queued", "off"});
  return steps::HostPolls{mode == "queued" ? PollDelivery::Queued
                          : mode == "off"  ? PollDelivery::Off
                                           : PollDelivery::Reentrant};
}
bool writeHostPolls(const steps::HostPolls& polls, LineWriter& line) {
  line.keyword(pollsName(polls.delivery));
  return true;
}

steps::HostLookups readHostLookups(WordReader& words) {
  return steps::HostLookups{words.choice("on or off", {"on", "off"}) == "on"};
}
bool writeHostLookups(const steps::HostLookups& lookups, LineWriter& line) {
  line.keyword(lookups.answer ? "on" : "off");
  return true;
}

// A colour a view can show safely: a name from a short list, or hex digits.
bool isColour(const std::string& text) {
  for (const char* name : {"grey", "amber", "red", "green", "blue", "white"}) {
    if (text == name) return true;
  }
  if ((text.size() != 4 && text.size() != 7) || text[0] != '#') return false;
  return text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

steps::Statesheet readStatesheet(WordReader& words) {
  steps::Statesheet statesheet;
  statesheet.name = words.text("a statesheet name");
  statesheet.colour = words.text("a colour");
  if (!isColour(statesheet.colour)) {
    throw std::invalid_argument(
        "expected a colour (grey, amber, red, green, blue, white, #rgb or #rrggbb), found '" +
        shownText(statesheet.colour) + "'");
  }
  return statesheet;
}
bool writeStatesheet(const steps::Statesheet& statesheet, LineWriter& line) {
  line.word(statesheet.name).keyword(statesheet.colour);
  return true;
}

// Actions.

steps::Create readCreate(WordReader& words) {
  steps::Create create;
  if (!words.done() && !words.peek("path")) create.name = words.text("a script name");
  if (words.accept("path")) create.path = words.text("a path text after 'path'");
  return create;
}
bool writeCreate(const steps::Create& create, LineWriter& line) {
  if (!create.name.empty()) line.word(create.name);
  if (!create.path.empty()) line.keyword("path").word(create.path);
  return true;
}

steps::Delete readDelete(WordReader& words) {
  steps::Delete remove;
  if (!words.done()) remove.script = words.text("a script name");
  return remove;
}
bool writeDelete(const steps::Delete& remove, LineWriter& line) {
  if (!remove.script.empty()) line.word(remove.script);
  return true;
}

steps::Use readUse(WordReader& words) { return steps::Use{words.text("a script name")}; }
bool writeUse(const steps::Use& use, LineWriter& line) {
  line.word(use.script);
  return true;
}

steps::Set readSet(WordReader& words) {
  steps::Set set;
  set.infodriver = words.text("an infodriver name");
  set.slot = words.integer("a slot number");
  set.text = words.text("the slot's text (quote it when empty or with blanks)");
  return set;
}
bool writeSet(const steps::Set& set, LineWriter& line) {
  line.word(set.infodriver).number(set.slot).word(set.text);
  return true;
}

steps::Route readRoute(WordReader& words) {
  steps::Route route;
  route.router = words.text("a router name");
  route.destination = words.integer("a destination");
  route.source = words.integer("a source");
  if (!words.done()) route.sourceName = words.text("a source name");
  return route;
}
bool writeRoute(const steps::Route& route, LineWriter& line) {
  line.word(route.router).number(route.destination).number(route.source);
  if (!route.sourceName.empty()) line.word(route.sourceName);
  return true;
}

steps::Request readRequest(WordReader& words) {
  steps::Request request;
  request.text = words.text("the request text");
  readOptions(words, nullptr, &request.script);
  return request;
}
bool writeRequest(const steps::Request& request, LineWriter& line) {
  line.word(request.text);
  writeTarget(line, request.script);
  return true;
}

steps::Event readEvent(WordReader& words) {
  steps::Event event;
  event.id = words.integer("an event id");
  readOptions(words, nullptr, &event.script);
  return event;
}
bool writeEvent(const steps::Event& event, LineWriter& line) {
  line.number(event.id);
  writeTarget(line, event.script);
  return true;
}

steps::Control readControl(WordReader& words) {
  steps::Control control;
  control.control = words.text("a control id");
  control.command = words.text("the event's command text");
  readOptions(words, &control.panel, &control.script);
  return control;
}
bool writeControl(const steps::Control& control, LineWriter& line) {
  line.word(control.control).word(control.command);
  writePanel(line, control.panel);
  writeTarget(line, control.script);
  return true;
}

steps::Notify readNotify(WordReader& words) {
  steps::Notify notify;
  notify.kind = words.choice("6 or 7", {"6", "7"}) == "6" ? 6 : 7;
  notify.value = words.integer("a value");
  readOptions(words, nullptr, &notify.script);
  return notify;
}
bool writeNotify(const steps::Notify& notify, LineWriter& line) {
  line.number(notify.kind).number(notify.value);
  writeTarget(line, notify.script);
  return true;
}

// The block's "set" and "route" steps are read by the parser.
steps::On readOn(WordReader& words) {
  return steps::On{words.rest("the command text that triggers the changes", false), {}};
}
bool writeOn(const steps::On& on, LineWriter& line) {
  line.rest(on.command, false);
  for (const Step& change : on.changes) line.blockLine(writeStep(change.body));
  line.end();
  return true;
}

steps::Show readShow(WordReader&) { return steps::Show{}; }
bool writeShow(const steps::Show&, LineWriter&) { return true; }

steps::Say readSay(WordReader& words) { return steps::Say{words.rest("a text", true)}; }
bool writeSay(const steps::Say& say, LineWriter& line) {
  line.rest(say.text, true);
  return true;
}

steps::Help readHelp(WordReader&) { return steps::Help{}; }
bool writeHelp(const steps::Help&, LineWriter&) { return true; }

// Expectations.

// The block's command texts are read by the parser.
steps::ExpectCommands readExpectCommands(WordReader&) { return steps::ExpectCommands{}; }
bool writeExpectCommands(const steps::ExpectCommands& expect, LineWriter& line) {
  if (expect.commands.empty()) return false;
  for (const std::string& command : expect.commands) line.blockLine(command);
  line.end();
  return true;
}
bool writeExpectNoCommands(const steps::ExpectCommands& expect, LineWriter&) {
  return expect.commands.empty();
}

steps::ExpectSent readExpectSent(WordReader& words) {
  steps::ExpectSent sent;
  sent.command = words.rest("a command text", false);
  return sent;
}
bool writeExpectSent(const steps::ExpectSent& sent, LineWriter& line) {
  line.rest(sent.command, false);
  return true;
}

steps::ExpectReply readExpectReply(WordReader& words) {
  steps::ExpectReply reply;
  reply.reply = words.rest("the reply text", true);
  return reply;
}
steps::ExpectReply readExpectNoReply(WordReader&) { return steps::ExpectReply{}; }
bool writeExpectReply(const steps::ExpectReply& reply, LineWriter& line) {
  if (!reply.reply) return false;
  line.rest(*reply.reply, true);
  return true;
}
bool writeExpectNoReply(const steps::ExpectReply& reply, LineWriter&) { return !reply.reply; }

steps::ExpectOutput readExpectOutput(WordReader& words) {
  steps::ExpectOutput output;
  output.device = words.text("an output device name");
  output.index = words.integer("an output index");
  output.state = words.integer("a state");
  return output;
}
bool writeExpectOutput(const steps::ExpectOutput& output, LineWriter& line) {
  line.word(output.device).number(output.index).number(output.state);
  return true;
}

steps::ExpectLamps readExpectLamps(WordReader& words) {
  steps::ExpectLamps lamps;
  lamps.device = words.text("an output device name");
  lamps.states.push_back(words.integer("a lamp state"));
  while (!words.done()) lamps.states.push_back(words.integer("a lamp state"));
  return lamps;
}
bool writeExpectLamps(const steps::ExpectLamps& lamps, LineWriter& line) {
  line.word(lamps.device);
  for (int32_t state : lamps.states) line.number(state);
  return !lamps.states.empty();
}

steps::ExpectProperty readExpectProperty(WordReader& words) {
  steps::ExpectProperty property;
  property.control = words.text("a control id");
  property.property = words.text("a property name");
  property.value = words.text("a value");
  readOptions(words, &property.panel, nullptr);
  return property;
}
bool writeExpectProperty(const steps::ExpectProperty& property, LineWriter& line) {
  line.word(property.control).word(property.property).word(property.value);
  writePanel(line, property.panel);
  return true;
}

steps::ExpectTrace readExpectTrace(WordReader& words) {
  return steps::ExpectTrace{{}, words.text("a trace file")};
}
bool writeExpectTrace(const steps::ExpectTrace& trace, LineWriter& line) {
  line.word(trace.file);
  return true;
}

steps::ExpectProblem readProblem(WordReader& words, Severity severity) {
  steps::ExpectProblem problem;
  problem.severity = severity;
  problem.text = words.rest("part of the message", true);
  return problem;
}
steps::ExpectProblem readExpectError(WordReader& words) {
  return readProblem(words, Severity::Error);
}
steps::ExpectProblem readExpectWarning(WordReader& words) {
  return readProblem(words, Severity::Warning);
}
bool writeExpectError(const steps::ExpectProblem& problem, LineWriter& line) {
  if (problem.severity != Severity::Error) return false;
  line.rest(problem.text, true);
  return true;
}
bool writeExpectWarning(const steps::ExpectProblem& problem, LineWriter& line) {
  if (problem.severity != Severity::Warning) return false;
  line.rest(problem.text, true);
  return true;
}

std::vector<StepForm> makeForms() {
  const StepGroup setUp = StepGroup::Installation;
  const StepGroup act = StepGroup::Action;
  const StepGroup check = StepGroup::Expectation;
  return {
      form("installation studio-a", "", setUp, readStudioA, writeStudioA,
           "(only while no script is alive)"),
      form("installation empty", "", setUp, readEmpty, writeEmpty),
      form("device infodriver", "<name> <number> [offset <n>] [slots <n>]", setUp, readInfodriver,
           writeInfodriver),
      form("device router", "<name> <number> [offset <n>] [destinations <n>]", setUp, readRouter,
           writeRouter),
      form("device outputs", "<name> <number> [offset <n>] [lamps <n>]", setUp, readOutputs,
           writeOutputs),
      form("source", "<router> <source> <name>", setUp, readSource, writeSource),
      form("panelfile", "<file> <control>...", setUp, readPanelFile, writePanelFile),
      form("remove device", "<name>", setUp, readRemoveDevice, writeRemoveDevice),
      form("remove panelfile", "<file>", setUp, readRemovePanelFile, writeRemovePanelFile),
      form("remove control", "<file> <control>", setUp, readRemoveControl, writeRemoveControl),
      form("property", "<control> <property> <value> [panel <id>]", setUp, readProperty,
           writeProperty),
      form("host polls", "reentrant|queued|off", setUp, readHostPolls, writeHostPolls),
      form("host lookups", "on|off", setUp, readHostLookups, writeHostLookups),
      form("statesheet", "<name> <colour>", setUp, readStatesheet, writeStatesheet,
           "(grey, amber, red, green, blue, white, #rgb, #rrggbb)"),
      form("create", "[<script>] [path <text>]", act, readCreate, writeCreate),
      form("delete", "[<script>]", act, readDelete, writeDelete),
      form("use", "<script>", act, readUse, writeUse),
      form("set", "<infodriver> <slot> <text>", act, readSet, writeSet),
      form("route", "<router> <destination> <source> [<source name>]", act, readRoute, writeRoute),
      form("request", "<text> [to <script>]", act, readRequest, writeRequest),
      form("event", "<id> [to <script>]", act, readEvent, writeEvent),
      form("control", "<control> <command> [panel <id>] [to <script>]", act, readControl,
           writeControl),
      form("notify", "6|7 <value> [to <script>]", act, readNotify, writeNotify),
      form("on", "<command text>", act, readOn, writeOn, "(then set and route steps, then: end)",
           true),
      form("show", "", act, readShow, writeShow),
      form("say", "<text>", act, readSay, writeSay),
      form("help", "", act, readHelp, writeHelp),
      form("expect commands", "", check, readExpectCommands, writeExpectCommands,
           "(then one command text a line, then: end)", true),
      form("expect no commands", "", check, readExpectCommands, writeExpectNoCommands),
      form("expect sent", "<command text>", check, readExpectSent, writeExpectSent),
      form("expect reply", "<text>", check, readExpectReply, writeExpectReply),
      form("expect no reply", "", check, readExpectNoReply, writeExpectNoReply),
      form("expect output", "<device> <index> <state>", check, readExpectOutput, writeExpectOutput),
      form("expect lamps", "<device> <state>...", check, readExpectLamps, writeExpectLamps),
      form("expect property", "<control> <property> <value> [panel <id>]", check,
           readExpectProperty, writeExpectProperty),
      form("expect trace", "<file>", check, readExpectTrace, writeExpectTrace,
           "(the last action's trace, as --record-trace writes it)"),
      form("expect error", "<text>", check, readExpectError, writeExpectError),
      form("expect warning", "<text>", check, readExpectWarning, writeExpectWarning),
  };
}

}  // namespace

const std::vector<StepForm>& stepForms() {
  static const std::vector<StepForm> forms = makeForms();
  return forms;
}

std::string scenarioHelp() {
  static const struct {
    StepGroup group;
    const char* heading;
  } groups[] = {{StepGroup::Installation, "installation and host:"},
                {StepGroup::Action, "actions:"},
                {StepGroup::Expectation, "expectations about the last action:"}};
  constexpr std::size_t kUsageWidth = 30;
  std::string help;
  for (const auto& group : groups) {
    help += std::string(group.heading) + "\n";
    for (const StepForm& form : stepForms()) {
      if (form.group != group.group) continue;
      std::string usage = std::string("  ") + form.phrase;
      if (*form.operands != '\0') usage += std::string(" ") + form.operands;
      if (*form.note != '\0') {
        if (usage.size() < kUsageWidth) usage.resize(kUsageWidth, ' ');
        usage += std::string(" ") + form.note;
      }
      help += usage + "\n";
    }
  }
  return help;
}

}  // namespace drezhost
