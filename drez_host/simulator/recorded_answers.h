// Answers a script's commands as a host once answered them, instead of the
// installation: a replay of a capture (jobs/replay_job.h) gives the script
// the very results and replies the studio's host gave it. The simulated
// host still reads every command, keeps the script's registrations and its
// detach, holds the replies it hands out, and traces and checks everything.
//
// Threading: the host's.

#ifndef DREZ_HOST_SIMULATOR_RECORDED_ANSWERS_H_
#define DREZ_HOST_SIMULATOR_RECORDED_ANSWERS_H_

#include <cstdint>
#include <optional>
#include <string>

namespace drezhost {

struct Script;

class RecordedAnswers {
 public:
  struct Answer {
    // A command whose result is a reply: the reply to hand out; nothing for
    // none.
    std::optional<std::string> reply;
    // Any other command: the result to return.
    intptr_t result = 0;
  };

  virtual ~RecordedAnswers() = default;
  // `sender` sent `text` (HOST_CMD_EXECUTE): what the host answered.
  virtual Answer answer(Script& sender, const std::string& text) = 0;
  // Still inside that command, once it is traced: the host calls back into
  // scripts here when the capture holds calls it made from inside it.
  virtual void inside(Script& sender, const std::string& text) = 0;
  // `sender` handed a reply of the host back (HOST_CMD_RELEASE).
  virtual void handedBack(Script& sender) = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_RECORDED_ANSWERS_H_
