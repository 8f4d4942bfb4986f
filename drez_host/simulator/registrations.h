// The index ranges one script has registered for: infodriver slots and
// router destinations, per device number.

#ifndef DREZ_HOST_SIMULATOR_REGISTRATIONS_H_
#define DREZ_HOST_SIMULATOR_REGISTRATIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/installation.h"

namespace drezhost {

struct Registration {
  DeviceKind kind = DeviceKind::Infodriver;  // Infodriver or Router
  int32_t device = 0;
  int32_t first = 0;
  int32_t last = 0;

  // The command that made it, without an option: IR 11 1 6.
  std::string describe() const;
};

class Registrations {
 public:
  // Registers a range beside those already held: a script that registers
  // two ranges of one device (two routers the host numbers alike) gets both.
  void add(const Registration& registration);
  // Drops every range held for that kind and device; returns how many.
  std::size_t remove(DeviceKind kind, int32_t device);
  bool covers(DeviceKind kind, int32_t device, int32_t index) const;
  const std::vector<Registration>& open() const { return open_; }

 private:
  std::vector<Registration> open_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_REGISTRATIONS_H_
