// The simulated panel host: it executes the command vocabulary against an
// Installation, runs panel scripts and delivers their events, keeps the
// ledger of the replies it hands out, and checks that the scripts keep the
// host contract.
//
// One host object serves every script; a command belongs to the script the
// host is calling into when it arrives. Calls into scripts nest: events a
// command causes are delivered from inside that command.
//
// Poll answers go to the polling script: by default from inside the poll
// command (re-entrantly); with PollDelivery::Queued after the script's call
// returns; with PollDelivery::Off never. While the export runs the script
// cannot be reached yet, so answers to polls sent from its constructor are
// delivered as soon as the export returns, in both delivering modes. A slot
// or route that changes is delivered to every script registered for it: at
// once when the host changes it between calls; when a trigger (onCommand)
// changes it from inside a script's command, re-entrantly or queued like a
// poll answer.
//
// What the scripts get wrong goes to the Validator as errors: a reply
// released twice or never handed out, a reply still held when the script's
// call returns, a command after "AS", a command outside the vocabulary or
// whose operands do not parse, "AS" missing or a registration still open when
// the script is deleted, an exception escaping the script. What they address
// that the studio lacks goes there as warnings.
//
// Threading: single-threaded, like a real host.

#ifndef DREZ_HOST_SIMULATED_HOST_H_
#define DREZ_HOST_SIMULATED_HOST_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_parser.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "installation.h"
#include "registrations.h"
#include "reply_ledger.h"
#include "trace.h"
#include "validator.h"

namespace drezhost {

// What the host calls to create a script: the library's export.
using ScriptFactory = std::function<drez_client_callback*(drez_client_host*, const char*)>;

enum class PollDelivery { Reentrant, Queued, Off };

struct Script {
  int id = 0;
  std::string name;
  // Null while the export runs, and once deleted.
  drez_client_callback* object = nullptr;
  bool deleting = false;
  bool detached = false;  // it sent "AS"
  Registrations registrations;
  std::vector<int32_t> unacknowledgedEvents;
};

class SimulatedHost : public drez_client_host {
 public:
  // All three must outlive the host.
  SimulatedHost(Installation& installation, Trace& trace, Validator& validator);
  // Deletes the scripts still alive, as at teardown.
  ~SimulatedHost();
  SimulatedHost(const SimulatedHost&) = delete;
  SimulatedHost& operator=(const SimulatedHost&) = delete;

  void setPollDelivery(PollDelivery delivery) { polls_ = delivery; }
  // Off: "SD" gets no reply, whatever the name.
  void setAnswerLookups(bool answer) { answer_lookups_ = answer; }

  // Creates a script through `factory` with `path`. Returns null, with an
  // error reported, when the factory gives null or throws.
  Script* create(const std::string& name, const ScriptFactory& factory, const std::string& path);
  // Deletes the script and checks its teardown; `script` is gone afterwards.
  void destroy(Script& script);
  Script* findScript(const std::string& name);
  // The scripts alive, oldest first.
  std::vector<Script*> scripts();

  // Host calls into a script. `request` returns the reply (nothing for
  // null) after handing it back to the script.
  std::optional<std::string> request(Script& script, const std::string& text);
  void fireEvent(Script& script, int32_t id);
  void controlEvent(Script& script, const std::string& control, const std::string& command);
  void notify(Script& script, int kind, intptr_t value);

  // Studio changes, delivered to every script registered for them. Throw
  // InstallationError for unknown devices or indices.
  void setSlot(const std::string& infodriver, int32_t slot, const std::string& text);
  void route(const std::string& router, int32_t destination, int32_t source,
             const std::string& sourceName);

  // Runs `change` once, from inside the first command whose text is
  // `command`, after executing it: the studio changes while the script is
  // busy. `change` calls setSlot or route.
  void onCommand(const std::string& command, std::function<void()> change);
  // The commands of the triggers that have not fired yet.
  std::vector<std::string> pendingTriggers() const;

  Installation& installation() { return installation_; }

  // The commands scripts sent since the last call, and forgets them.
  std::vector<std::string> takeCommands();
  // Replies handed out and not yet taken back.
  std::size_t repliesHeld() const { return ledger_.heldCount(); }

  // What scripts call: executes a command (HOST_CMD_EXECUTE) or takes a
  // reply back (HOST_CMD_RELEASE), tracing and validating both.
  intptr_t DREZ_THISCALL command(const char* text, int kind) override;

 private:
  struct Delivery {
    int scriptId = 0;
    int32_t device = 0;
    int32_t index = 0;
    int32_t number = 0;
    std::string text;
    std::string description;
  };
  struct Frame {
    int scriptId = 0;
    std::string context;  // "#<entry> <what>"
    std::vector<const char*> heldAtEntry;
    std::vector<Delivery> deferred;
  };
  struct Finding {
    Severity severity;
    std::string message;
    bool note;
  };

  // Runs `call` inside a frame for `script`, traced as `what`, then checks
  // the replies it left held and delivers what was deferred to its end.
  // Returns the frame's context.
  std::string callInto(Script& script, const std::string& what, const std::function<void()>& call);
  // A call that expects no result got one.
  void checkResult(const char* result);
  void deliver(const Delivery& delivery);
  void broadcast(const Device& device, int32_t index);
  Delivery update(const Device& device, int32_t index) const;

  intptr_t executeCommand(const char* text);
  void releaseReply(const char* reply);
  // Executes and traces `text`; returns its reply, or for commands without
  // one something for success and nothing for failure.
  std::optional<std::string> respond(const std::string& text);
  // Delivers what the command made the studio send, and fires its trigger.
  void afterExecute(const std::string& text);
  // Delivers now, or at the end of the current call when the script cannot
  // be reached or the delivery mode is queued.
  void dispatch(const Delivery& delivery);
  std::optional<std::string> execute(Script* sender, const HostCommand& command);
  std::optional<std::string> executeLookup(const HostCommand& command);
  std::optional<std::string> executeProperty(const HostCommand& command);
  void executeRegistration(Script& sender, const HostCommand& command);
  void executePoll(Script& sender, const HostCommand& command);
  // Checks that device `number` is of `kind`; a warning and null otherwise.
  Device* deviceFor(int32_t number, DeviceKind kind);
  void warn(const std::string& message) {
    findings_.push_back({Severity::Warning, message, false});
  }
  void fail(const std::string& message) { findings_.push_back({Severity::Error, message, false}); }
  void note(const std::string& message) { findings_.push_back({Severity::Warning, message, true}); }

  Script* current();
  Script* findScript(int id);
  std::string context() const;

  Installation& installation_;
  ReplyLedger ledger_;
  std::vector<std::string> sent_;  // since the last takeCommands
  Trace& trace_;
  Validator& validator_;
  PollDelivery polls_ = PollDelivery::Reentrant;
  bool answer_lookups_ = true;
  std::vector<std::unique_ptr<Script>> scripts_;
  int next_id_ = 1;
  std::vector<Frame> frames_;
  std::vector<Finding> findings_;      // of the command being executed
  std::vector<Delivery> answers_;      // of the poll being executed
  std::vector<const char*> reported_;  // held replies already reported
  std::vector<std::pair<std::string, std::function<void()>>> triggers_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATED_HOST_H_
