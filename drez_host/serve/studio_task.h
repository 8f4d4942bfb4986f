// drez-host serve's studio, in its child process: the session
// (studio_session.h) answering the requests the parent forwards from the
// page, one at a time, over ChildLink::ask: each answer is a
// messages::StudioAnswer, and the parent's answer to it the next request.
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
#include "isolation/task.h"

namespace drezhost {

// In the child: the studio, from the task's scenario, in the settings'
// installation with their library and polls.
Verdict runTask(const tasks::Studio& studio, const TaskSettings& settings, ChildLink& link);

}  // namespace drezhost

#endif  // DREZ_HOST_SERVE_STUDIO_TASK_H_
