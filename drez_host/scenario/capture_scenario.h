// What a capture (capture/capture_reader.h) tells of the studio it was made
// in, and a capture said in the scenario language, so that a field case can
// be kept as a regression test (drez-host replay --write-scenario).
//
// The studio, learned by the simulator's InstallationLearner from the
// capture's commands and the host's replies, sized as far as the capture
// shows: every name the script looked up is a device with the number and
// offset the host replied; the commands that use a number with a range or
// an output give its kind and the indices it has; a number used without a
// lookup is "Device <n>"; a panel file loaded holds the controls commands
// addressed on that panel, and those control events came from. What
// answered a poll is the studio's state.
//
// Threading: pure functions of the capture.

#ifndef DREZ_HOST_SCENARIO_CAPTURE_SCENARIO_H_
#define DREZ_HOST_SCENARIO_CAPTURE_SCENARIO_H_

#include <string>

#include "capture_reader.h"
#include "simulator/installation.h"

namespace drezhost {

// The studio the capture was made in, as far as it shows. Its devices'
// labels name them in a replay's trace.
Installation installationOf(const drezcapture::Capture& capture);

// The capture as a scenario: the studio as installation steps, then each of
// the host's calls as the step that makes it (create, set, route, request,
// event, control, notify, delete), each followed by "expect commands" with
// what the script sent, "expect reply" after a request, and "expect error"
// after a call an exception ended. A call whose lookups the host did not
// answer, though the studio has the names, stands between "host lookups
// off" and "host lookups on". Calls the host made from inside a command are
// "on" triggers. A call the language cannot say, or a text longer than a
// scenario line may be, stands as a comment line, as does the call a cut
// capture ends inside. Every line written reads back. `name` (the
// capture's file) heads it.
std::string scenarioOf(const drezcapture::Capture& capture, const std::string& name);

// A host call of the capture in words, for messages and the timeline: "the
// device update of s1: device 7 index 97", "the request "return=all" to
// s1". Any other entry is "an entry".
std::string callDescription(const drezcapture::Entry& entry);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_CAPTURE_SCENARIO_H_
