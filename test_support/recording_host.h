// The tests' host: it records every command a script sends, answers from a
// responder, and keeps the ledger of the replies it hands out, recording
// whatever the script gets wrong instead of failing at once.
//
// Threading: single-threaded, like a real host; the script calls `command`
// on the thread that called into the script.

#ifndef TEST_SUPPORT_RECORDING_HOST_H_
#define TEST_SUPPORT_RECORDING_HOST_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drez_client_host.h"
#include "drez_commands.h"
#include "simulator/reply_ledger.h"

namespace drezhost {

class RecordingHost : public drez_client_host {
 public:
  // The answer to one executed command. For a command whose result is a
  // reply (drez_commands.h): the reply text, or nothing for a null reply.
  // For any other command: something for success (result 1) and nothing for
  // failure (result 0).
  using Responder = std::function<std::optional<std::string>(const std::string& command)>;
  // Runs inside `command`, after the command is recorded and before its
  // result goes back: where a host delivers events re-entrantly.
  using ExecuteHook = std::function<void(const std::string& command)>;

  RecordingHost();
  virtual ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  // Records and answers HOST_CMD_EXECUTE; takes back replies with
  // HOST_CMD_RELEASE. Anything the script gets wrong (a null text, another
  // kind, a release of a pointer this host never gave or already took back)
  // is recorded in faults() and otherwise ignored.
  intptr_t DREZ_THISCALL command(const char* text, int kind) override;

  // Replaces the responder; the default replies nothing and succeeds.
  void setResponder(Responder responder);
  void setExecuteHook(ExecuteHook hook);

  // True for the commands whose result is a reply the script must release.
  static bool carriesReply(const std::string& command) {
    return drez_carries_reply(command.c_str());
  }

  // Every executed command text, in order.
  const std::vector<std::string>& commands() const { return commands_; }
  // The commands since the last call, and forgets them.
  std::vector<std::string> takeCommands();

  std::size_t repliesHandedOut() const { return ledger_.handedOut(); }
  std::size_t repliesReleased() const { return ledger_.released(); }
  // Replies handed out and not yet released.
  std::size_t repliesHeld() const { return ledger_.heldCount(); }
  // The command whose reply `reply` is, while it is held; null otherwise.
  const std::string* heldReplyCommand(const char* reply) const { return ledger_.commandOf(reply); }

  // What the script did wrong, one readable line each, in order.
  const std::vector<std::string>& faults() const { return faults_; }

 private:
  Responder responder_;
  ExecuteHook hook_;
  std::vector<std::string> commands_;
  std::size_t taken_ = 0;
  ReplyLedger ledger_;
  std::vector<std::string> faults_;
};

}  // namespace drezhost

#endif  // TEST_SUPPORT_RECORDING_HOST_H_
