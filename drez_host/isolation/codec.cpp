#include "isolation/codec.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <utility>
#include <vector>

namespace drezhost {

namespace {

using nlohmann::json;

// Each type crosses as a JSON value (written as CBOR): pack makes it, unpack
// reads it back and throws CodecError (or nlohmann's json::exception) when
// it does not fit. Declared first, as the templates below call them.
void unpack(const json& in, std::string& text);
json pack(const OutputLine& line);
void unpack(const json& in, OutputLine& line);
json pack(const LineQuestion& question);
void unpack(const json& in, LineQuestion& question);
json pack(const LineQuestion::DeviceEntry& device);
void unpack(const json& in, LineQuestion::DeviceEntry& device);
json pack(const LineQuestion::PanelFileEntry& file);
void unpack(const json& in, LineQuestion::PanelFileEntry& file);
json pack(const LineQuestion::PanelEntry& panel);
void unpack(const json& in, LineQuestion::PanelEntry& panel);
json pack(const RunSummary& summary);
void unpack(const json& in, RunSummary& summary);
json pack(const messages::MonkeyEvent& event);
void unpack(const json& in, messages::MonkeyEvent& event);
json pack(const messages::Reached& reached);
void unpack(const json& in, messages::Reached& reached);
json pack(const messages::LearnedInstallation& learned);
void unpack(const json& in, messages::LearnedInstallation& learned);
json pack(const messages::StudioAnswer& answer);
void unpack(const json& in, messages::StudioAnswer& answer);
json pack(const messages::Finished& finished);
void unpack(const json& in, messages::Finished& finished);
json pack(const Answer& answer);
void unpack(const json& in, Answer& answer);
json pack(const TaskSettings& settings);
void unpack(const json& in, TaskSettings& settings);
json pack(const tasks::LibraryProbe& task);
void unpack(const json& in, tasks::LibraryProbe& task);
json pack(const tasks::Scenario& task);
void unpack(const json& in, tasks::Scenario& task);
json pack(const tasks::Check& task);
void unpack(const json& in, tasks::Check& task);
json pack(const tasks::Monkey& task);
void unpack(const json& in, tasks::Monkey& task);
json pack(const tasks::Replay& task);
void unpack(const json& in, tasks::Replay& task);
json pack(const tasks::Studio& task);
void unpack(const json& in, tasks::Studio& task);
json pack(const TaskOrder& order);
void unpack(const json& in, TaskOrder& order);

// The names the alternatives of each variant cross under, in their order.
template <typename Variant>
struct Names;
template <>
struct Names<ChildMessage> {
  static constexpr const char* kNames[] = {
      "line", "question", "monkey event", "reached", "installation", "studio answer", "finished"};
};
template <>
struct Names<Task> {
  static constexpr const char* kNames[] = {"library probe", "scenario", "check",
                                           "monkey",        "replay",   "studio"};
};

template <typename Variant>
constexpr bool kNamedEach = std::size(Names<Variant>::kNames) == std::variant_size_v<Variant>;
static_assert(kNamedEach<ChildMessage> && kNamedEach<Task>, "every alternative has its name");

template <typename T>
T field(const json& in, const char* name) {
  return in.at(name).get<T>();
}

template <typename T>
json packAll(const std::vector<T>& values) {
  json array = json::array();
  for (const T& value : values) array.push_back(pack(value));
  return array;
}

template <typename T>
void unpackAll(const json& in, std::vector<T>& values) {
  if (!in.is_array()) throw CodecError("expected a list");
  values.clear();
  values.reserve(in.size());
  for (const json& each : in) {
    T value;
    unpack(each, value);
    values.push_back(std::move(value));
  }
}

template <typename Variant>
json packVariant(const Variant& value) {
  return {{"type", Names<Variant>::kNames[value.index()]},
          {"value", std::visit([](const auto& alternative) { return pack(alternative); }, value)}};
}

template <typename Variant, std::size_t I = 0>
void unpackAlternative(const json& in, std::size_t index, Variant& out) {
  if constexpr (I < std::variant_size_v<Variant>) {
    if (index == I) {
      std::variant_alternative_t<I, Variant> value;
      unpack(in, value);
      out = std::move(value);
      return;
    }
    unpackAlternative<Variant, I + 1>(in, index, out);
  }
}

template <typename Variant>
void unpackVariant(const json& in, Variant& out) {
  const std::string type = field<std::string>(in, "type");
  for (std::size_t i = 0; i < std::variant_size_v<Variant>; ++i) {
    if (type == Names<Variant>::kNames[i]) {
      unpackAlternative(in.at("value"), i, out);
      return;
    }
  }
  throw CodecError("no alternative named '" + type + "'");
}

// An enumeration as its number, read back only when it names one of
// `count` values.
template <typename Enum>
Enum enumAt(const json& in, const char* name, int count) {
  const int value = field<int>(in, name);
  if (value < 0 || value >= count) throw CodecError(std::string("no such ") + name);
  return static_cast<Enum>(value);
}

template <typename Enum>
int number(Enum value) {
  return static_cast<int>(value);
}

void unpack(const json& in, std::string& text) { text = in.get<std::string>(); }

json pack(const OutputLine& line) {
  return {{"kind", number(line.kind)}, {"text", line.text}, {"spaced", line.spaced}};
}

void unpack(const json& in, OutputLine& line) {
  line.kind = enumAt<LineKind>(in, "kind", number(LineKind::Result) + 1);
  line.text = field<std::string>(in, "text");
  line.spaced = field<bool>(in, "spaced");
}

json pack(const LineQuestion::DeviceEntry& device) {
  return {{"name", device.name},
          {"kind", number(device.kind)},
          {"number", device.number},
          {"offset", device.offset},
          {"size", device.size}};
}

void unpack(const json& in, LineQuestion::DeviceEntry& device) {
  device.name = field<std::string>(in, "name");
  device.kind = enumAt<DeviceKind>(in, "kind", number(DeviceKind::Outputs) + 1);
  device.number = field<int32_t>(in, "number");
  device.offset = field<int32_t>(in, "offset");
  device.size = field<int32_t>(in, "size");
}

json pack(const LineQuestion::PanelFileEntry& file) {
  return {{"file", file.file}, {"controls", file.controls}};
}

void unpack(const json& in, LineQuestion::PanelFileEntry& file) {
  file.file = field<std::string>(in, "file");
  unpackAll(in.at("controls"), file.controls);
}

json pack(const LineQuestion::PanelEntry& panel) {
  return {{"id", panel.id}, {"file", panel.file}, {"controls", panel.controls}};
}

void unpack(const json& in, LineQuestion::PanelEntry& panel) {
  panel.id = field<std::string>(in, "id");
  panel.file = field<std::string>(in, "file");
  unpackAll(in.at("controls"), panel.controls);
}

json pack(const LineQuestion& question) {
  return {{"prompt", question.prompt},
          {"block", question.block},
          {"devices", packAll(question.devices)},
          {"panelFiles", packAll(question.panelFiles)},
          {"panels", packAll(question.panels)},
          {"scripts", question.scripts}};
}

void unpack(const json& in, LineQuestion& question) {
  question.prompt = field<std::string>(in, "prompt");
  question.block = field<std::string>(in, "block");
  unpackAll(in.at("devices"), question.devices);
  unpackAll(in.at("panelFiles"), question.panelFiles);
  unpackAll(in.at("panels"), question.panels);
  unpackAll(in.at("scripts"), question.scripts);
}

json pack(const RunSummary& summary) {
  return {{"verdict", number(summary.verdict)},
          {"actions", summary.actions},
          {"expectations", summary.expectations},
          {"notMet", static_cast<std::uint64_t>(summary.notMet)},
          {"errors", static_cast<std::uint64_t>(summary.errors)},
          {"warnings", static_cast<std::uint64_t>(summary.warnings)},
          {"debugLines", static_cast<std::uint64_t>(summary.debugLines)},
          {"messages", summary.messages}};
}

void unpack(const json& in, RunSummary& summary) {
  summary.verdict = enumAt<Verdict>(in, "verdict", number(Verdict::Hung) + 1);
  summary.actions = field<int>(in, "actions");
  summary.expectations = field<int>(in, "expectations");
  summary.notMet = static_cast<std::size_t>(field<std::uint64_t>(in, "notMet"));
  summary.errors = static_cast<std::size_t>(field<std::uint64_t>(in, "errors"));
  summary.warnings = static_cast<std::size_t>(field<std::uint64_t>(in, "warnings"));
  summary.debugLines = static_cast<std::size_t>(field<std::uint64_t>(in, "debugLines"));
  unpackAll(in.at("messages"), summary.messages);
}

json pack(const messages::MonkeyEvent& event) { return {{"lines", event.lines}}; }

void unpack(const json& in, messages::MonkeyEvent& event) {
  event.lines = field<std::string>(in, "lines");
}

json pack(const messages::Reached& reached) { return {{"what", reached.what}}; }

void unpack(const json& in, messages::Reached& reached) {
  reached.what = field<std::string>(in, "what");
}

json pack(const messages::LearnedInstallation& learned) { return {{"steps", learned.steps}}; }

void unpack(const json& in, messages::LearnedInstallation& learned) {
  learned.steps = field<std::string>(in, "steps");
}

json pack(const messages::StudioAnswer& answer) { return {{"json", answer.json}}; }

void unpack(const json& in, messages::StudioAnswer& answer) {
  answer.json = field<std::string>(in, "json");
}

json pack(const messages::Finished& finished) { return {{"summary", pack(finished.summary)}}; }

void unpack(const json& in, messages::Finished& finished) {
  unpack(in.at("summary"), finished.summary);
}

json pack(const Answer& answer) {
  return {{"text", answer.text ? json(*answer.text) : json(nullptr)}};
}

void unpack(const json& in, Answer& answer) {
  const json& text = in.at("text");
  answer.text = text.is_null() ? std::nullopt : std::optional<std::string>(text.get<std::string>());
}

json pack(const TaskSettings& settings) {
  return {{"library", settings.library},
          {"installation", settings.installation},
          {"polls", number(settings.polls)},
          {"maxDepth", settings.maxDepth},
          {"maxCommands", static_cast<std::uint64_t>(settings.maxCommands)}};
}

void unpack(const json& in, TaskSettings& settings) {
  settings.library = field<std::string>(in, "library");
  settings.installation = field<std::string>(in, "installation");
  settings.polls = enumAt<PollDelivery>(in, "polls", number(PollDelivery::Off) + 1);
  settings.maxDepth = field<int>(in, "maxDepth");
  settings.maxCommands = static_cast<std::size_t>(field<std::uint64_t>(in, "maxCommands"));
}

json pack(const tasks::LibraryProbe& task) { return {{"learn", task.learn}, {"path", task.path}}; }

void unpack(const json& in, tasks::LibraryProbe& task) {
  task.learn = field<bool>(in, "learn");
  task.path = field<std::string>(in, "path");
}

json pack(const tasks::Scenario& task) {
  return {{"source", number(task.source)},
          {"file", task.file},
          {"quiet", task.quiet},
          {"showStudio", task.showStudio},
          {"coverage", task.coverage},
          {"updateTraces", task.updateTraces},
          {"recordTrace", task.recordTrace},
          {"checkTrace", task.checkTrace}};
}

void unpack(const json& in, tasks::Scenario& task) {
  using Source = tasks::Scenario::Source;
  task.source = enumAt<Source>(in, "source", number(Source::Terminal) + 1);
  task.file = field<std::string>(in, "file");
  task.quiet = field<bool>(in, "quiet");
  task.showStudio = field<bool>(in, "showStudio");
  task.coverage = field<bool>(in, "coverage");
  task.updateTraces = field<bool>(in, "updateTraces");
  task.recordTrace = field<std::string>(in, "recordTrace");
  task.checkTrace = field<std::string>(in, "checkTrace");
}

json pack(const tasks::Check& task) { return {{"name", task.name}, {"path", task.path}}; }

void unpack(const json& in, tasks::Check& task) {
  task.name = field<std::string>(in, "name");
  task.path = field<std::string>(in, "path");
}

json pack(const tasks::Monkey& task) {
  return {{"seed", task.seed},
          {"events", task.events},
          {"path", task.path},
          {"again", task.again ? json(*task.again) : json(nullptr)}};
}

void unpack(const json& in, tasks::Monkey& task) {
  task.seed = field<std::uint64_t>(in, "seed");
  task.events = field<int>(in, "events");
  task.path = field<std::string>(in, "path");
  const json& again = in.at("again");
  task.again.reset();
  if (!again.is_null()) unpackAll(again, task.again.emplace());
}

json pack(const tasks::Replay& task) { return {{"capture", task.capture}, {"quiet", task.quiet}}; }

void unpack(const json& in, tasks::Replay& task) {
  task.capture = field<std::string>(in, "capture");
  task.quiet = field<bool>(in, "quiet");
}

json pack(const tasks::Studio& task) {
  return {{"scenarioText", task.scenarioText}, {"scenarioName", task.scenarioName}};
}

void unpack(const json& in, tasks::Studio& task) {
  task.scenarioText = field<std::string>(in, "scenarioText");
  task.scenarioName = field<std::string>(in, "scenarioName");
}

json pack(const TaskOrder& order) {
  return {{"settings", pack(order.settings)}, {"task", packVariant(order.task)}};
}

void unpack(const json& in, TaskOrder& order) {
  unpack(in.at("settings"), order.settings);
  unpackVariant(in.at("task"), order.task);
}

json packValue(const ChildMessage& message) { return packVariant(message); }
json packValue(const Answer& answer) { return pack(answer); }
json packValue(const TaskOrder& order) { return pack(order); }

void unpackValue(const json& in, ChildMessage& message) { unpackVariant(in, message); }
void unpackValue(const json& in, Answer& answer) { unpack(in, answer); }
void unpackValue(const json& in, TaskOrder& order) { unpack(in, order); }

}  // namespace

template <typename T>
std::string encodeFrame(const T& value) {
  std::vector<std::uint8_t> bytes = json::to_cbor(packValue(value));
  std::string frame;
  frame.reserve(kFrameHead + bytes.size());
  for (std::size_t i = 0; i < kFrameHead; ++i) {
    frame += static_cast<char>((bytes.size() >> (8 * i)) & 0xFF);
  }
  frame.append(bytes.begin(), bytes.end());
  return frame;
}

template <typename T>
std::optional<T> takeFrame(const std::string& buffer, std::size_t& at) {
  if (buffer.size() < at + kFrameHead) return std::nullopt;
  std::size_t length = 0;
  for (std::size_t i = 0; i < kFrameHead; ++i) {
    length |= static_cast<std::size_t>(static_cast<unsigned char>(buffer[at + i])) << (8 * i);
  }
  if (length > kFrameLimit) {
    throw CodecError("a frame of " + std::to_string(length) + " bytes, over the limit");
  }
  if (buffer.size() < at + kFrameHead + length) return std::nullopt;
  const auto* first = reinterpret_cast<const std::uint8_t*>(buffer.data()) + at + kFrameHead;
  at += kFrameHead + length;
  T out;
  try {
    unpackValue(json::from_cbor(first, first + length), out);
  } catch (const json::exception& error) {
    throw CodecError(error.what());
  }
  return out;
}

template std::string encodeFrame(const ChildMessage&);
template std::string encodeFrame(const Answer&);
template std::string encodeFrame(const TaskOrder&);
template std::optional<ChildMessage> takeFrame(const std::string&, std::size_t&);
template std::optional<Answer> takeFrame(const std::string&, std::size_t&);
template std::optional<TaskOrder> takeFrame(const std::string&, std::size_t&);

}  // namespace drezhost
