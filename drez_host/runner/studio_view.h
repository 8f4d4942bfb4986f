// The studio as plain text for a terminal or a log: each output device as a
// row of lamps, each infodriver's slots, each router's routes, each loaded
// panel's controls with their properties, and the scripts with what they
// have registered.
//
//   Studio A Blue Lights (device 31, outputs 100 to 109)
//        100 101 102 103 104 105 106 107 108 109
//        [ ] [*] [*] [*] [*] [ ] [ ] [ ] [ ] [ ]

#ifndef DREZ_HOST_RUNNER_STUDIO_VIEW_H_
#define DREZ_HOST_RUNNER_STUDIO_VIEW_H_

#include <string>
#include <vector>

#include "simulator/installation.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// One lamp: "[ ]" off (0), "[*]" on (1), "[2]" to "[9]", "[#]" above 9.
std::string lamp(int32_t state);

// The lamps of an output device's name, from its offset: the index row and
// the lamp row, each a line of its own.
std::string lampRows(const Device& device, const DeviceName& name);

// The whole studio, several lines, each ending in a line feed.
std::string renderStudio(const Installation& installation, const std::vector<Script*>& scripts);

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_STUDIO_VIEW_H_
