// The built-in demo: a scenario that plays Studio A with the Vantrel panel
// from start-up to teardown, checking what it shows as it goes.

#ifndef DREZ_HOST_DEMO_H_
#define DREZ_HOST_DEMO_H_

namespace drezhost {

// The demo's scenario text, in the scenario language.
const char* demoScenario();

}  // namespace drezhost

#endif  // DREZ_HOST_DEMO_H_
