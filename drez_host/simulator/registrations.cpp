#include "simulator/registrations.h"

#include <algorithm>

namespace drezhost {

std::string Registration::describe() const {
  const char* code = "";
  for (const drez_command_row& definition : drez_commands) {
    if (definition.use == DREZ_USE_REGISTER && deviceKindOf(definition.device) == kind)
      code = definition.code;
  }
  return std::string(code) + " " + std::to_string(device) + " " + std::to_string(first) + " " +
         std::to_string(last);
}

void Registrations::add(const Registration& registration) { open_.push_back(registration); }

std::size_t Registrations::remove(DeviceKind kind, int32_t device) {
  const std::size_t before = open_.size();
  open_.erase(std::remove_if(open_.begin(), open_.end(),
                             [&](const Registration& held) {
                               return held.kind == kind && held.device == device;
                             }),
              open_.end());
  return before - open_.size();
}

bool Registrations::covers(DeviceKind kind, int32_t device, int32_t index) const {
  return std::any_of(open_.begin(), open_.end(), [&](const Registration& held) {
    return held.kind == kind && held.device == device && index >= held.first && index <= held.last;
  });
}

}  // namespace drezhost
