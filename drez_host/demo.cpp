#include "demo.h"

namespace drezhost {

const char* demoScenario() {
  return R"(# The built-in demo of drez-host: Studio A with the Vantrel panel.
# The built-in installation starts with the studio off (tally slot 1 = 0)
# and every control following the studio state (slots 4 to 6 = 1).

say Start-up: the host creates the script. It loads its panel, looks up its devices, registers and polls; the answers arrive as soon as the export returns.
create
expect sent PS '1' 'p1.drez_ui'
expect property StA_Floor statesheet QZ_Studio_OFF
expect property vls_name text 'CAM 1'
show

say Studio A goes into rehearsal (tally slot 1 = 1): rehearsal lights, every control shows REH.
set 'RIR Tally Infodriver' 1 1
expect lamps 'Studio A Blue Lights' 1 1 1 1 1 0 0 0 0 0
expect property StC_News statesheet QZ_Studio_REH
show

say Studio A goes on air (slot 1 = 2): transmission lights, every control shows TX.
set 'RIR Tally Infodriver' 1 2
expect lamps 'Studio A Blue Lights' 0 1 0 0 0 1 1 1 1 1
expect property StA_Floor statesheet QZ_Studio_TX
show

say Back to off (slot 1 = 0): every light goes dark.
set 'RIR Tally Infodriver' 1 0
expect lamps 'Studio A Blue Lights' 0 0 0 0 0 0 0 0 0 0
show

say The alternate state becomes rehearsal (slot 3 = 1); StC_News follows it (slot 6 = 2).
set 'RIR Tally Infodriver' 3 1
set 'RIR Tally Infodriver' 6 2
expect commands
  TP 'statesheet=QZ_Studio_REH' '1' 'StC_News'
end
expect property StC_Floor statesheet QZ_Studio_OFF
show

say The floor pair stops following the studio (slot 4 = 0), and the studio goes on air again: the floor pair stays dark.
set 'RIR Tally Infodriver' 4 0
set 'RIR Tally Infodriver' 1 2
expect lamps 'Studio A Blue Lights' 0 1 0 0 0 0 1 1 1 1
expect property StC_News statesheet QZ_Studio_REH
show

say Router changes: CAM 3 to SDI destination 97, Desk B to audio destination 62.
route 'RIR SDI Router' 97 3
expect property vls_id text 3
route 'RIR Audio Router' 62 6
expect property als_name text 'Desk B'
show

say A route to another destination changes no readout: the panel is not registered for it.
route 'RIR SDI Router' 12 40
expect no commands
show

say Property requests: the host sets myParam and reads it back; the panel lists its events and commands.
request myParam=hello
expect no reply
request return=all
expect reply myParam=hello
request _events
expect reply notify=*
request _commands
expect reply myParam=[value]

say Event ids are acknowledged at once.
event 5
expect commands
  ET 5
end

say Teardown: the host deletes the script; it unregisters its devices and detaches.
delete
expect commands
  IU 11
  RU 21
  RU 22
  AS
end
show
)";
}

}  // namespace drezhost
