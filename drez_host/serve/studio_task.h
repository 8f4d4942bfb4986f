// drez-host serve's studio, in its child process: the session
// (studio_session.h) answering the requests the parent forwards from the
// page, one at a time, over ChildLink::ask.
//
//   request  {"op": "step", "line": <scenario line>, "action": <bool>}
//            {"op": "restart"}
//   answer   {"status": 200, "body": {...}, "state": <the studio>}
//            {"status": 400|409, "error": <message>, "state": <the studio>}
//
// The first answer, to no request, says how the start went. No request
// (the parent stopping) ends the session: the scripts are deleted, their
// teardown traced and checked, and the verdict returned.

#ifndef DREZ_HOST_SERVE_STUDIO_TASK_H_
#define DREZ_HOST_SERVE_STUDIO_TASK_H_

#include <string>

#include "isolation/child_run.h"
#include "isolation/isolation.h"
#include "serve/serve_settings.h"

namespace drezhost {

// The studio's task; its payload comes from studioInput().
extern const ChildTask kStudioTask;

// What the studio starts from: the library, how polls are answered, the
// installation's steps and the scenario's text, named `scenarioName`.
TaskInput studioInput(const std::string& library, PollDelivery polls,
                      const std::string& installation, const std::string& scenarioText,
                      const std::string& scenarioName);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STUDIO_TASK_H_
