#include "simulator/records_builder.h"

#include <cstddef>
#include <cstring>

namespace drezhost {

DeviceUpdateRecord::DeviceUpdateRecord(int32_t device, int32_t index, int32_t number,
                                       const std::string& text) {
  const std::size_t bytes = offsetof(DeviceUpdate, text) + text.size() + 1;
  storage_.reset(new uint32_t[(bytes + sizeof(uint32_t) - 1) / sizeof(uint32_t)]());
  DeviceUpdate* record = get();
  record->device = device;
  record->index = index;
  record->number = number;
  std::memcpy(reinterpret_cast<char*>(record) + offsetof(DeviceUpdate, text), text.c_str(),
              text.size() + 1);
}

ControlEventRecord::ControlEventRecord(const std::string& controlId, const std::string& command)
    : control_id_(controlId), parsed_(command.c_str()), event_() {
  event_.controlId = control_id_.c_str();
  event_.parsed = &parsed_;
}

}  // namespace drezhost
