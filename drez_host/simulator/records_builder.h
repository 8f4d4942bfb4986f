// Builds the records a host delivers with callback kinds 1 and 2, in memory
// this side owns, for as long as the builder lives.

#ifndef DREZ_HOST_SIMULATOR_RECORDS_BUILDER_H_
#define DREZ_HOST_SIMULATOR_RECORDS_BUILDER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "drez_records.h"

namespace drezhost {

// A DeviceUpdate with its text stored inline after the four integers.
class DeviceUpdateRecord {
 public:
  DeviceUpdateRecord(int32_t device, int32_t index, int32_t number, const std::string& text);
  // The record, to pass as `data` of CB_DEVICE_UPDATE; valid while this lives.
  DeviceUpdate* get() { return reinterpret_cast<DeviceUpdate*>(storage_.get()); }

 private:
  std::unique_ptr<uint32_t[]> storage_;  // uint32_t keeps the integers aligned
};

// A ControlEvent whose command text is parsed like a host request.
class ControlEventRecord {
 public:
  ControlEventRecord(const std::string& controlId, const std::string& command);
  // The record, to pass as `data` of CB_CONTROL_EVENT; valid while this lives.
  ControlEvent* get() { return &event_; }

 private:
  std::string control_id_;
  ParsedCommand parsed_;
  ControlEvent event_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_RECORDS_BUILDER_H_
