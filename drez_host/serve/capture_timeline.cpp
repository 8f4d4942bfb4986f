#include "serve/capture_timeline.h"

#include <algorithm>
#include <memory>
#include <variant>

#include "scenario/capture_scenario.h"
#include "serve/state_json.h"
#include "simulator/command_parser.h"
#include "simulator/trace.h"

namespace drezhost {

namespace {

using namespace drezcapture;

std::string textOf(const Text& text) { return text ? *text : std::string(); }

std::string keywordOf(const Entry& entry) { return entryRow(kindOf(entry)).keyword; }

std::string resultText(const drezcapture::Result& result) {
  switch (result.kind) {
    case ResultKind::kNull:
      return "null";
    case ResultKind::kScript:
      return "script";
    case ResultKind::kDone:
      return "done";
    case ResultKind::kPointer:
      return "pointer";
    case ResultKind::kOpen:
      return "open";
    case ResultKind::kInteger:
      return std::to_string(result.number);
    case ResultKind::kReply:
      return "reply " + std::to_string(result.number) + " " + quoteText(result.text);
    case ResultKind::kException:
      return "exception";
  }
  return "?";
}

// The host took the command as done: its result is neither 0 (failure) nor
// an exception.
bool succeeded(const drezcapture::Result& result) {
  return result.kind != ResultKind::kException &&
         !(result.kind == ResultKind::kInteger && result.number == 0) &&
         result.kind != ResultKind::kNull;
}

Script* scriptNumbered(std::vector<Script>& scripts, int64_t number) {
  for (Script& script : scripts) {
    if (script.id == number) return &script;
  }
  return nullptr;
}

// What the host did for `command` sent by `sender` (may be null: a script
// the capture did not see made), as far as the studio shows it.
void act(Installation& installation, Script* sender, const HostCommand& command) {
  switch (command.id()) {
    case DREZ_LOAD_PANEL:
      installation.loadPanel(command.textOf(DREZ_OPERAND_PANEL), command.textOf(DREZ_OPERAND_FILE));
      break;
    case DREZ_SET_PROPERTY:
      if (Panel* panel = installation.panel(command.textOf(DREZ_OPERAND_PANEL))) {
        if (Control* control = panel->control(command.textOf(DREZ_OPERAND_CONTROL))) {
          const std::string& assignment = command.textOf(DREZ_OPERAND_ASSIGNMENT);
          const std::size_t equals = assignment.find('=');
          control->setProperty(assignment.substr(0, equals), equals == std::string::npos
                                                                 ? std::string()
                                                                 : assignment.substr(equals + 1));
        }
      }
      break;
    case DREZ_SET_OUTPUT: {
      Device* device = installation.findDevice(command.numberOf(DREZ_OPERAND_DEVICE));
      if (device != nullptr && device->kind == DeviceKind::Outputs) {
        device->outputs[command.numberOf(DREZ_OPERAND_INDEX)] =
            command.numberOf(DREZ_OPERAND_STATE);
      }
      break;
    }
    case DREZ_REGISTER_INFODRIVER:
    case DREZ_REGISTER_ROUTER:
      if (sender != nullptr) {
        Registration registration;
        registration.kind = deviceKindOf(command.definition->device);
        registration.device = command.numberOf(DREZ_OPERAND_DEVICE);
        registration.first = command.numberOf(DREZ_OPERAND_FIRST);
        registration.last = command.numberOf(DREZ_OPERAND_LAST);
        sender->registrations.add(registration);
      }
      break;
    case DREZ_UNREGISTER_INFODRIVER:
    case DREZ_UNREGISTER_ROUTER:
      if (sender != nullptr) {
        sender->registrations.remove(deviceKindOf(command.definition->device),
                                     command.numberOf(DREZ_OPERAND_DEVICE));
      }
      break;
    case DREZ_DETACH:
      if (sender != nullptr) sender->detached = true;
      break;
    default:
      break;  // lookups, reads, polls, acknowledgements: the studio stays
  }
}

}  // namespace

CaptureTimeline::CaptureTimeline(Capture capture, const Installation& installation)
    : capture_(std::move(capture)), colours_(installation.statesheetColours()) {
  for (std::size_t i = 0; i < capture_.entries.size(); ++i) {
    if (const auto* end = std::get_if<EndEntry>(&capture_.entries[i])) ends_[end->opening] = i;
  }
  const std::size_t last = std::min(capture_.completeEntries, capture_.entries.size());
  for (std::size_t i = 0; i < last; ++i) {
    const Entry& entry = capture_.entries[i];
    const LineHead& head = headOf(entry);
    if (head.depth != 0 || !isHostCall(kindOf(entry))) continue;
    const auto found = ends_.find(i);
    const std::size_t end = found != ends_.end() ? found->second : last - 1;
    TimelineCall call;
    call.index = calls_.size() + 1;
    call.ms = head.ms;
    call.kind = keywordOf(entry);
    call.text = callDescription(entry);
    if (const auto* device = std::get_if<DeviceEntry>(&entry)) {
      call.text += ": " + std::to_string(device->number) + " " + quoteText(textOf(device->text));
    }
    call.firstLine = head.line;
    call.lastLine = headOf(capture_.entries[end]).line;
    if (const auto* closing = std::get_if<EndEntry>(&capture_.entries[end])) {
      call.result = resultText(closing->result);
    }
    calls_.push_back(std::move(call));
    spans_.emplace_back(i, end + 1);
    i = end;
  }
  Studio studio{installation, {}};
  checkpoints_.push_back(studio);
  for (std::size_t k = 0; k < spans_.size(); ++k) {
    apply(studio, spans_[k].first, spans_[k].second);
    if ((k + 1) % kCheckpointEvery == 0) checkpoints_.push_back(studio);
  }
}

drezcapture::Result CaptureTimeline::endResult(std::size_t opening) const {
  const auto found = ends_.find(opening);
  if (found == ends_.end()) return drezcapture::Result();
  return std::get<EndEntry>(capture_.entries[found->second]).result;
}

std::vector<TimelineLine> CaptureTimeline::linesOf(const TimelineCall& call) const {
  std::vector<TimelineLine> lines;
  const auto [begin, end] = spans_[call.index - 1];
  for (std::size_t j = begin + 1; j + 1 < end; ++j) {
    const Entry& inner = capture_.entries[j];
    TimelineLine line;
    line.depth = headOf(inner).depth;
    line.kind = keywordOf(inner);
    if (const auto* command = std::get_if<CommandEntry>(&inner)) {
      line.text = textOf(command->text);
      line.result = resultText(command->result);
    } else if (const auto* handBack = std::get_if<HandBackEntry>(&inner)) {
      line.text = "reply " + std::to_string(handBack->reply.number);
      line.result = resultText(handBack->result);
    } else if (const auto* other = std::get_if<OtherCommandEntry>(&inner)) {
      line.text = "command of kind " + std::to_string(other->kind);
      line.result = resultText(other->result);
    } else if (isHostCall(kindOf(inner))) {
      line.text = callDescription(inner);
    } else {
      continue;  // the end of a nested call or command
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void CaptureTimeline::apply(Studio& studio, std::size_t begin, std::size_t end) const {
  for (std::size_t j = begin; j < end && j < capture_.entries.size(); ++j) {
    const Entry& entry = capture_.entries[j];
    const int64_t number = headOf(entry).script;
    if (const auto* made = std::get_if<ExportEntry>(&entry)) {
      // Made when the export's end says so.
      const drezcapture::Result result = endResult(j);
      if (result.kind == ResultKind::kScript && scriptNumbered(studio.scripts, number) == nullptr) {
        Script script;
        script.id = static_cast<int>(number);
        script.name = "s" + std::to_string(number);
        script.detached = !made->host;
        studio.scripts.push_back(std::move(script));
      }
    } else if (std::holds_alternative<DeleteEntry>(entry)) {
      studio.scripts.erase(std::remove_if(studio.scripts.begin(), studio.scripts.end(),
                                          [number](const Script& s) { return s.id == number; }),
                           studio.scripts.end());
    } else if (const auto* update = std::get_if<DeviceEntry>(&entry)) {
      Device* device = studio.installation.findDevice(static_cast<int32_t>(update->device));
      if (device == nullptr) continue;
      const auto index = static_cast<int32_t>(update->index);
      if (device->kind == DeviceKind::Infodriver) {
        device->slots[index] = textOf(update->text);
      } else if (device->kind == DeviceKind::Router) {
        device->routes[index] = Route{static_cast<int32_t>(update->number), textOf(update->text)};
      }
    } else if (const auto* command = std::get_if<CommandEntry>(&entry)) {
      const drezcapture::Result result =
          command->result.kind == ResultKind::kOpen ? endResult(j) : command->result;
      if (!succeeded(result)) continue;
      if (std::optional<HostCommand> parsed = parseHostCommand(textOf(command->text), nullptr)) {
        act(studio.installation, scriptNumbered(studio.scripts, number), *parsed);
      }
    }
  }
}

bool CaptureTimeline::markDifference(std::size_t line, const std::string& message) {
  if (calls_.empty()) return false;
  auto call = std::find_if(calls_.begin(), calls_.end(),
                           [line](const TimelineCall& c) { return line <= c.lastLine; });
  if (call == calls_.end()) call = calls_.end() - 1;
  call->differences.push_back(message);
  return true;
}

std::size_t CaptureTimeline::differingCalls() const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(),
                    [](const TimelineCall& call) { return !call.differences.empty(); }));
}

nlohmann::json CaptureTimeline::stateAfter(std::size_t call) const {
  const std::size_t checkpoint = std::min(call / kCheckpointEvery, checkpoints_.size() - 1);
  Studio studio = checkpoints_[checkpoint];
  for (std::size_t k = checkpoint * kCheckpointEvery; k < call && k < spans_.size(); ++k) {
    apply(studio, spans_[k].first, spans_[k].second);
  }
  std::vector<Script*> scripts;
  for (Script& script : studio.scripts) scripts.push_back(&script);
  nlohmann::json state = studioJson(studio.installation, scripts, colours_);
  state["call"] = call;
  return state;
}

nlohmann::json CaptureTimeline::callJson(const TimelineCall& call) const {
  nlohmann::json commands = nlohmann::json::array();
  for (const TimelineLine& line : linesOf(call)) {
    commands.push_back(
        {{"depth", line.depth}, {"kind", line.kind}, {"text", line.text}, {"result", line.result}});
  }
  nlohmann::json differences = nlohmann::json::array();
  for (const std::string& message : call.differences) differences.push_back(message);
  return {{"index", call.index},       {"time", call.ms},
          {"kind", call.kind},         {"text", call.text},
          {"result", call.result},     {"lines", {call.firstLine, call.lastLine}},
          {"commands", commands},      {"differs", !call.differences.empty()},
          {"differences", differences}};
}

}  // namespace drezhost
