// A host that records every command a script sends, answers from a
// responder, and keeps the ledger of the replies it hands out: the base of the
// simulated host and of every test that drives a script.
//
// Threading: single-threaded, like a real host; the script calls `command`
// on the thread that called into the script.

#ifndef DREZ_HOST_RECORDING_HOST_H_
#define DREZ_HOST_RECORDING_HOST_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drez_client_host.h"

namespace drezhost {

class RecordingHost : public drez_client_host {
 public:
  // The answer to one executed command. For "SD", "XI" and "TG": the reply
  // text, or nothing for a null reply. For any other command: something for
  // success (result 1) and nothing for failure (result 0).
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
  intptr_t command(const char* text, int kind) override;

  // Replaces the responder; the default replies nothing and succeeds.
  void setResponder(Responder responder);
  void setExecuteHook(ExecuteHook hook);

  // True for the commands whose result is a reply the script must release.
  static bool carriesReply(const std::string& command);

  // Every executed command text, in order.
  const std::vector<std::string>& commands() const { return commands_; }
  // The commands since the last call, and forgets them.
  std::vector<std::string> takeCommands();

  std::size_t repliesHandedOut() const { return handed_out_; }
  std::size_t repliesReleased() const { return released_count_; }
  // Replies handed out and not yet released.
  std::size_t repliesHeld() const { return held_.size(); }
  // The pointers of those replies.
  std::vector<const char*> heldReplies() const;
  // The command whose reply `reply` is, while it is held; null otherwise.
  const std::string* heldReplyCommand(const char* reply) const;

  // What the script did wrong, one readable line each, in order.
  const std::vector<std::string>& faults() const { return faults_; }
  void addFault(std::string fault) { faults_.push_back(std::move(fault)); }

 protected:
  // Hands out `text` as a reply the script must release; the host owns it.
  // `command` is the command it answers.
  intptr_t handOut(const std::string& text, const std::string& command = std::string());

 private:
  void takeBack(const char* reply);

  Responder responder_;
  ExecuteHook hook_;
  std::vector<std::string> commands_;
  std::size_t taken_ = 0;
  struct Held {
    std::unique_ptr<char[]> text;
    std::string command;
  };

  std::map<const char*, Held> held_;
  std::set<const char*> released_;  // taken back and not handed out again
  std::size_t handed_out_ = 0;
  std::size_t released_count_ = 0;
  std::vector<std::string> faults_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_RECORDING_HOST_H_
