#include "runner/coverage.h"

#include <sstream>

#include "simulator/trace.h"

namespace drezhost {

namespace {

const char* const kKindNames[] = {
    "create (the export)", "device update", "control event", "request", "event id",
    "release the reply",   "notify 6",      "notify 7"};

// The commands that address a control on a panel.
bool addressesControl(const drez_command_row& definition) {
  bool panel = false;
  bool control = false;
  for (drez_operand_kind kind : definition.operands) {
    panel = panel || kind == DREZ_OPERAND_PANEL;
    control = control || kind == DREZ_OPERAND_CONTROL;
  }
  return panel && control;
}

// "1-6, 9, 12-13".
std::string ranges(const std::set<int32_t>& values) {
  std::string text;
  auto it = values.begin();
  while (it != values.end()) {
    const int32_t first = *it;
    int32_t last = first;
    while (++it != values.end() && *it == last + 1) ++last;
    if (!text.empty()) text += ", ";
    text += std::to_string(first) + (last != first ? "-" + std::to_string(last) : "");
  }
  return text;
}

}  // namespace

void Coverage::enteringCall(const HostCall& call, const std::string&) {
  ++calls_;
  switch (call.what) {
    case HostCall::What::Export:
      ++exports_;
      break;
    case HostCall::What::Delete:
      ++deletions_;
      break;
    case HostCall::What::Callback:
      ++kinds_[call.kind];
      break;
  }
}

void Coverage::commandSent(const std::string& text) {
  ++commands_;
  if (const drez_command_row* definition = drez_find_command(text.c_str())) {
    ++codes_[definition->id];
  } else {
    ++unknown_codes_[text.substr(0, 2)];
  }
}

void Coverage::commandRead(const HostCommand& command) {
  if (!addressesControl(*command.definition)) return;
  controls_addressed_.insert(command.textOf(DREZ_OPERAND_PANEL) + " " +
                             command.textOf(DREZ_OPERAND_CONTROL));
}

void Coverage::updateDelivered(const Device& device, int32_t index) {
  ++updates_;
  indices_[{device.number, device.kind}].insert(index);
}

void Coverage::controlEventSent(const std::string& control) { ++control_events_[control]; }

void Coverage::triggerFired(const std::string& command) { fired_.push_back(command); }

std::size_t Coverage::indicesReached() const {
  std::size_t count = 0;
  for (const auto& entry : indices_) count += entry.second.size();
  return count;
}

std::string Coverage::reached(const Installation& installation) const {
  auto counted = [](std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
  };
  std::string text;
  for (const auto& entry : indices_) {
    const bool router = entry.first.second == DeviceKind::Router;
    text += counted(entry.second.size(), router ? "destination" : "slot",
                    router ? "destinations" : "slots") +
            " of '" + shownText(installation.label(entry.first.first)) + "', ";
  }
  if (updates_ != 0) text += counted(updates_, "update", "updates") + ", ";
  std::size_t events = 0;
  for (const auto& entry : control_events_) events += entry.second;
  if (events != 0) text += counted(events, "control event", "control events") + ", ";
  return text + counted(calls_, "call", "calls") + ", " + counted(commands_, "command", "commands");
}

std::string Coverage::report(const Installation& installation) const {
  std::ostringstream out;
  out << "==== coverage\n  command codes sent:";
  std::string addressing;  // the codes of the commands that address a control
  for (const drez_command_row& definition : drez_commands) {
    out << " " << definition.code << " " << codes_[definition.id];
    if (!addressesControl(definition)) continue;
    addressing += (addressing.empty() ? "" : " and ") + std::string(definition.code);
  }
  for (const auto& entry : unknown_codes_) {
    out << "  (outside the vocabulary: " << shownText(entry.first) << " " << entry.second << ")";
  }
  out << "\n  callback kinds called:";
  for (int kind = 0; kind <= 7; ++kind) {
    auto found = kinds_.find(kind);
    const std::size_t count = kind == 0 ? exports_ : found != kinds_.end() ? found->second : 0;
    out << "\n    " << kind << " " << kKindNames[kind] << ": " << count;
  }
  out << "\n    delete: " << deletions_;
  out << "\n  slots and destinations delivered:";
  if (indices_.empty()) out << " none";
  for (const auto& entry : indices_) {
    out << "\n    " << shownText(installation.label(entry.first.first)) << " (" << entry.first.first
        << ") " << (entry.first.second == DeviceKind::Router ? "destinations " : "slots ")
        << ranges(entry.second);
  }
  out << "\n  control events sent:";
  if (control_events_.empty()) out << " none";
  for (const auto& entry : control_events_)
    out << " " << shownText(entry.first) << " " << entry.second;
  out << "\n  controls addressed by " << addressing << " (panel control):";
  if (controls_addressed_.empty()) out << " none";
  for (const std::string& control : controls_addressed_) out << "\n    " << shownText(control);
  out << "\n  triggers fired: " << fired_.size();
  for (const std::string& command : fired_) out << "\n    " << shownText(command);
  out << "\n  triggers never fired: " << unfired_.size();
  for (const std::string& command : unfired_) out << "\n    " << shownText(command);
  out << "\n  expectations never reached: " << unreached_.size();
  for (const std::string& expectation : unreached_) out << "\n    " << expectation;
  out << "\n";
  return out.str();
}

}  // namespace drezhost
