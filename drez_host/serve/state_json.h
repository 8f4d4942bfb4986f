// The studio as JSON for the page and for tools (GET /api/state): what the
// text view (studio_view.h) draws, as data.
//
//   devices:     [{name, device, kind, offset}], every name in the studio
//   lights:      [{name, device, offset, lamps: [{index, state}]}]
//   panels:      [{id, file, controls: [{id, properties: [[name, value]],
//                                        statesheet, colour}]}]
//   routers:     [{name, label, device, size,
//                  destinations: [{destination, source, name}],
//                  sources: [{source, name}]}]
//   infodrivers: [{name, label, device, slots: [{slot, text}]}]
//
// A device with several names is listed once: "name" is its first name, the
// one a scenario line can use, and "label" all of them.
//   scripts:     [{name, detached, registrations: ["IR 11 1 6", ...]}]
//   statesheets: {name: colour}
//   placeholder: an example scenario line (placeholderLine)
//
// A control's "colour" is its statesheet's colour from the table, or null
// when the table does not know the name (the page then shows the name as
// text). Texts that are not valid UTF-8 are replaced when the JSON is
// dumped (see dumpJson).

#ifndef DREZ_HOST_SERVE_STATE_JSON_H_
#define DREZ_HOST_SERVE_STATE_JSON_H_

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "simulator/installation.h"
#include "simulator/simulated_host.h"

namespace drezhost {

// The statesheets every studio knows: off grey, rehearsal amber,
// transmission red. A scenario's "statesheet" steps add to it.
const std::map<std::string, std::string>& defaultStatesheetColours();

// `colours` (from the scenario) over the default table.
nlohmann::json studioJson(const Installation& installation, const std::vector<Script*>& scripts,
                          const std::map<std::string, std::string>& colours);

// An example scenario line for the page's field, made from what the
// installation has: an expectation about a control, else a change of a
// slot or a route, else "show".
std::string placeholderLine(const Installation& installation);

// Compact JSON; bytes that are not UTF-8 become U+FFFD instead of throwing.
std::string dumpJson(const nlohmann::json& value);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STATE_JSON_H_
