// What a child process tells its parent, as one variant, and what the parent
// answers. Plain data: isolation/codec.h carries it across the pipe (and the
// run's summary through the memory both processes share), and the parent
// dispatches it with std::visit.

#ifndef DREZ_HOST_ISOLATION_CHILD_MESSAGES_H_
#define DREZ_HOST_ISOLATION_CHILD_MESSAGES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

#include "console/line_editor.h"
#include "runner/output.h"
#include "runner/run_summary.h"

namespace drezhost {

namespace messages {

// Monkey's next event, as scenario text (one line, or a block), sent before
// it runs, so that the parent has it even when the script crashes in it.
struct MonkeyEvent {
  std::string lines;
};

// What a job exercised, in one line ("2 slots of 'Newsroom Tally', ...").
struct Reached {
  std::string what;
};

// The installation a library probe learned from the script, or that a monkey
// run had learned by its end, as installation steps with comments.
struct LearnedInstallation {
  std::string steps;
};

// serve's studio: its answer to the last request (to none, at the start), a
// JSON document (serve/studio_task.h). Asked: the parent answers with the
// next request.
struct StudioAnswer {
  std::string json;
};

// One difference a replay found: the capture's line it stands at, and the
// message, as the replay prints it.
struct ReplayDifference {
  std::size_t line = 0;
  std::string message;
};

// What the task came to. It travels in the shared memory rather than the
// pipe, so that a script that closes the pipe cannot lose it.
struct Finished {
  RunSummary summary;
};

}  // namespace messages

// A line to show (its kind, its text), a question to the line editor (asked:
// the answer is the line typed), a monkey event, what a job reached, the
// installation learned, a studio answer (asked), a replay's difference, or
// the summary.
using ChildMessage =
    std::variant<OutputLine, LineQuestion, messages::MonkeyEvent, messages::Reached,
                 messages::LearnedInstallation, messages::StudioAnswer, messages::ReplayDifference,
                 messages::Finished>;

// True for the messages the child waits on an Answer for.
inline bool isQuestion(const ChildMessage& message) {
  return std::holds_alternative<LineQuestion>(message) ||
         std::holds_alternative<messages::StudioAnswer>(message);
}

// The parent's answer to a question: the line typed, or the page's next
// request; nothing ends the child's input (the end of the terminal's input,
// serve stopping).
struct Answer {
  std::optional<std::string> text;
};

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_CHILD_MESSAGES_H_
