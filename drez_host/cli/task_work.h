// What a child process does with its order: the work of each task, from the
// rooms of the jobs (jobs/, serve/). Here, the lowest room that sees them
// all, so that isolation/ names none of them (it is installed with
// setTaskWork).

#ifndef DREZ_HOST_CLI_TASK_WORK_H_
#define DREZ_HOST_CLI_TASK_WORK_H_

#include "isolation/isolation.h"
#include "isolation/task.h"
#include "runner/verdict.h"

namespace drezhost {

// Runs `order`'s task in this (child) process; one runTask overload per task.
Verdict performTaskOf(const TaskOrder& order, ChildLink& link);

}  // namespace drezhost

#endif  // DREZ_HOST_CLI_TASK_WORK_H_
